// Datasets: bound parameters, one statement at a time, and the
// batch-optimistic record set with its optimistic check.
#include "TestSupport.h"
#include "DataTesting.h"
#include "data/Connection.h"
#include "data/DataSet.h"
#include "data/DbError.h"

#include <QTest>
#include <sqlite3.h>

using data::Connection;
using data::DataSet;
using data::DataSetState;
using data::DbError;
using data::LockType;

namespace {

// Opens a batch-optimistic dataset on DRUG_ZB, as the drug editor does.
void openDrugs(DataSet &set, const QString &sql = QStringLiteral("select * from DRUG_ZB order by ID"))
{
    set.setUpdateTable(QStringLiteral("DRUG_ZB"));
    set.setSql(sql);
    set.open();
}

// Every drug as "name:remark", in ID order, read through a second connection.
QString storedDrugs(const TestDatabase &db)
{
    return db.scalar(QStringLiteral("SELECT group_concat(药物名称 || ':' || ifnull(附注, ''), ',') "
                                    "FROM (SELECT * FROM DRUG_ZB ORDER BY ID)"));
}

} // namespace

class TestDataSet : public QObject
{
    Q_OBJECT

private slots:
    // --- parameters ------------------------------------------------------------

    void testParametersRoundTripUnchanged_data()
    {
        QTest::addColumn<QString>("value");
        QTest::newRow("double quotes") << QStringLiteral("他说\"麻黄\"\"");
        QTest::newRow("single quotes") << QStringLiteral("it's '麻黄' ''");
        QTest::newRow("like wildcards") << QStringLiteral("100% _a_ %%");
        QTest::newRow("backslashes") << QStringLiteral("C:\\药\\ \\\\ \\n");
        QTest::newRow("semicolon and sql") << QStringLiteral("x'); DELETE FROM DRUG_ZB; --");
        QTest::newRow("non-BMP") << QString::fromUcs4(U"\U00020000\U0002A6D6𠀀 草\U0001F33F");
        QString controls;
        for (char16_t c = 1; c < 32; ++c)
            controls += QChar(c);
        QTest::newRow("control characters") << controls + QChar(0x7f) + QStringLiteral("\r\n\t");
        QString longText;
        while (longText.size() < 10000)
            longText += QStringLiteral("功能主治\"%_\\;\n");
        QTest::newRow("10000 characters") << longText.left(10000);
    }

    void testParametersRoundTripUnchanged()
    {
        QFETCH(QString, value);
        TestDatabase db;
        db.addDrug({{QStringLiteral("药物名称"), QStringLiteral("别的药")}});
        Connection connection(db.path());
        DataSet set(connection, QStringLiteral("SQL_1"));
        set.setSql(QStringLiteral("insert into DRUG_ZB (药物名称, 附注) values (:name, :note)"));
        set.setParameter(QStringLiteral("name"), value);
        set.setParameter(QStringLiteral("note"), value);
        set.execSql();

        set.setSql(QStringLiteral("select 药物名称, 附注 from DRUG_ZB where 药物名称 = :name"));
        set.setParameter(QStringLiteral("name"), value);
        set.open();
        QCOMPARE(set.recordCount(), 1);
        QCOMPARE(set.asString(0), value);
        QCOMPARE(set.asString(1).size(), value.size());
        QCOMPARE(set.asString(1), value);
        QCOMPARE(db.scalar(QStringLiteral("SELECT count(*) FROM DRUG_ZB")), QStringLiteral("2"));
    }

    void testTwoStatementsAreRefused()
    {
        TestDatabase db;
        db.addCategory(QStringLiteral("01"), QStringLiteral("解表药"));
        Connection connection(db.path());
        DataSet set(connection, QStringLiteral("SQL_1"));
        set.setSql(QStringLiteral("select * from DRUG_LB; delete from DRUG_LB"));
        QVERIFY(!errorOf([&] { set.open(); }).isEmpty());
        set.setSql(QStringLiteral("delete from HELP_LB; delete from DRUG_LB"));
        QVERIFY(!errorOf([&] { set.execSql(); }).isEmpty());
        QCOMPARE(db.scalar(QStringLiteral("SELECT count(*) FROM DRUG_LB")), QStringLiteral("1"));
    }

