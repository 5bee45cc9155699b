#include "data/sqlite/ContentWriter.h"
#include "data/DrugFields.h"
#include "data/Statement.h"
#include "data/sqlite/NameKeyWriter.h"
#include "data/sqlite/Script.h"
#include "data/sqlite/SearchLists.h"

#include <algorithm>

namespace data {

namespace {

// The triggers keep 类别 equal to the category's name. A drug whose LB names
// no category has no such name, so its stored one is written with DRUG_ZB's
// triggers set aside, and they are then made again from their own text in
// their order, which is the order they fire in.
void keepStoredCategories(sqlite3 *db, const DrugContent &content)
{
    const bool any = std::any_of(content.drugs.begin(), content.drugs.end(),
                                 [](const DrugContent::Drug &d) { return !d.category.isNull() && d.id > 0; });
    if (!any)
        return;
    QStringList names, sql;
    {
        Statement triggers(db, QStringLiteral("SELECT name, sql FROM sqlite_master WHERE type = 'trigger' "
                                              "AND tbl_name = 'DRUG_ZB' ORDER BY rowid"));
        while (triggers.step()) {
            names << triggers.text(0);
            sql << triggers.text(1);
        }
    }
    for (const QString &name : names)
        runScript(db, QStringLiteral("DROP TRIGGER \"%1\"").arg(name));
    {
        Statement update(db, QStringLiteral("UPDATE DRUG_ZB SET 类别 = ? WHERE ID = ? "
                                            "AND NOT EXISTS (SELECT 1 FROM DRUG_LB WHERE BM = DRUG_ZB.LB)"));
        for (const DrugContent::Drug &d : content.drugs) {
            if (d.category.isNull() || d.id <= 0)
                continue;
            update.bind(1, d.category);
            update.bind(2, d.id);
            update.step();
            update.reset();
        }
    }
    for (const QString &text : sql)
        runScript(db, text);
}

} // namespace

void writeContent(sqlite3 *db, const DrugContent &content, const Progress &progress)
{
    const auto report = [&](const QString &step, int percent) {
        if (progress)
            progress(step, percent);
    };
    runScript(db, QStringLiteral("BEGIN"));
    {
        auto value = [&](const QString &v) {
            return content.keepNull && v.isNull() ? std::nullopt : std::optional<QString>(v);
        };
        Statement category(db, QStringLiteral("INSERT INTO DRUG_LB (BM, MC) VALUES (?, ?)"));
        for (const DrugContent::Category &c : content.categories) {
            category.bind(1, value(c.bm));
            category.bind(2, value(c.mc));
            category.step();
            category.reset();
        }
        QStringList columns{QStringLiteral("ID")}, marks{QStringLiteral("?")};
        for (const QString &column : drugColumns()) {
            columns << column;
            marks << QStringLiteral("?");
        }
        Statement drug(db, QStringLiteral("INSERT INTO DRUG_ZB (%1) VALUES (%2)")
                               .arg(columns.join(QLatin1Char(',')), marks.join(QLatin1Char(','))));
        const QString writing = QStringLiteral("写入药物");
        report(writing, 0);
        size_t written = 0;
        for (const DrugContent::Drug &d : content.drugs) {
            if (++written % 1000 == 0)
                report(writing, int(written * 40 / content.drugs.size()));
            if (d.id > 0)
                drug.bind(1, d.id);
            else
                drug.bindNull(1);
            for (int i = 0; i < d.values.size(); ++i) {
                drug.bind(i + 2, value(d.values[i]));
            }
            drug.step();
            drug.reset();
        }
        keepStoredCategories(db, content);
        namekeys::rebuild(
            db, [&] { index::rebuild(db, [&](int percent) { report(QStringLiteral("建立搜索索引"), 40 + percent * 50 / 100); }); },
            [&](int percent) { report(QStringLiteral("建立拼音索引"), 90 + percent * 5 / 100); });
        Statement topic(db, QStringLiteral("INSERT INTO HELP_LB (BM, MC) VALUES (?, ?)"));
        Statement text(db, QStringLiteral("INSERT INTO HELP_ZB (LB, CONTENT) VALUES (?, ?)"));
        for (const DrugContent::HelpTopic &h : content.help) {
            topic.bind(1, value(h.bm));
            topic.bind(2, value(h.mc));
            topic.step();
            topic.reset();
            if (h.hasContent) {
                text.bind(1, h.bm);
                text.bind(2, h.content);
                text.step();
                text.reset();
            }
        }
        for (const DrugContent::HelpText &t : content.texts) {
            text.bind(1, value(t.lb));
            text.bind(2, value(t.content));
            text.step();
            text.reset();
        }
    }
    report(QStringLiteral("写入文件"), 95);
    runScript(db, QStringLiteral("COMMIT"));
    report(QStringLiteral("完成"), 100);
}

} // namespace data
