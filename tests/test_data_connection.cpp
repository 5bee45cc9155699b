// The connection on real encrypted files: opening with the key, the
// engine's reasons for a failed open, transactions, and locking by
// another program.
#include "TestSupport.h"
#include "DataTesting.h"
#include "data/Connection.h"
#include "data/DataSet.h"
#include "data/DbError.h"
#include "data/Statement.h"
#include "tools/SyntheticData.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <sqlite3.h>

using data::Connection;
using data::DataSet;
using data::DbError;

namespace {

const QString Key = QStringLiteral("52047316");

struct Closer {
    void operator()(sqlite3 *db) const { sqlite3_close_v2(db); }
};

// A database file made without our connection: plain, or keyed with another key.
void makeForeignDatabase(const QString &path, const QByteArray &key)
{
    sqlite3 *raw = nullptr;
    sqlite3_open_v2(path.toUtf8().constData(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    std::unique_ptr<sqlite3, Closer> db(raw);
    QVERIFY(db);
    if (!key.isEmpty())
        QCOMPARE(sqlite3_key(db.get(), key.constData(), int(key.size())), SQLITE_OK);
    QCOMPARE(sqlite3_exec(db.get(), "CREATE TABLE DRUG_LB (BM TEXT, MC TEXT); "
                                    "INSERT INTO DRUG_LB VALUES ('01', 'x');", nullptr, nullptr, nullptr),
             SQLITE_OK);
}

} // namespace

class TestConnection : public QObject
{
    Q_OBJECT

private slots:
    // --- opening ---------------------------------------------------------------

    void testRightKeyOpensAndFileIsEncrypted()
    {
        TestDatabase db;
        db.addCategory(QStringLiteral("01"), QStringLiteral("解表药"));
        Connection connection(db.path());
        connection.open();
        QVERIFY(connection.isOpen());
        data::Statement statement(connection.handle(), QStringLiteral("SELECT MC FROM DRUG_LB"));
        QVERIFY(statement.step());
        QCOMPARE(statement.text(0), QStringLiteral("解表药"));

        // Neither the plain-file header nor the stored text is readable on disk.
        const QByteArray bytes = readFile(db.path());
        QVERIFY(!bytes.startsWith("SQLite format 3"));
        QVERIFY(!bytes.contains(QStringLiteral("解表药").toUtf8()));
        QVERIFY(!bytes.contains("DRUG_ZB"));
    }

    void testOpenFailsWithEngineReason_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("code");
        QTest::newRow("another key") << "otherkey" << SQLITE_NOTADB;
        QTest::newRow("plain sqlite file") << "plain" << SQLITE_NOTADB;
        QTest::newRow("random bytes") << "random" << SQLITE_NOTADB;
        QTest::newRow("truncated to half") << "truncated" << SQLITE_CORRUPT;
        QTest::newRow("empty file") << "empty" << 0; // no engine error: our own text
        QTest::newRow("directory") << "directory" << SQLITE_CANTOPEN;
        QTest::newRow("missing file") << "missing" << SQLITE_CANTOPEN;
    }

    void testOpenFailsWithEngineReason()
    {
        QFETCH(QString, kind);
        QFETCH(int, code);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("drug.mdb"));
        if (kind == QLatin1String("otherkey")) {
            makeForeignDatabase(path, "12345678");
        } else if (kind == QLatin1String("plain")) {
            makeForeignDatabase(path, QByteArray());
        } else if (kind == QLatin1String("random")) {
            QByteArray bytes(64 * 1024, Qt::Uninitialized);
            quint32 x = 2463534242u;
            for (char &c : bytes) {
                x ^= x << 13, x ^= x >> 17, x ^= x << 5;
                c = char(x);
            }
            writeFile(path, bytes);
        } else if (kind == QLatin1String("truncated")) {
            const QString full = dir.filePath(QStringLiteral("full.mdb"));
            tools::buildSynthetic(full, 200, 5, 1, false);
            const QByteArray bytes = readFile(full);
            QVERIFY(bytes.size() > 16 * 1024);
            writeFile(path, bytes.left(bytes.size() / 2));
        } else if (kind == QLatin1String("empty")) {
            // An empty file is a valid empty database to the engine; it has none of our tables.
            writeFile(path, QByteArray());
        } else if (kind == QLatin1String("directory")) {
            QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("drug.mdb")));
        }

        if (QTest::currentTestFailed())
            return;

        Connection connection(path);
        const QString message = errorOf([&] { connection.open(); });
        QVERIFY2(!message.isEmpty(), "open() did not fail");
        if (code != 0)
            QVERIFY2(message.contains(engineText(code)), qPrintable(message));
        QVERIFY2(!message.contains(Key), qPrintable(message));
        QVERIFY(!connection.isOpen());
        if (kind == QLatin1String("missing"))
            QVERIFY2(!QFileInfo::exists(path), "a failed open must not create the file");
    }

    void testCommandLineShellReadsFileWithKey()
    {
        const QString shell = QStandardPaths::findExecutable(QStringLiteral("sqlcipher"));
        if (shell.isEmpty())
            QSKIP("the sqlcipher command-line shell is not installed");
        TestDatabase db;
        db.addCategory(QStringLiteral("01"), QStringLiteral("解表药"));
        db.addDrug({{QStringLiteral("LB"), QStringLiteral("01")}, {QStringLiteral("药物名称"), QStringLiteral("麻黄")}});

        auto run = [&](const QString &input) {
            QProcess process;
            process.start(shell, {db.path()});
            process.write(input.toUtf8());
            process.closeWriteChannel();
            if (!process.waitForFinished(30000))
                return QStringLiteral("<timeout>");
            return QString::fromUtf8(process.readAllStandardOutput() + process.readAllStandardError()).trimmed();
        };
        const QString out = run(QStringLiteral("PRAGMA key='%1';\nSELECT 药物名称 || '|' || 类别 FROM DRUG_ZB;\n").arg(Key));
        QVERIFY2(out.endsWith(QStringLiteral("麻黄|解表药")), qPrintable(out));
        const QString without = run(QStringLiteral("SELECT count(*) FROM DRUG_ZB;\n"));
        QVERIFY2(without.contains(engineText(SQLITE_NOTADB)), qPrintable(without));

        // A row the shell writes is found by the next search, through the index.
        const QString wrote = run(QStringLiteral("PRAGMA key='%1';\nINSERT INTO DRUG_ZB (LB, 药物名称, 功能主治) "
                                                 "VALUES ('01', '外来药', '龘');\nSELECT changes();\n").arg(Key));
        QVERIFY2(wrote.endsWith(QLatin1Char('1')), qPrintable(wrote));
        Connection connection(db.path());
        connection.open();
        const BothWays found = searchBothWays(connection, 1, QStringLiteral("龘"));
        QCOMPARE(found.indexed, found.full);
        QCOMPARE(found.full.size(), 1);
        QVERIFY(found.sql.contains(QLatin1String("SEARCH_DIRTY")));
    }

    void testDataSetOpensClosedConnectionOnDemand()
    {
        TestDatabase db;
        db.addCategory(QStringLiteral("01"), QStringLiteral("解表药"));
        Connection connection(db.path());
        DataSet set(connection, QStringLiteral("SQL_LB"));
        set.setSql(QStringLiteral("select * from DRUG_LB"));
        set.open();
        QVERIFY(connection.isOpen());
        QCOMPARE(set.recordCount(), 1);
        // Closing the connection closes its datasets.
        connection.close();
        QVERIFY(!set.isActive());
        QVERIFY(errorOf([&] { set.asString(0); }).contains(QStringLiteral("已关闭")));
    }

    // --- transactions -------------------------------------------------------

    // --- transactions ----------------------------------------------------------

    void testCommitKeepsAndRollbackUndoes()
    {
        TestDatabase db;
        Connection connection(db.path());
        connection.open();
        connection.beginTransaction();
        QVERIFY(connection.inTransaction());
        connection.execute(QStringLiteral("INSERT INTO DRUG_LB (BM, MC) VALUES ('01', 'a')"));
        connection.commitTransaction();
        QVERIFY(!connection.inTransaction());
        QCOMPARE(db.scalar(QStringLiteral("SELECT count(*) FROM DRUG_LB")), QStringLiteral("1"));

        connection.beginTransaction();
        connection.execute(QStringLiteral("INSERT INTO DRUG_LB (BM, MC) VALUES ('02', 'b')"));
        connection.execute(QStringLiteral("DELETE FROM DRUG_LB WHERE BM = '01'"));
        connection.rollbackTransaction();
        QVERIFY(!connection.inTransaction());
        QCOMPARE(db.scalar(QStringLiteral("SELECT group_concat(BM) FROM DRUG_LB")), QStringLiteral("01"));

        QVERIFY(!errorOf([&] { connection.commitTransaction(); }).isEmpty());
        QVERIFY(!errorOf([&] { connection.rollbackTransaction(); }).isEmpty());
    }

    void testBeginWhileOpenIsAnError()
    {
        TestDatabase db;
        Connection connection(db.path());
        connection.beginTransaction();
        connection.execute(QStringLiteral("INSERT INTO DRUG_LB (BM, MC) VALUES ('01', 'a')"));
        QVERIFY(!errorOf([&] { connection.beginTransaction(); }).isEmpty());
        // The first transaction is still the open one, with its writes.
        QVERIFY(connection.inTransaction());
        connection.commitTransaction();
        QCOMPARE(db.scalar(QStringLiteral("SELECT count(*) FROM DRUG_LB")), QStringLiteral("1"));
    }

    void testTransactionGuardRollsBackUnlessCommitted()
    {
        TestDatabase db;
        Connection connection(db.path());
        try {
            data::Transaction transaction(connection);
            connection.execute(QStringLiteral("INSERT INTO DRUG_LB (BM, MC) VALUES ('01', 'a')"));
            throw DbError(QStringLiteral("写入中途失败"));
        } catch (const DbError &) {
        }
        QVERIFY(!connection.inTransaction());
        QCOMPARE(db.scalar(QStringLiteral("SELECT count(*) FROM DRUG_LB")), QStringLiteral("0"));
        {
            data::Transaction transaction(connection);
            connection.execute(QStringLiteral("INSERT INTO DRUG_LB (BM, MC) VALUES ('02', 'b')"));
            transaction.commit();
        }
        QCOMPARE(db.scalar(QStringLiteral("SELECT count(*) FROM DRUG_LB")), QStringLiteral("1"));
    }

    void testAfterCommitHooksRunOnlyOnCommit()
    {
        TestDatabase db;
        Connection connection(db.path());
        QStringList ran;
        connection.beginTransaction();
        connection.afterCommit([&] { ran << QStringLiteral("dropped"); });
        QVERIFY(ran.isEmpty());
        connection.rollbackTransaction();
        connection.beginTransaction();
        connection.afterCommit([&] { ran << QStringLiteral("first"); });
        connection.afterCommit([&] { ran << QStringLiteral("second"); });
        QVERIFY(ran.isEmpty());
        connection.commitTransaction();
        QCOMPARE(ran, (QStringList{QStringLiteral("first"), QStringLiteral("second")}));
        // Without a transaction there is nothing to wait for.
        connection.afterCommit([&] { ran << QStringLiteral("now"); });
        QCOMPARE(ran.last(), QStringLiteral("now"));
        connection.beginTransaction();
        connection.commitTransaction();
        QCOMPARE(ran.size(), 3);
    }

    // --- parameters ---------------------------------------------------------

    // --- locking ---------------------------------------------------------------

    void testWriteLockOfAnotherProgramWaitsThenFails()
    {
        TestDatabase db;
        Connection other(db.path());
        other.beginTransaction(); // BEGIN IMMEDIATE: holds the write lock
        other.execute(QStringLiteral("INSERT INTO DRUG_LB (BM, MC) VALUES ('01', 'a')"));

        Connection connection(db.path());
        connection.open();
        QElapsedTimer timer;
        timer.start();
        const QString message = errorOf([&] { connection.beginTransaction(); });
        const qint64 waited = timer.elapsed();
        QVERIFY2(message.contains(engineText(SQLITE_BUSY)), qPrintable(message));
        QVERIFY2(waited >= Connection::BusyTimeoutMs - 200 && waited < Connection::BusyTimeoutMs + 5000,
                 qPrintable(QStringLiteral("waited %1 ms").arg(waited)));
        QVERIFY(!connection.inTransaction());

        other.commitTransaction();
        connection.beginTransaction();
        connection.execute(QStringLiteral("INSERT INTO DRUG_LB (BM, MC) VALUES ('02', 'b')"));
        connection.commitTransaction();
        QCOMPARE(db.scalar(QStringLiteral("SELECT count(*) FROM DRUG_LB")), QStringLiteral("2"));
    }

    // --- builder ------------------------------------------------------------
};

QTEST_MAIN(TestConnection)
#include "test_data_connection.moc"
