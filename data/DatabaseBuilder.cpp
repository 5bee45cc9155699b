#include "data/DatabaseBuilder.h"
#include "data/DbError.h"
#include "data/SampleReader.h"
#include "data/Statement.h"
#include "data/sqlite/ContentWriter.h"
#include "data/sqlite/NewDatabaseFile.h"

#include <optional>

namespace data {

void DatabaseBuilder::createEmpty(const QString &path)
{
    NewDatabaseFile target(path, false);
    target.finish();
}

void DatabaseBuilder::buildFromSample(const QString &dataDir, const QString &outPath, bool overwrite,
                                      const Progress &progress)
{
    const DrugContent content = readSample(dataDir);
    NewDatabaseFile target(outPath, overwrite);
    writeContent(target.db(), content, progress);
    target.finish();
}

std::vector<CategoryChange> DatabaseBuilder::buildFromImport(const ImportedContent &imported, const QString &outPath,
                                                             bool overwrite, const Progress &progress)
{
    DrugContent content;
    content.keepNull = true;
    for (const ImportedContent::Category &c : imported.categories)
        content.categories.push_back({c.bm, c.mc});
    for (const ImportedContent::Drug &d : imported.drugs) {
        if (d.id <= 0)
            throw DbError(QStringLiteral("药物的 ID 无效：%1").arg(d.id));
        if (d.values.size() != drugColumns().size())
            throw DbError(QStringLiteral("ID 为 %1 的药物列数不对").arg(d.id));
        content.drugs.push_back({d.values, d.id, d.category});
    }
    for (const ImportedContent::Topic &t : imported.topics)
        content.help.push_back({t.bm, t.mc, QString(), false});
    for (const ImportedContent::Text &t : imported.texts)
        content.texts.push_back({t.lb, t.content});
    NewDatabaseFile target(outPath, overwrite);
    writeContent(target.db(), content, progress);

    std::vector<CategoryChange> changes;
    {
        Statement written(target.db(), QStringLiteral("SELECT 类别, 药物名称 FROM DRUG_ZB WHERE ID = ?"));
        for (const ImportedContent::Drug &d : imported.drugs) {
            written.bind(1, d.id);
            if (!written.step())
                throw DbError(QStringLiteral("ID 为 %1 的药物没有写入").arg(d.id));
            const std::optional<QString> now = written.value(0);
            const bool same = now ? (!d.category.isNull() && *now == d.category) : d.category.isNull();
            if (!same)
                changes.push_back({d.id, written.text(1), d.category, now.value_or(QString())});
            written.reset();
        }
    }
    target.finish();
    return changes;
}

void DatabaseBuilder::build(const DrugContent &content, const QString &outPath, bool overwrite,
                            const Progress &progress)
{
    NewDatabaseFile target(outPath, overwrite);
    writeContent(target.db(), content, progress);
    target.finish();
}

} // namespace data
