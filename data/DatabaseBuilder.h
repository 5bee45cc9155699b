#pragma once

#include "data/DrugFields.h"

#include <QString>
#include <QStringList>
#include <vector>

struct sqlite3;

namespace data {

// A drug database as the Access version of the program kept it, read from
// its file. A null QString is NULL.
struct ImportedContent {
    struct Category { QString bm, mc; };
    // values in drugColumns() order; 类别 as the file holds it.
    struct Drug { qint64 id = 0; QString category; QStringList values; };
    struct Topic { QString bm, mc; };
    struct Text { QString lb, content; };

    std::vector<Category> categories;
    std::vector<Drug> drugs;
    std::vector<Topic> topics;
    std::vector<Text> texts;
};

// A drug whose stored 类别 was not its category's name.
struct CategoryChange {
    qint64 id = 0;
    QString name, stored, written;
};

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

    // Every row as it comes, IDs kept; a drug whose LB names no category
    // keeps its stored 类别. Returns the drugs whose 类别 changed.
    static std::vector<CategoryChange> buildFromImport(const ImportedContent &content, const QString &outPath,
                                                       bool overwrite);

    // Synthetic drugs with realistic field lengths, for benchmarks. Drug i
    // has 功能主治 containing "证型NNNN" with NNNN = i % 1200, so that a
    // search for one of them is selective.
    static void buildSynthetic(const QString &outPath, int drugs, int categories, unsigned seed, bool overwrite);
};

} // namespace data
