// The search index: it finds exactly what a full test of every row finds,
// writes of any program included, and is folded as a rebuild would make it.
#include "TestSupport.h"
#include "DataTesting.h"
#include "data/Connection.h"
#include "data/DrugFile.h"
#include "data/SearchIndex.h"
#include "data/Statement.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTest>

using data::Connection;

class TestSearchIndex : public QObject
{
    Q_OBJECT

private slots:
    void testIndexFindsExactlyWhatAFullTestFinds()
    {
        TestDatabase db(sampleDataDir());
        Connection connection(db.path());
        connection.open();
        QString failure;
        const int decided = checkProbes(connection, 600, failure);
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
        QVERIFY(decided > 100);
    }

    void testWritesOfAnyProgramAreFoundAndFoldedAsARebuildWouldBe()
    {
        TestDatabase db(sampleDataDir());
        const QString id = db.scalar(QStringLiteral("select min(ID) from DRUG_ZB"));
        const QString gone = db.scalar(QStringLiteral("select max(ID) from DRUG_ZB"));
        // Another program: an edit, a new row and a renamed category.
        db.exec(QStringLiteral("update DRUG_ZB set 功能主治 = 功能主治 || '独一无二的功效' where ID = ?"), {id});
        db.exec(QStringLiteral("insert into DRUG_ZB (LB, 药物名称, 别名) values ('01', '新药', '另一种叫法')"));
        db.exec(QStringLiteral("update DRUG_LB set MC = '改过名的类别' where BM = '01'"));

        Connection connection(db.path());
        connection.open();
        const auto expectFound = [&](int box, const QString &typed, qsizetype rows) {
            const BothWays found = searchBothWays(connection, box, typed);
            QCOMPARE(found.indexed, found.full);
            QCOMPARE(found.full.size(), rows);
        };
        const qsizetype renamed = db.scalar(QStringLiteral("select count(*) from DRUG_ZB where LB = '01'")).toInt();
        for (int pass = 0; pass < 2; ++pass) {
            expectFound(1, QStringLiteral("独一无二"), 1);
            expectFound(3, QStringLiteral("另一种"), 1);
            expectFound(10, QStringLiteral("改过名"), renamed);
            for (const auto &[box, typed] : {qMakePair(1, QStringLiteral("独一")), qMakePair(1, QStringLiteral("独")),
                                             qMakePair(3, QStringLiteral("另一")), qMakePair(3, QStringLiteral("叫"))}) {
                const BothWays found = searchBothWays(connection, box, typed);
                QCOMPARE(found.indexed, found.full);
                QVERIFY(!found.full.isEmpty());
            }
            QString failure;
            QVERIFY2(checkProbes(connection, 150, failure) > 0, qPrintable(failure));
            // The second pass looks again after the program has folded the
            // writes into the index.
            data::Transaction transaction(connection);
            data::SearchIndex(connection).update();
            transaction.commit();
            QCOMPARE(db.scalar(QStringLiteral("select count(*) from DRUG_ZB_DIRTY")), QStringLiteral("0"));
        }

        const auto lists = [](const QString &path) {
            return scalarIn(path, QStringLiteral("select count(*) || ' ' || group_concat(K || ':' || hex(IDS), ' ') "
                                                 "from (select * from DRUG_SEARCH_INDEX order by K)"));
        };
        const QString copy = db.dir() + QStringLiteral("/copy.mdb");
        QVERIFY(QFile::copy(db.path(), copy));
        {
            Connection other(copy);
            other.open();
            data::Transaction transaction(other);
            data::SearchIndex::rebuild(other.handle());
            transaction.commit();
        }
        QCOMPARE(lists(db.path()), lists(copy));
        QVERIFY(lists(copy).size() > 1000);

        // A delete keeps the row's entries, which no row answers to; a row
        // put in the place of another without a delete, and one added later
        // under the deleted one's ID: the index cannot know what it holds for
        // them, so they stay tested until a rebuild.
        const QString goneName = db.scalar(QStringLiteral("select 药物名称 from DRUG_ZB where ID = ?"), {gone});
        db.exec(QStringLiteral("delete from DRUG_ZB where ID = ?"), {gone});
        const QString second = db.scalar(QStringLiteral("select min(ID) from DRUG_ZB where ID > ?"), {id});
        const QString oldText = db.scalar(QStringLiteral("select substr(功能主治, 1, 2) from DRUG_ZB where ID = ?"), {second});
        db.exec(QStringLiteral("insert or replace into DRUG_ZB (ID, LB, 药物名称, 功能主治) values (?, '01', '替身', '另有所治')"), {second});
        for (int pass = 0; pass < 4; ++pass) {
            if (pass == 2)
                db.exec(QStringLiteral("insert into DRUG_ZB (ID, LB, 药物名称, 功能主治) values (?, '01', '回来', '又回来了')"), {gone});
            expectFound(1, QStringLiteral("另有"), 1);
            for (const auto &[box, typed] : {qMakePair(1, oldText), qMakePair(2, goneName.left(1)), qMakePair(2, goneName.left(2))}) {
                const BothWays found = searchBothWays(connection, box, typed);
                QCOMPARE(found.indexed, found.full);
                QVERIFY(!found.full.contains(second.toLongLong()) || box != 1);
                QCOMPARE(found.full.contains(gone.toLongLong()), pass >= 2 && typed == QStringLiteral("回"));
            }
            data::Transaction transaction(connection);
            data::SearchIndex(connection).update();
            transaction.commit();
        }
        expectFound(1, QStringLiteral("回来"), 1);
        QCOMPARE(db.scalar(QStringLiteral("select count(*) from DRUG_ZB_DIRTY where INDEXED = -1")), QStringLiteral("2"));
    }

