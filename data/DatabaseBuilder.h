#pragma once

#include <QString>
#include <QStringList>

struct sqlite3;

namespace data {

// The columns of DRUG_ZB that a drug record carries; ID and 类别 come from
// the database itself.
QStringList drugColumns();

// Makes new encrypted drug databases. A database is written to a temporary
// file beside the target and moved into place only when complete, so a
// failed build never leaves a half-made file.
class DatabaseBuilder
{
public:
    // PRAGMA user_version of the files this build makes; files of earlier
    // builds have 0.
    static constexpr int SchemaVersion = 1;

    static QString schemaSql();

    // Brings a drug file of an earlier build up to SchemaVersion in one
    // transaction: the indexes made from the rows are dropped, made anew and
    // filled; no row changes. A file of a newer version, one that is not a
    // drug file, and one that cannot be written now (read-only, or locked by
    // another program past the busy timeout) are left as they are.
    static void upgrade(sqlite3 *db);

    // An empty database with the schema. Fails if the file exists.
    static void createEmpty(const QString &path);

    // From categories.json, drugs/*.json and help.json under dataDir. The
    // whole input is read and checked before anything is written.
    static void buildFromSample(const QString &dataDir, const QString &outPath, bool overwrite);

    // Synthetic drugs with realistic field lengths, for benchmarks. Drug i
    // has 功能主治 containing "证型NNNN" with NNNN = i % 1200, so that a
    // search for one of them is selective.
    static void buildSynthetic(const QString &outPath, int drugs, int categories, unsigned seed, bool overwrite);
};

} // namespace data
