#pragma once

#include "data/DrugContent.h"
#include "data/DrugFields.h"
#include "data/Progress.h"

#include <QString>
#include <vector>

namespace data {

// Makes new encrypted drug databases. A database is written to a temporary
// file beside the target and moved into place only when complete, so a
// failed build never leaves a half-made file. The writing reports its steps
// to a Progress, when given.
class DatabaseBuilder
{
public:
    // An empty database with the schema. Fails if the file exists.
    static void createEmpty(const QString &path);

    // From categories.json, drugs/*.json and help.json under dataDir. The
    // whole input is read and checked before anything is written.
    static void buildFromSample(const QString &dataDir, const QString &outPath, bool overwrite,
                                const Progress &progress = {});

    // Every row as it comes, IDs kept; a drug whose LB names no category
    // keeps its stored 类别. Returns the drugs whose 类别 changed.
    static std::vector<CategoryChange> buildFromImport(const ImportedContent &content, const QString &outPath,
                                                       bool overwrite, const Progress &progress = {});

    // Any content, such as synthetic data for benchmarks.
    static void build(const DrugContent &content, const QString &outPath, bool overwrite,
                      const Progress &progress = {});
};

} // namespace data