    // A record set that writes back selects the row's identity first, so it
    // takes a select and nothing else; the benchmark's floor runs this text.
    void testWritableSetSelectsRowIdentity_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QString>("runs"); // empty: refused
        QTest::newRow("select") << "select * from DRUG_LB" << "select rowid AS __rowid__, * from DRUG_LB";
        QTest::newRow("spaced, upper case") << " \tSELECT\n*  from DRUG_LB" << "select rowid AS __rowid__, *  from DRUG_LB";
        QTest::newRow("delete") << "delete from DRUG_LB" << "";
        QTest::newRow("a word that starts with select") << "selectall from DRUG_LB" << "";
    }
    void testWritableSetSelectsRowIdentity()
    {
        QFETCH(QString, sql);
        QFETCH(QString, runs);
        QCOMPARE(DataSet::withRowId(sql), runs);
        TestDatabase db;
        db.addCategory(QStringLiteral("01"), QStringLiteral("解表药"));
        Connection connection(db.path());
        DataSet set(connection, QStringLiteral("SQL_LB"), LockType::BatchOptimistic);
        set.setUpdateTable(QStringLiteral("DRUG_LB"));
        set.setSql(sql);
        const QString error = errorOf([&] { set.open(); });
        if (runs.isEmpty()) {
            QVERIFY(!error.isEmpty());
        } else {
            QVERIFY2(error.isEmpty(), qPrintable(error));
            QCOMPARE(set.recordCount(), 1);
            QCOMPARE(set.fieldName(0), QStringLiteral("BM")); // the identity is no field
        }
        QCOMPARE(db.scalar(QStringLiteral("SELECT count(*) FROM DRUG_LB")), QStringLiteral("1"));
    }

    // --- record set ---------------------------------------------------------

    // --- record set ------------------------------------------------------------

    void testFieldsByPositionAndName()
    {
        TestDatabase db;
        const qint64 a = db.addDrug({{QStringLiteral("药物名称"), QStringLiteral("麻黄")},
                                     {QStringLiteral("英文名称"), QStringLiteral("Ephedra")}});
        const qint64 b = db.addDrug({{QStringLiteral("药物名称"), QStringLiteral("桂枝")}});
        Connection connection(db.path());
        DataSet set(connection, QStringLiteral("SQL_1"));
        set.setSql(QStringLiteral("select ID, 药物名称, 英文名称 from DRUG_ZB order by ID"));
        QCOMPARE(set.state(), DataSetState::Inactive);
        set.open();
        QCOMPARE(set.state(), DataSetState::Browse);
        QCOMPARE(set.fieldCount(), 3);
        QCOMPARE(set.fieldName(1), QStringLiteral("药物名称"));
        QCOMPARE(set.recNo(), 1);
        QCOMPARE(set.asString(0), QString::number(a));
        QCOMPARE(set.asString(QStringLiteral("id")), QString::number(a));
        QCOMPARE(set.asString(QStringLiteral("英文名称")), QStringLiteral("Ephedra"));
        QCOMPARE(set.fieldIndex(QStringLiteral("英文名称")), 2);
        set.next();
        QCOMPARE(set.recNo(), 2);
        QCOMPARE(set.asString(QStringLiteral("Id")), QString::number(b));
        QVERIFY(!set.eof());
        // NULL reads as empty text.
        QCOMPARE(set.asString(2), QString());
        QVERIFY(!set.value(QStringLiteral("英文名称")).has_value());
        set.next();
        QVERIFY(set.eof());
        QCOMPARE(set.recNo(), 0);
        set.first();
        QCOMPARE(set.asString(1), QStringLiteral("麻黄"));

        const QString unknown = errorOf([&] { set.asString(QStringLiteral("功能主治")); });
        QVERIFY2(unknown.contains(QStringLiteral("功能主治")), qPrintable(unknown));
        QVERIFY(!errorOf([&] { set.asString(3); }).isEmpty());
        // Read-only datasets take no edits.
        QVERIFY(!errorOf([&] { set.edit(); }).isEmpty());
    }

    void testEditAppendPostCancelStates()
    {
        TestDatabase db;
        db.addDrug({{QStringLiteral("药物名称"), QStringLiteral("麻黄")}});
        Connection connection(db.path());
        DataSet set(connection, QStringLiteral("SQL_ZB"), LockType::BatchOptimistic);
        set.setUpdateTable(QStringLiteral("DRUG_ZB"));
        set.setSql(QStringLiteral("select * from DRUG_ZB"));
        QVERIFY(!errorOf([&] { set.edit(); }).isEmpty()); // closed
        set.open();

        QVERIFY(!errorOf([&] { set.setField(QStringLiteral("药物名称"), QStringLiteral("x")); }).isEmpty());
        set.edit();
        QCOMPARE(set.state(), DataSetState::Edit);
        set.setField(QStringLiteral("药物名称"), QStringLiteral("麻黄根"));
        QCOMPARE(set.asString(QStringLiteral("药物名称")), QStringLiteral("麻黄根"));
        QVERIFY(set.updatesPending());
        set.cancel();
        QCOMPARE(set.state(), DataSetState::Browse);
        QCOMPARE(set.asString(QStringLiteral("药物名称")), QStringLiteral("麻黄"));
        QVERIFY(!set.updatesPending());

        int afterInsertCalls = 0;
        set.afterInsert = [&](DataSet &d) {
            ++afterInsertCalls;
            QCOMPARE(d.state(), DataSetState::Insert);
            d.setField(QStringLiteral("LB"), QStringLiteral("01"));
        };
        set.append();
        QCOMPARE(afterInsertCalls, 1);
        QCOMPARE(set.recordCount(), 2);
        QCOMPARE(set.recNo(), 2);
        QCOMPARE(set.asString(QStringLiteral("LB")), QStringLiteral("01"));
        QCOMPARE(set.asString(QStringLiteral("药物名称")), QString());
        set.cancel();
        QCOMPARE(set.recordCount(), 1);
        QCOMPARE(set.asString(QStringLiteral("药物名称")), QStringLiteral("麻黄"));

        // An appended record nobody wrote into is abandoned by post.
        set.afterInsert = nullptr;
        set.append();
        set.post();
        QCOMPARE(set.recordCount(), 1);
        QVERIFY(!set.updatesPending());

        set.append();
        set.setField(QStringLiteral("药物名称"), QStringLiteral("桂枝"));
        set.post();
        QCOMPARE(set.state(), DataSetState::Browse);
        QCOMPARE(set.recordCount(), 2);
        QVERIFY(set.updatesPending());
        // Posting keeps the change in the record set only.
        QCOMPARE(db.scalar(QStringLiteral("SELECT count(*) FROM DRUG_ZB")), QStringLiteral("1"));
    }

    void testExposedFieldsOnly()
    {
        TestDatabase db;
        db.addDrug({{QStringLiteral("药物名称"), QStringLiteral("麻黄")}, {QStringLiteral("附注"), QStringLiteral("注")}});
        Connection connection(db.path());
        DataSet set(connection, QStringLiteral("SQL_ZB"), LockType::BatchOptimistic);
        set.setUpdateTable(QStringLiteral("DRUG_ZB"));
        set.setExposedFields({QStringLiteral("id"), QStringLiteral("药物名称")});
        set.setSql(QStringLiteral("select * from DRUG_ZB"));
        set.open();
        QCOMPARE(set.fieldCount(), 2);
        QVERIFY(set.hasField(QStringLiteral("ID")));
        QVERIFY(!set.hasField(QStringLiteral("附注")));
        QVERIFY(!errorOf([&] { set.asString(QStringLiteral("附注")); }).isEmpty());
        set.edit();
        set.setField(QStringLiteral("药物名称"), QStringLiteral("麻黄根"));
        set.applyUpdates();
        // Columns that are not fields are left as they were.
        QCOMPARE(db.scalar(QStringLiteral("SELECT 药物名称 || '/' || 附注 FROM DRUG_ZB")), QStringLiteral("麻黄根/注"));
    }

    void testApplyWritesInsertsAndUpdates()
    {
        TestDatabase db;
        db.addCategory(QStringLiteral("01"), QStringLiteral("解表药"));
        db.addCategory(QStringLiteral("02"), QStringLiteral("清热药"));
        const qint64 a = db.addDrug({{QStringLiteral("LB"), QStringLiteral("01")}, {QStringLiteral("药物名称"), QStringLiteral("麻黄")}});
        const qint64 b = db.addDrug({{QStringLiteral("LB"), QStringLiteral("01")}, {QStringLiteral("药物名称"), QStringLiteral("桂枝")}});
        Connection connection(db.path());
        DataSet set(connection, QStringLiteral("SQL_ZB"), LockType::BatchOptimistic);
        openDrugs(set);

        set.edit();
        set.setField(QStringLiteral("附注"), QStringLiteral("发汗"));
        set.next(); // posts
        set.edit();
        set.setField(QStringLiteral("LB"), QStringLiteral("02"));
        set.setField(QStringLiteral("英文名称"), std::nullopt);
        set.append();
        set.setField(QStringLiteral("LB"), QStringLiteral("02"));
        set.setField(QStringLiteral("药物名称"), QStringLiteral("金银花"));
        set.append();
        set.setField(QStringLiteral("药物名称"), QStringLiteral("连翘"));
        set.applyUpdates();

        QVERIFY(!set.updatesPending());
        QCOMPARE(set.state(), DataSetState::Browse);
        QCOMPARE(db.scalar(QStringLiteral("SELECT count(*) FROM DRUG_ZB")), QStringLiteral("4"));
        QCOMPARE(db.scalar(QStringLiteral("SELECT 附注 FROM DRUG_ZB WHERE ID = ?"), {QString::number(a)}), QStringLiteral("发汗"));
        QCOMPARE(db.scalar(QStringLiteral("SELECT LB || 类别 FROM DRUG_ZB WHERE ID = ?"), {QString::number(b)}),
                 QStringLiteral("02清热药"));

        // The written records know their IDs and what the database made of them.
        set.first();
        set.next();
        QCOMPARE(set.asString(QStringLiteral("类别")), QStringLiteral("清热药"));
        set.next();
        const QString newId = set.asString(QStringLiteral("ID"));
        QVERIFY(!newId.isEmpty());
        QCOMPARE(db.scalar(QStringLiteral("SELECT 药物名称 FROM DRUG_ZB WHERE ID = ?"), {newId}), QStringLiteral("金银花"));
        QCOMPARE(set.asString(QStringLiteral("类别")), QStringLiteral("清热药"));
        set.next();
        QVERIFY(set.asString(QStringLiteral("ID")).toLongLong() > newId.toLongLong());

        // A written record is updated in place afterwards, not inserted again.
        set.edit();
        set.setField(QStringLiteral("附注"), QStringLiteral("清热"));
        set.applyUpdates();
        QCOMPARE(db.scalar(QStringLiteral("SELECT count(*) FROM DRUG_ZB")), QStringLiteral("4"));
        QCOMPARE(db.scalar(QStringLiteral("SELECT 附注 FROM DRUG_ZB WHERE 药物名称 = '连翘'")), QStringLiteral("清热"));
    }

    void testConflictFailsAndKeepsEdits_data()
    {
        QTest::addColumn<QString>("otherProgram");
        QTest::newRow("row changed") << QStringLiteral("UPDATE DRUG_ZB SET 附注 = '别人改的' WHERE 药物名称 = '桂枝'");
        QTest::newRow("letter case changed") << QStringLiteral("UPDATE DRUG_ZB SET 附注 = '原来的 ABC' WHERE 药物名称 = '桂枝'");
        QTest::newRow("row deleted") << QStringLiteral("DELETE FROM DRUG_ZB WHERE 药物名称 = '桂枝'");
    }

    void testConflictFailsAndKeepsEdits()
    {
        QFETCH(QString, otherProgram);
        TestDatabase db;
        db.addDrug({{QStringLiteral("药物名称"), QStringLiteral("麻黄")}});
        db.addDrug({{QStringLiteral("药物名称"), QStringLiteral("桂枝")}, {QStringLiteral("附注"), QStringLiteral("原来的 abc")}});
        Connection connection(db.path());
        DataSet set(connection, QStringLiteral("SQL_ZB"), LockType::BatchOptimistic);
        openDrugs(set);
        // The first update would succeed; the second meets the other program's change.
        set.edit();
        set.setField(QStringLiteral("附注"), QStringLiteral("我的一"));
        set.next();
        set.edit();
        set.setField(QStringLiteral("附注"), QStringLiteral("我的二"));
        set.append();
        set.setField(QStringLiteral("药物名称"), QStringLiteral("新药"));
        set.post();

        db.exec(otherProgram); // through a second connection
        const QString before = storedDrugs(db);

        const QString message = errorOf([&] { set.applyUpdates(); });
        QVERIFY2(!message.isEmpty(), "the apply did not fail");
        QVERIFY(!connection.inTransaction());
        QCOMPARE(storedDrugs(db), before);

        // The edits are still in the record set, and still pending.
        QVERIFY(set.updatesPending());
        QCOMPARE(set.recordCount(), 3);
        set.first();
        QCOMPARE(set.asString(QStringLiteral("附注")), QStringLiteral("我的一"));
        set.next();
        QCOMPARE(set.asString(QStringLiteral("附注")), QStringLiteral("我的二"));
        set.next();
        QCOMPARE(set.asString(QStringLiteral("药物名称")), QStringLiteral("新药"));
        QVERIFY(set.asString(QStringLiteral("ID")).isEmpty());
        // The conflict is not forgotten: a second apply fails the same way.
        QVERIFY(!errorOf([&] { set.applyUpdates(); }).isEmpty());
        QVERIFY(set.updatesPending());
    }

    void testCloseDropsPendingChanges()
    {
        TestDatabase db;
        db.addDrug({{QStringLiteral("药物名称"), QStringLiteral("麻黄")}});
        Connection connection(db.path());
        DataSet set(connection, QStringLiteral("SQL_ZB"), LockType::BatchOptimistic);
        openDrugs(set, QStringLiteral("select * from DRUG_ZB"));
        set.edit();
        set.setField(QStringLiteral("药物名称"), QStringLiteral("改过"));
        set.append();
        set.setField(QStringLiteral("药物名称"), QStringLiteral("新药"));
        set.post();
        set.close();
        QVERIFY(!set.updatesPending());
        set.open();
        QCOMPARE(set.recordCount(), 1);
        QCOMPARE(set.asString(QStringLiteral("药物名称")), QStringLiteral("麻黄"));
        QCOMPARE(db.scalar(QStringLiteral("SELECT group_concat(药物名称) FROM DRUG_ZB")), QStringLiteral("麻黄"));
    }

    void testUncommittedApplyLeavesRecordSetPending_data()
    {
        QTest::addColumn<bool>("commitFails");
        QTest::newRow("commit fails") << true;
        QTest::newRow("rolled back") << false;
    }

    void testUncommittedApplyLeavesRecordSetPending()
    {
        QFETCH(bool, commitFails);
        TestDatabase db;
        db.addDrug({{QStringLiteral("药物名称"), QStringLiteral("麻黄")}});
        Connection connection(db.path());
        DataSet set(connection, QStringLiteral("SQL_ZB"), LockType::BatchOptimistic);
        openDrugs(set);
        set.edit();
        set.setField(QStringLiteral("附注"), QStringLiteral("改过"));
        set.append();
        set.setField(QStringLiteral("药物名称"), QStringLiteral("新药"));

        // Another program in the middle of reading keeps the commit from finishing.
        Connection reader(db.path());
        if (commitFails) {
            reader.execute(QStringLiteral("BEGIN DEFERRED"));
            reader.execute(QStringLiteral("SELECT count(*) FROM DRUG_ZB"));
        }
        connection.beginTransaction();
        set.applyUpdates();
        if (commitFails) {
            const QString message = errorOf([&] { connection.commitTransaction(); });
            QVERIFY2(message.contains(engineText(SQLITE_BUSY)), qPrintable(message));
            reader.execute(QStringLiteral("ROLLBACK"));
        }
        connection.rollbackTransaction();

        QVERIFY(set.updatesPending());
        QCOMPARE(set.asString(QStringLiteral("药物名称")), QStringLiteral("新药"));
        QVERIFY(set.asString(QStringLiteral("ID")).isEmpty()); // the insert got no ID
        set.first();
        QCOMPARE(set.asString(QStringLiteral("附注")), QStringLiteral("改过"));
        QCOMPARE(storedDrugs(db), QStringLiteral("麻黄:"));

        // Written once, by the apply that is committed.
        connection.beginTransaction();
        set.applyUpdates();
        connection.commitTransaction();
        QVERIFY(!set.updatesPending());
        QCOMPARE(storedDrugs(db), QStringLiteral("麻黄:改过,新药:"));
    }

    // --- schema -------------------------------------------------------------
};

QTEST_MAIN(TestDataSet)
#include "test_data_dataset.moc"