    void testSearchLeavesNoLockAndIncompleteIndexIsNotUsed()
    {
        TestDatabase db(sampleDataDir());
        Connection connection(db.path());
        connection.open();
        const BothWays found = searchBothWays(connection, 1, QStringLiteral("清热"));
        QVERIFY(!found.full.isEmpty());
        QCOMPARE(found.indexed, found.full);
        // Another program may write at once after a search.
        QElapsedTimer timer;
        timer.start();
        db.exec(QStringLiteral("update DRUG_ZB set 附注 = 'x' where ID = ?"), {QString::number(found.full.first())});
        QVERIFY(timer.elapsed() < Connection::BusyTimeoutMs / 2);

        // Without its triggers the index could miss writes, so it is not used.
        db.exec(QStringLiteral("drop trigger DRUG_ZB_SEARCH_AU"));
        data::SearchIndex index(connection);
        QVERIFY(!index.available());
        QCOMPARE(index.narrow({{0, QStringLiteral("清热")}}, QStringLiteral("1=1")), QStringLiteral("1=1"));
        data::Transaction transaction(connection);
        index.update(); // nothing to do, and no failure
        transaction.commit();
    }

    // Texts too long for the engine's LIKE: one without wildcards is
    // searched as a substring, one with them by our own LIKE; through the
    // index they find what a test of every row finds.
    void testTooLongTextsAreSearchedAsLikeMeansThem_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("test");
        QTest::addColumn<int>("rows");
        const QString grass(10000, QChar(u'草'));
        QTest::newRow("substring, Latin case") << grass + grass.left(7000) + QStringLiteral("END") << "instr(" << 1;
        QTest::newRow("substring absent") << QString(20000, QChar(u'长')) << "instr(" << 0;
        QTest::newRow("% and _") << grass + u'%' + grass.left(9999) + QStringLiteral("_ND") << "long_like(" << 1;
        QTest::newRow("_ absent") << grass + u'_' + grass + u'长' << "long_like(" << 0;
    }

    void testTooLongTextsAreSearchedAsLikeMeansThem()
    {
        QFETCH(QString, typed);
        QFETCH(QString, test);
        QFETCH(int, rows);
        TestDatabase db;
        db.addDrug({{QStringLiteral("LB"), QStringLiteral("01")}, {QStringLiteral("功能主治"), QString(20000, QChar(u'草')) + QStringLiteral("End")}});
        db.addDrug({{QStringLiteral("LB"), QStringLiteral("01")}, {QStringLiteral("功能主治"), QStringLiteral("草")}});
        Connection connection(db.path());
        data::useDrugFile(connection);
        connection.open();
        const BothWays found = searchBothWays(connection, 1, typed);
        QVERIFY(found.fullSql.contains(test));
        QCOMPARE(found.indexed, found.full);
        QCOMPARE(found.full.size(), rows);
    }
};

QTEST_MAIN(TestSearchIndex)
#include "test_data_index.moc"
