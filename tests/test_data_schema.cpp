// The schema's own rules, and the upgrade of a file of an earlier layout
// when it is opened.
#include "TestSupport.h"
#include "DataTesting.h"
#include "data/Connection.h"
#include "data/DrugFields.h"
#include "data/DrugFile.h"
#include "data/NameSearch.h"
#include "data/SearchIndex.h"
#include "data/Statement.h"
#include "data/sqlite/Schema.h"
#include "tools/SyntheticData.h"

#include <QFile>
#include <QRegularExpression>
#include <QTest>
#include <algorithm>

using data::Connection;

class TestSchema : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase_data() { addEngineRows(); }
    void init() { useEngineOfRow(); }

    // --- schema ----------------------------------------------------------------

    void testCategoryNameFollowsCategory()
    {
        TestDatabase db;
        db.addCategory(QStringLiteral("01"), QStringLiteral("解表药"));
        db.addCategory(QStringLiteral("02"), QStringLiteral("清热药"));
        const QString id = QString::number(db.addDrug({{QStringLiteral("LB"), QStringLiteral("01")},
                                                       {QStringLiteral("类别"), QStringLiteral("写错的")}}));
        const QString category = QStringLiteral("SELECT coalesce(类别, '<null>') FROM DRUG_ZB WHERE ID = ?");
        QCOMPARE(db.scalar(category, {id}), QStringLiteral("解表药"));

        db.exec(QStringLiteral("UPDATE DRUG_ZB SET LB = '02' WHERE ID = ?"), {id});
        QCOMPARE(db.scalar(category, {id}), QStringLiteral("清热药"));
        db.exec(QStringLiteral("UPDATE DRUG_ZB SET 类别 = '写错的' WHERE ID = ?"), {id});
        QCOMPARE(db.scalar(category, {id}), QStringLiteral("清热药"));
        db.exec(QStringLiteral("UPDATE DRUG_LB SET MC = '清热解毒药' WHERE BM = '02'"));
        QCOMPARE(db.scalar(category, {id}), QStringLiteral("清热解毒药"));
        db.exec(QStringLiteral("DELETE FROM DRUG_LB WHERE BM = '02'"));
        QCOMPARE(db.scalar(category, {id}), QStringLiteral("<null>"));
        // A category added later names the drugs already filed under its code.
        db.addCategory(QStringLiteral("02"), QStringLiteral("新类别"));
        QCOMPARE(db.scalar(category, {id}), QStringLiteral("新类别"));
        db.exec(QStringLiteral("UPDATE DRUG_ZB SET LB = '99' WHERE ID = ?"), {id});
        QCOMPARE(db.scalar(category, {id}), QStringLiteral("<null>"));
    }

    // The table holds every field of the list, and the search index's
    // triggers and its list of written rows name every indexed one.
    void testSchemaNamesEveryFieldOfTheList()
    {
        SKIP_ON_SERVER("the file's own index tables");
        TestDatabase db;
        Connection connection(db.path());
        const auto columnsOf = [&](const QString &table) {
            data::Statement info(connection.handle(), QStringLiteral("pragma table_info(%1)").arg(table));
            QStringList names;
            while (info.step())
                names << info.text(1);
            return names;
        };
        QStringList all;
        for (const data::DrugField &f : data::DrugFields)
            all << f.column.toString();
        const QStringList indexed = data::indexedColumns();
        QCOMPARE(columnsOf(QStringLiteral("DRUG_ZB")), QStringList{QStringLiteral("ID")} + all);
        QCOMPARE(columnsOf(QStringLiteral("DRUG_ZB_DIRTY")), (QStringList{QStringLiteral("ID"), QStringLiteral("INDEXED")} + indexed));

        const QString triggers = db.scalar(QStringLiteral("select group_concat(sql, ';') from sqlite_master "
                                                          "where type = 'trigger' and name like 'DRUG_ZB_SEARCH_%'"));
        static const QRegularExpression list(QStringLiteral("UPDATE OF ID, ([^)]*?) ON|DRUG_ZB_DIRTY \\(ID, INDEXED, ([^)]*)\\)"
                                                            "|VALUES \\(OLD\\.ID, 1, ([^)]*)\\)"));
        int lists = 0;
        for (auto match = list.globalMatch(triggers); match.hasNext(); ++lists) {
            const QRegularExpressionMatch m = match.next();
            const QString names = m.captured(1) + m.captured(2) + m.captured(3);
            QCOMPARE(QString(names).remove(QStringLiteral("OLD.")).split(QStringLiteral(", ")), indexed);
        }
        QCOMPARE(lists, 5); // AU: its columns, its insert's and their values; AD: the insert's and its values
    }

    void testIdsAreNeverReused()
    {
        TestDatabase db;
        db.addDrug({{QStringLiteral("药物名称"), QStringLiteral("一")}});
        const qint64 last = db.addDrug({{QStringLiteral("药物名称"), QStringLiteral("二")}});
        db.exec(QStringLiteral("DELETE FROM DRUG_ZB WHERE ID = ?"), {QString::number(last)});
        const qint64 next = db.addDrug({{QStringLiteral("药物名称"), QStringLiteral("三")}});
        QVERIFY2(next > last, qPrintable(QStringLiteral("%1 after %2").arg(next).arg(last)));
        db.exec(QStringLiteral("DELETE FROM DRUG_ZB"));
        QVERIFY(db.addDrug({{QStringLiteral("药物名称"), QStringLiteral("四")}}) > next);
    }

    void testTextComparisonIgnoresLatinCase()
    {
        SKIP_ON_SERVER("the file's SQL: the server's statements fold through the engine, see test_pg");
        TestDatabase db;
        db.addCategory(QStringLiteral("ab"), QStringLiteral("Mixed"));
        db.addDrug({{QStringLiteral("LB"), QStringLiteral("AB")}, {QStringLiteral("药物名称"), QStringLiteral("Ma Huang")},
                    {QStringLiteral("英文名称"), QStringLiteral("Herba Ephedrae")}});
        auto count = [&](const QString &where, const QString &value) {
            return db.scalar(QStringLiteral("SELECT count(*) FROM DRUG_ZB WHERE ") + where, {value}).toInt();
        };
        QCOMPARE(count(QStringLiteral("英文名称 = ?"), QStringLiteral("HERBA ephedrae")), 1);
        QCOMPARE(count(QStringLiteral("? = 药物名称"), QStringLiteral("ma huang")), 1);
        QCOMPARE(count(QStringLiteral("英文名称 LIKE ?"), QStringLiteral("%EPHED%")), 1);
        QCOMPARE(count(QStringLiteral("药物名称 LIKE ?"), QStringLiteral("MA_HUANG")), 1);
        QCOMPARE(count(QStringLiteral("英文名称 = ?"), QStringLiteral("Herba Ephedra")), 0);
        QCOMPARE(count(QStringLiteral("LB IN (SELECT BM FROM DRUG_LB WHERE MC = ?)"), QStringLiteral("MIXED")), 1);
        // The category code matched across case too.
        QCOMPARE(db.scalar(QStringLiteral("SELECT 类别 FROM DRUG_ZB")), QStringLiteral("Mixed"));
    }

    // --- upgrade ---------------------------------------------------------------

    void testOlderFilesAreUpgradedOnOpenNewerOnesLeftAlone_data()
    {
        QTest::addColumn<int>("version");
        QTest::newRow("previous build") << 0;
        QTest::newRow("without name keys") << 1;
    }

    void testOlderFilesAreUpgradedOnOpenNewerOnesLeftAlone()
    {
        SKIP_ON_SERVER("the server's upgrade is in test_pg");
        QFETCH(int, version);
        TestDatabase db(sampleDataDir());
        // A file of an earlier layout; one write of another program pending.
        if (version == 0) {
            tools::makePreviousLayout(db.path());
        } else {
            db.exec(QStringLiteral("drop table DRUG_NAME_KEY"));
            db.exec(QStringLiteral("drop table DRUG_NAME_KEY_SOURCE"));
            db.exec(QStringLiteral("pragma user_version = 1"));
        }
        db.exec(QStringLiteral("insert into DRUG_ZB (LB, 药物名称, 功能主治) values ('01', '后来的药', '后来才有的功效')"));
        const QString before = contents(db.path());

        {
            Connection connection(db.path());
            QStringList steps;
            QList<int> shares;
            data::useDrugFile(connection, [&](const QString &step, int percent) {
                steps << step;
                shares << percent;
            });
            connection.open();
            QCOMPARE(rawScalar(db.path(), QStringLiteral("pragma user_version")), QString::number(data::SchemaVersion));
            // The steps are told, and the share done only grows, to the whole.
            QVERIFY2(steps.contains(QStringLiteral("建立搜索索引")), qPrintable(steps.join(u',')));
            QVERIFY(std::is_sorted(shares.begin(), shares.end()));
            QCOMPARE(shares.last(), 100);
            QVERIFY(data::SearchIndex(connection).available());
            // The name keys are made too: the pending write's among them.
            QVERIFY(data::nameKeysUsable(connection));
            QCOMPARE(data::findDrugNames(connection, QStringLiteral("hldy")).at(0).name, QStringLiteral("后来的药"));
            QCOMPARE(data::findDrugNames(connection, QStringLiteral("MaHuang")).at(0).name, QStringLiteral("麻黄"));
            QVERIFY2(steps.contains(QStringLiteral("建立拼音索引")), qPrintable(steps.join(u',')));
            QString failure;
            QVERIFY2(checkProbes(connection, 200, failure) > 20, qPrintable(failure));
            const BothWays found = searchBothWays(connection, 1, QStringLiteral("后来"));
            QCOMPARE(found.indexed.size(), 1);
            QVERIFY(!found.sql.contains(QLatin1String("like")));
            // The tree's and the list's statements read the index alone.
            for (const QString &sql : {QStringLiteral("select ID,药物名称 from DRUG_ZB where LB=?"),
                                       QStringLiteral("select ID,类别,药物名称,LB from DRUG_ZB  where 1=1 order by LB,ID")}) {
                data::Statement plan(connection.handle(), QStringLiteral("explain query plan ") + sql);
                QVERIFY(plan.step());
                QVERIFY2(plan.text(3).contains(QLatin1String("COVERING INDEX DRUG_ZB_LB")), qPrintable(plan.text(3)));
            }
        }
        QCOMPARE(contents(db.path()), before);
        QCOMPARE(db.scalar(QStringLiteral("select count(*) from sqlite_master where name in ('DRUG_GRAM','DRUG_SEARCH_META')")),
                 QStringLiteral("0"));

        // A file of a later version is opened and searched without a change.
        db.exec(QStringLiteral("pragma user_version = %1").arg(data::SchemaVersion + 1));
        db.exec(QStringLiteral("drop index DRUG_ZB_LB"));
        const auto bytes = [&] {
            QFile file(db.path());
            return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        };
        const QByteArray newer = bytes();
        {
            Connection connection(db.path());
            data::useDrugFile(connection);
            connection.open();
            const BothWays found = searchBothWays(connection, 1, QStringLiteral("后来"));
            QCOMPARE(found.indexed, found.full);
            QCOMPARE(found.sql, found.fullSql);
        }
        QCOMPARE(bytes(), newer);
    }

    // A program that merely reads the file keeps the upgrade from its lock:
    // the file opens as it is, is searched in full, and a later open
    // upgrades it.
    void testPreviousLayoutHeldByAReaderOpensAsItIs()
    {
        SKIP_ON_SERVER("the file's upgrade");
        TestDatabase db(sampleDataDir());
        tools::makePreviousLayout(db.path());
        Connection reader(db.path());
        reader.execute(QStringLiteral("BEGIN"));
        reader.execute(QStringLiteral("SELECT count(*) FROM DRUG_ZB"));
        {
            Connection connection(db.path());
            QList<int> shares;
            data::useDrugFile(connection, [&](const QString &, int percent) { shares << percent; });
            connection.open();
            QVERIFY(shares.isEmpty());
            QCOMPARE(rawScalar(db.path(), QStringLiteral("pragma user_version")), QStringLiteral("0"));
            QVERIFY(!data::SearchIndex(connection).available());
            const BothWays found = searchBothWays(connection, {{1, QStringLiteral("清热")}, {3, QStringLiteral("草")}});
            QVERIFY(!found.full.isEmpty());
            QCOMPARE(found.indexed, found.full);
            QCOMPARE(found.sql, found.fullSql);
        }
        reader.execute(QStringLiteral("ROLLBACK"));
        Connection connection(db.path());
        data::useDrugFile(connection);
        connection.open();
        QVERIFY(data::SearchIndex(connection).available());
        QCOMPARE(rawScalar(db.path(), QStringLiteral("pragma user_version")), QString::number(data::SchemaVersion));
    }
};

QTEST_MAIN(TestSchema)
#include "test_data_schema.moc"
