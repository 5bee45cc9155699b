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

#include <QFile>
#include <QRegularExpression>
#include <QTest>

using data::Connection;

class TestSchema : public QObject
{
    Q_OBJECT

private slots:
    // --- schema ----------------------------------------------------------------

    void testCategoryNameFollowsCategory()
    {
        TestDatabase db;
        db.addCategory(QStringLiteral("01"), QStringLiteral("解表药"));
        db.addCategory(QStringLiteral("02"), QStringLiteral("清热药"));
        const QString id = QString::number(db.addDrug({{QStringLiteral("LB"), QStringLiteral("01")},
                                                       {QStringLiteral("类别"), QStringLiteral("写错的")}}));
        const QString category = QStringLiteral("SELECT ifnull(类别, '<null>') FROM DRUG_ZB WHERE ID = ?");
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

    // --- locking ------------------------------------------------------------

    // --- upgrade ---------------------------------------------------------------

    void testOlderFilesAreUpgradedOnOpenNewerOnesLeftAlone()
    {
        TestDatabase db(sampleDataDir());
        // The layout of the previous build: the (LB, ID) index, hashed pairs
        // and their triggers, version 0; one write of another program pending.
        db.exec(QStringLiteral("drop trigger DRUG_ZB_SEARCH_AI"));
        db.exec(QStringLiteral("drop trigger DRUG_ZB_SEARCH_AU"));
        db.exec(QStringLiteral("drop trigger DRUG_ZB_SEARCH_AD"));
        for (const QString &table : {QStringLiteral("DRUG_SEARCH_INDEX"), QStringLiteral("DRUG_SEARCH_TOP"), QStringLiteral("DRUG_ZB_DIRTY")})
            db.exec(QStringLiteral("drop table %1").arg(table));
        db.exec(QStringLiteral("drop index DRUG_ZB_LB"));
        db.exec(QStringLiteral("create index DRUG_ZB_LB on DRUG_ZB (LB, ID)"));
        db.exec(QStringLiteral("create table DRUG_SEARCH_META (VERSION INTEGER NOT NULL, BUCKETS INTEGER NOT NULL, CHUNK_BITS INTEGER NOT NULL)"));
        db.exec(QStringLiteral("create table DRUG_GRAM (BUCKET INTEGER NOT NULL, CHUNK INTEGER NOT NULL, BITS BLOB NOT NULL, "
                               "PRIMARY KEY (BUCKET, CHUNK)) WITHOUT ROWID"));
        db.exec(QStringLiteral("create table DRUG_ZB_DIRTY (ID INTEGER PRIMARY KEY, INDEXED INTEGER NOT NULL)"));
        db.exec(QStringLiteral("create trigger DRUG_ZB_SEARCH_AI after insert on DRUG_ZB begin "
                               "insert or replace into DRUG_ZB_DIRTY (ID, INDEXED) values (NEW.ID, 0); end"));
        db.exec(QStringLiteral("create trigger DRUG_ZB_SEARCH_AU after update on DRUG_ZB begin "
                               "insert or ignore into DRUG_ZB_DIRTY (ID, INDEXED) values (OLD.ID, 1); end"));
        db.exec(QStringLiteral("create trigger DRUG_ZB_SEARCH_AD after delete on DRUG_ZB begin "
                               "insert or ignore into DRUG_ZB_DIRTY (ID, INDEXED) values (OLD.ID, 1); end"));
        db.exec(QStringLiteral("insert into DRUG_GRAM values (1, 0, x'ff')"));
        db.exec(QStringLiteral("insert into DRUG_ZB (LB, 药物名称, 功能主治) values ('01', '后来的药', '后来才有的功效')"));
        db.exec(QStringLiteral("pragma user_version = 0"));
        const QString before = contents(db.path());

        {
            Connection connection(db.path());
            data::useDrugFile(connection);
            connection.open();
            QCOMPARE(rawScalar(db.path(), QStringLiteral("pragma user_version")), QString::number(data::SchemaVersion));
            QVERIFY(data::SearchIndex(connection).available());
            // The name keys are made too: the pending write's among them.
            QVERIFY(data::nameKeysUsable(connection));
            QCOMPARE(data::findDrugNames(connection, QStringLiteral("hldy")).at(0).name, QStringLiteral("后来的药"));
            QString failure;
            QVERIFY2(checkProbes(connection, 200, failure) > 20, qPrintable(failure));
            const BothWays found = searchBothWays(connection, 1, QStringLiteral("后来"));
            QCOMPARE(found.indexed.size(), 1);
            QVERIFY(!found.sql.contains(QLatin1String("like")));
            // The tree's and the list's statements read the index alone.
            for (const QString &sql : {QStringLiteral("select ID,药物名称 from DRUG_ZB where LB=?"),
                                       QStringLiteral("select ID,类别,药物名称 from DRUG_ZB  where 1=1 order by LB,ID")}) {
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
};

QTEST_MAIN(TestSchema)
#include "test_data_schema.moc"
