// The data layer on real encrypted files: opening, transactions, bound
// parameters, the batch-optimistic record set, the schema's own rules,
// locking by another program, the database builder and the search index.
#include "TestSupport.h"
#include "data/Connection.h"
#include "data/DataSet.h"
#include "data/DatabaseBuilder.h"
#include "data/DbError.h"
#include "data/DrugFields.h"
#include "data/SearchIndex.h"
#include "data/Statement.h"
#include "data/DrugFile.h"
#include "data/sqlite/Schema.h"
#include "lookup/CombinedQuery.h"
#include "tools/SyntheticData.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <functional>
#include <memory>
#include <random>
#include <sqlite3.h>

using data::Connection;
using data::DataSet;
using data::DataSetState;
using data::DbError;
using data::LockType;

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

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), qint64(bytes.size()));
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The message of the DbError that f throws; empty when it throws none.
QString errorOf(const std::function<void()> &f)
{
    try {
        f();
    } catch (const DbError &e) {
        return e.message();
    }
    return QString();
}

int jsonEntries(const QString &path)
{
    return int(QJsonDocument::fromJson(readFile(path)).array().size());
}

QString engineText(int code)
{
    return QString::fromUtf8(sqlite3_errstr(code));
}

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

// A scalar read with the key alone, without our connection's upgrade.
QString rawScalar(const QString &path, const QString &sql)
{
    sqlite3 *raw = nullptr;
    sqlite3_open_v2(path.toUtf8().constData(), &raw, SQLITE_OPEN_READONLY, nullptr);
    std::unique_ptr<sqlite3, Closer> db(raw);
    data::Connection::applyKey(db.get());
    data::Statement statement(db.get(), sql);
    return statement.step() ? statement.text(0) : QString();
}

// What a combined search finds through the index and through a full test
// of every row, both as IDs in ascending order, and the statements.
struct BothWays {
    QList<qint64> full, indexed;
    QString sql, fullSql;
    qsizetype staged = 0; // rows the index named
};
// (box, text) of each filled box.
BothWays searchBothWays(Connection &connection, const QList<QPair<int, QString>> &boxes)
{
    QStringList texts(data::SearchBoxCount);
    for (const auto &[box, typed] : boxes)
        texts[box - 1] = typed;
    const CombinedQuery query(texts);
    const auto run = [&](const QString &sql) {
        data::Statement statement(connection.handle(), sql);
        for (const auto &[name, value] : query.parameters()) {
            if (const int index = statement.parameterIndex(name))
                statement.bind(index, value);
        }
        QList<qint64> ids;
        while (statement.step())
            ids << statement.int64(0);
        std::sort(ids.begin(), ids.end());
        return ids;
    };
    BothWays out;
    out.fullSql = query.fullSql();
    out.full = run(out.fullSql);
    out.sql = query.sql(connection);
    out.indexed = run(out.sql);
    if (out.sql != out.fullSql) {
        data::Statement staged(connection.handle(), QStringLiteral("select count(*) from temp.SEARCH_IDS"));
        staged.step();
        out.staged = staged.int64(0);
    }
    return out;
}
BothWays searchBothWays(Connection &connection, int box, const QString &typed)
{
    return searchBothWays(connection, {{box, typed}});
}

// Texts to look for: pieces of stored values of one to five characters,
// some with wildcards, some with Latin letters in the other case, some
// found nowhere.
QList<QPair<int, QString>> probes(Connection &connection, int count)
{
    QList<QPair<int, QString>> out;
    std::mt19937 random(7);
    data::Statement rows(connection.handle(), QStringLiteral("select ID from DRUG_ZB order by ID"));
    QList<qint64> ids;
    while (rows.step())
        ids << rows.int64(0);
    while (out.size() < count) {
        const int box = 1 + int(random() % data::SearchBoxCount);
        const QStringList columns = data::boxColumns(box);
        data::Statement value(connection.handle(),
                              QStringLiteral("select %1 from DRUG_ZB where ID = ?").arg(columns[random() % columns.size()]));
        value.bind(1, ids[qsizetype(random() % ids.size())]);
        const QString text = value.step() ? value.text(0) : QString();
        if (text.size() < 2)
            continue;
        const int length = 1 + int(random() % 5);
        const int start = int(random() % std::max<qsizetype>(1, text.size() - length));
        QString piece = text.mid(start, length);
        switch (out.size() % 7) {
        case 1: piece = piece.toUpper(); break;
        case 2: if (piece.size() >= 3) piece[1] = QLatin1Char('_'); break;
        case 3: piece.insert(1, QLatin1Char('%')); break;
        case 4: piece += QStringLiteral("龘"); break; // mostly found nowhere
        case 5: piece = piece.left(1) + QLatin1Char('%') + text.right(1); break;
        case 6: if (random() % 3 == 0) piece = QStringLiteral("龘"); break;
        default: break;
        }
        out << qMakePair(box, piece);
    }
    return out;
}

// Checks every probe, alone and with the one before it in another box;
// gives the number of searches the index decided alone, or -1 with the
// first difference in `failure`.
int checkProbes(Connection &connection, int count, QString &failure)
{
    int decided = 0;
    const QList<QPair<int, QString>> texts = probes(connection, count);
    QSet<qint64> dirty; // rows the index does not speak for: tested by the statement
    data::Statement rows(connection.handle(), QStringLiteral("select ID from DRUG_ZB_DIRTY"));
    while (rows.step())
        dirty << rows.int64(0);
    for (qsizetype n = 0; n < texts.size(); ++n) {
        QList<QPair<int, QString>> criteria{texts[n]};
        if (n % 4 == 3 && texts[n - 1].first != texts[n].first)
            criteria << texts[n - 1];
        bool exact = true;
        for (const auto &[box, typed] : criteria) {
            data::SearchIndex::KeyList keys;
            exact = data::SearchIndex::requiredKeys(data::boxIndexField(box), typed, keys) && exact;
        }
        const BothWays found = searchBothWays(connection, criteria);
        failure = QStringLiteral("box %1, \"%2\"%3: %4 rows by a full test, %5 through the index, %6 named (%7)")
                      .arg(texts[n].first).arg(texts[n].second)
                      .arg(criteria.size() > 1 ? QStringLiteral(" and another box") : QString())
                      .arg(found.full.size()).arg(found.indexed.size()).arg(found.staged).arg(found.sql);
        if (found.full != found.indexed)
            return -1;
        // One or two characters in every box: the index alone answers,
        // naming exactly the rows that match; only rows written since it
        // took them in are tested.
        if (exact) {
            ++decided;
            qsizetype clean = 0;
            for (const qint64 id : found.full)
                clean += !dirty.contains(id);
            if ((found.sql.contains(QLatin1String("like")) && !found.sql.contains(QLatin1String("SEARCH_DIRTY")))
                || found.staged != clean)
                return -1;
        }
        // One character, later another: the places the index keeps decide,
        // and only the rows they cannot tell about are tested.
        static const QRegularExpression ordered(QStringLiteral("^%*[^%_]%+[^%_]%*$"));
        if (criteria.size() == 1 && texts[n].first != 9 && ordered.match(texts[n].second).hasMatch()) {
            ++decided;
            if (found.sql.contains(QLatin1String("like")) && !found.sql.contains(QLatin1String("SEARCH_DIRTY")))
                return -1;
        }
    }
    failure.clear();
    return decided;
}

// Every value of every row of ours, for telling that nothing changed.
QString contents(const QString &path)
{
    QStringList drug{QStringLiteral("ID"), QStringLiteral("类别")};
    drug << data::drugColumns();
    QString all;
    for (const auto &[table, columns] : {qMakePair(QStringLiteral("DRUG_ZB"), drug),
                                         qMakePair(QStringLiteral("DRUG_LB"), QStringList{QStringLiteral("BM"), QStringLiteral("MC")}),
                                         qMakePair(QStringLiteral("HELP_LB"), QStringList{QStringLiteral("BM"), QStringLiteral("MC")}),
                                         qMakePair(QStringLiteral("HELP_ZB"), QStringList{QStringLiteral("LB"), QStringLiteral("CONTENT")})}) {
        all += rawScalar(path, QStringLiteral("select count(*) || ':' || group_concat(quote(rowid) || ',' || quote(%1), ';') "
                                              "from (select rowid, * from %2 order by rowid)")
                                   .arg(columns.join(QStringLiteral(") || ',' || quote(")), table));
    }
    return all;
}

} // namespace

class TestData : public QObject
{
    Q_OBJECT

private slots:
    // --- opening ------------------------------------------------------------

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

    // --- record set ---------------------------------------------------------

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

    void testSampleDatabaseHasEveryJsonEntry()
    {
        const QDir sample(sampleDataDir());
        const int categories = jsonEntries(sample.filePath(QStringLiteral("categories.json")));
        int drugs = 0;
        for (const QString &name : QDir(sample.filePath(QStringLiteral("drugs"))).entryList({QStringLiteral("*.json")}, QDir::Files))
            drugs += jsonEntries(sample.filePath(QStringLiteral("drugs/") + name));
        const int help = jsonEntries(sample.filePath(QStringLiteral("help.json"))); // 0 when absent
        QVERIFY(categories > 0);
        QVERIFY(drugs > 0);

        TestDatabase db(sampleDataDir());
        Connection connection(db.path());
        connection.open();
        QCOMPARE(db.scalar(QStringLiteral("SELECT count(*) FROM DRUG_LB")).toInt(), categories);
        QCOMPARE(db.scalar(QStringLiteral("SELECT count(*) FROM DRUG_ZB")).toInt(), drugs);
        QCOMPARE(db.scalar(QStringLiteral("SELECT count(*) FROM HELP_LB")).toInt(), help);
        // Every drug is filed under a category of the sample and named by it.
        QCOMPARE(db.scalar(QStringLiteral("SELECT count(*) FROM DRUG_ZB WHERE 类别 IS NULL")), QStringLiteral("0"));
    }

    void testBadInputNamesPositionAndWritesNothing_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("json");
        QTest::addColumn<QString>("where");
        QTest::addColumn<QString>("what");
        const QString drugs = QStringLiteral("drugs/01.json");
        const QString first = QStringLiteral("[\n  {\"LB\": \"01\", \"药物名称\": \"麻黄\"},\n  ");
        // Line 3 of each: a column counts characters, Chinese as one.
        QTest::newRow("syntax error") << drugs << first + "{\"LB\": \"01\", \"药物名称\": @}\n]" << "drugs/01.json:3:24" << "JSON";
        QTest::newRow("drug without name") << drugs << first + "{\"LB\": \"01\", \"别名\": \"无名\"}\n]"
                                           << "drugs/01.json:3:3" << "缺少 \"药物名称\"";
        QTest::newRow("empty name") << drugs << first + "{\"LB\": \"01\", \"药物名称\": \"\"}\n]" << "drugs/01.json:3:24" << "不能为空";
        QTest::newRow("name not text") << drugs << first + "{\"LB\": \"01\", \"药物名称\": 5}\n]" << "drugs/01.json:3:24" << "字符串";
        QTest::newRow("duplicate category code")
            << "categories.json" << "[\n  {\"BM\": \"01\", \"MC\": \"解表药\"},\n  {\"BM\": \"01\", \"MC\": \"清热药\"}\n]"
            << "categories.json:3:10" << "重复";
        QTest::newRow("duplicate help topic code")
            << "help.json" << "[\n  {\"BM\": \"01\", \"MC\": \"简介\", \"CONTENT\": \"甲\"},\n  {\"BM\": \"01\", \"MC\": \"用法\"}\n]"
            << "help.json:3:10" << "重复";
    }

    void testBadInputNamesPositionAndWritesNothing()
    {
        QFETCH(QString, file);
        QFETCH(QString, json);
        QFETCH(QString, where);
        QFETCH(QString, what);
        QTemporaryDir dir;
        const QDir input(dir.path());
        QVERIFY(input.mkpath(QStringLiteral("in/drugs")));
        writeFile(input.filePath(QStringLiteral("in/categories.json")), R"([{"BM": "01", "MC": "解表药"}])");
        writeFile(input.filePath(QStringLiteral("in/drugs/01.json")), R"([{"LB": "01", "药物名称": "麻黄"}])");
        writeFile(input.filePath(QStringLiteral("in/help.json")), R"([{"BM": "01", "MC": "简介"}])");
        writeFile(input.filePath(QStringLiteral("in/") + file), json.toUtf8());
        const QString out = input.filePath(QStringLiteral("drug.mdb"));

        const QString message = errorOf([&] {
            data::DatabaseBuilder::buildFromSample(input.filePath(QStringLiteral("in")), out, false);
        });
        QVERIFY2(message.contains(where + QStringLiteral(": ")) && message.contains(what), qPrintable(message));
        QVERIFY(!QFileInfo::exists(out));
        QCOMPARE(input.entryList(QDir::Files), QStringList());

        // Not even over an existing file, when overwriting is allowed.
        writeFile(out, "keep me");
        QVERIFY(!errorOf([&] {
            data::DatabaseBuilder::buildFromSample(input.filePath(QStringLiteral("in")), out, true);
        }).isEmpty());
        QCOMPARE(readFile(out), QByteArray("keep me"));
    }

    void testForceReplacesFileAndItsStaleJournal()
    {
        QTemporaryDir dir;
        const QString out = dir.filePath(QStringLiteral("drug.mdb"));
        data::DatabaseBuilder::createEmpty(out);
        // The journal a program killed during a save leaves: unsynced, so
        // every record counts, and played into whatever file bears the name.
        QByteArray journal;
        {
            Connection old(out);
            old.execute(QStringLiteral("PRAGMA synchronous = OFF"));
            old.beginTransaction();
            old.execute(QStringLiteral("INSERT INTO DRUG_LB (BM, MC) VALUES ('09', '旧类')"));
            journal = readFile(out + QStringLiteral("-journal"));
            old.rollbackTransaction();
        }
        QVERIFY(journal.size() > 1024);
        writeFile(out + QStringLiteral("-journal"), journal);

        data::DatabaseBuilder::buildFromSample(sampleDataDir(), out, true);
        QVERIFY(!QFileInfo::exists(out + QStringLiteral("-journal")));
        QCOMPARE(scalarIn(out, QStringLiteral("PRAGMA integrity_check")), QStringLiteral("ok"));
        QVERIFY(scalarIn(out, QStringLiteral("SELECT count(*) FROM DRUG_ZB")).toInt() > 100);
    }

    void testExistingFileIsRefusedUnlessOverwrite()
    {
        QTemporaryDir dir;
        const QString out = dir.filePath(QStringLiteral("drug.mdb"));
        writeFile(out, "a user's edits");
        QVERIFY(!errorOf([&] { data::DatabaseBuilder::buildFromSample(sampleDataDir(), out, false); }).isEmpty());
        QVERIFY(!errorOf([&] { data::DatabaseBuilder::createEmpty(out); }).isEmpty());
        QVERIFY(!errorOf([&] { tools::buildSynthetic(out, 3, 1, 1, false); }).isEmpty());
        QCOMPARE(readFile(out), QByteArray("a user's edits"));

        tools::buildSynthetic(out, 3, 1, 1, true);
        Connection connection(out);
        data::Statement statement(connection.handle(), QStringLiteral("SELECT count(*) FROM DRUG_ZB"));
        QVERIFY(statement.step());
        QCOMPARE(statement.text(0), QStringLiteral("3"));
    }

    // --- import from the Access version ----------------------------------------

    void testImportKeepsIdsNullsAndTheCategoryOnlyACategoryNames()
    {
        QTemporaryDir dir;
        const QString out = dir.filePath(QStringLiteral("drug.mdb"));
        data::ImportedContent content;
        content.categories = {{QStringLiteral("01"), QStringLiteral("解表药")}, {QStringLiteral("02"), QString()}};
        auto drug = [](qint64 id, const QString &lb, const QString &category, const QString &remark) {
            QStringList values;
            for (const QString &column : data::drugColumns())
                values << (column == QLatin1String("LB") ? lb : column == u"附注" ? remark : QString());
            values[1] = QStringLiteral("药%1").arg(id);
            return data::ImportedContent::Drug{id, category, values};
        };
        content.drugs = {drug(40, QStringLiteral("01"), QStringLiteral("旧名"), QStringLiteral("")),
                         drug(7, QStringLiteral("99"), QStringLiteral("自定义"), QString()),
                         drug(9, QString(), QStringLiteral("无类别"), QStringLiteral("a\r\n𠀀")),
                         drug(3, QStringLiteral("02"), QStringLiteral("有名"), QString())};
        content.topics = {{QStringLiteral("01"), QStringLiteral("说明")}};
        content.texts = {{QStringLiteral("01"), QStringLiteral("一")}, {QStringLiteral("01"), QStringLiteral("二")},
                         {QStringLiteral("03"), QString()}};
        const std::vector<data::CategoryChange> changes = data::DatabaseBuilder::buildFromImport(content, out, false);
        QStringList changed;
        for (const data::CategoryChange &c : changes)
            changed << QStringLiteral("%1 %2 %3>%4").arg(c.id).arg(c.name, c.stored, c.written.isNull() ? "NULL" : c.written);
        QCOMPARE(changed, QStringList({QStringLiteral("40 药40 旧名>解表药"), QStringLiteral("3 药3 有名>NULL")}));

        const QString rows = QStringLiteral(
            "SELECT group_concat(ID || ':' || ifnull(类别, 'N') || ':' || quote(附注), ',') FROM (SELECT * FROM DRUG_ZB ORDER BY ID)");
        QCOMPARE(scalarIn(out, rows), QStringLiteral("3:N:NULL,7:自定义:NULL,9:无类别:'a\r\n𠀀',40:解表药:''"));
        QCOMPARE(scalarIn(out, QStringLiteral("SELECT group_concat(LB || '=' || ifnull(CONTENT, 'N'), ',') FROM HELP_ZB")),
                 QStringLiteral("01=一,01=二,03=N"));

        // The triggers are back: 类别 follows LB again, and new IDs go on
        // after the highest imported one.
        {
            Connection connection(out);
            connection.execute(QStringLiteral("UPDATE DRUG_ZB SET LB = '01' WHERE ID = 7"));
            connection.execute(QStringLiteral("UPDATE DRUG_ZB SET 类别 = '改' WHERE ID = 40"));
            connection.execute(QStringLiteral("INSERT INTO DRUG_ZB (药物名称, LB) VALUES ('新', '01')"));
        }
        QCOMPARE(scalarIn(out, rows), QStringLiteral("3:N:NULL,7:解表药:NULL,9:无类别:'a\r\n𠀀',40:解表药:'',41:解表药:NULL"));
    }

    // Each Access file gives exactly the rows an independent reader found in
    // it; a damaged or foreign file fails with nothing written.
    void testAccessFileImportsExactly_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("oracle");
        QTest::addColumn<QString>("error");
        QTest::newRow("jet4") << "drug_jet4.mdb" << "expected.json" << "";
        QTest::newRow("jet4 password") << "drug_jet4_pw.mdb" << "expected.json" << "";
        QTest::newRow("jet4 encoded") << "drug_jet4_encoded.mdb" << "expected.json" << "";
        QTest::newRow("jet4 moved and deleted rows") << "drug_jet4_edited.mdb" << "expected_edited.json" << "";
        QTest::newRow("jet3 gbk") << "drug_jet3_gbk.mdb" << "expected_jet3.json" << "";
        QTest::newRow("jet3 gbk password") << "drug_jet3_gbk_pw.mdb" << "expected_jet3.json" << "";
        QTest::newRow("libmdb crashes") << "corrupt_jet4_bad_usage_map.mdb" << "" << "崩溃";
        QTest::newRow("not access") << "README.md" << "" << "不是 Access 数据库";
    }

    void testAccessFileImportsExactly()
    {
        QFETCH(QString, file);
        QFETCH(QString, oracle);
        QFETCH(QString, error);
        const QDir fixtures(QStringLiteral(JET_FIXTURES_DIR));
        if (!fixtures.exists(file))
            QSKIP(qPrintable(QStringLiteral("the Access fixtures are not at %1").arg(fixtures.path())));
        QTemporaryDir dir;
        const QString out = dir.filePath(QStringLiteral("drug.mdb"));
        QProcess drugdb;
        drugdb.start(QStringLiteral(DRUGDB_PATH), {QStringLiteral("import"), fixtures.filePath(file), QStringLiteral("--out"), out});
        QVERIFY(drugdb.waitForFinished(120000));
        const QString output = QString::fromUtf8(drugdb.readAllStandardOutput());
        const QString errors = QString::fromUtf8(drugdb.readAllStandardError());
        if (!error.isEmpty()) {
            QVERIFY(drugdb.exitStatus() == QProcess::NormalExit && drugdb.exitCode() != 0);
            QVERIFY2(errors.contains(error), qPrintable(errors));
            QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList());
            return;
        }
        QVERIFY2(drugdb.exitStatus() == QProcess::NormalExit && drugdb.exitCode() == 0, qPrintable(errors));

        const QJsonObject expected = QJsonDocument::fromJson(readFile(fixtures.filePath(oracle))).object();
        QVERIFY(!expected.isEmpty());
        QMap<QString, QJsonValue> categoryName;
        for (const QJsonValue &row : expected.value(QStringLiteral("DRUG_LB")).toArray())
            categoryName.insert(row[QStringLiteral("BM")].toString(), row[QStringLiteral("MC")]);
        Connection connection(out);
        qint64 highest = 0;
        for (const QString &table : {QStringLiteral("DRUG_LB"), QStringLiteral("DRUG_ZB"), QStringLiteral("HELP_LB"),
                                     QStringLiteral("HELP_ZB")}) {
            const QJsonArray rows = expected.value(table).toArray();
            QVERIFY2(output.contains(QStringLiteral("%1: %2 rows").arg(table).arg(rows.size())), qPrintable(output));
            QStringList columns = rows.first().toObject().keys();
            data::Statement read(connection.handle(),
                                 QStringLiteral("SELECT %1 FROM %2 ORDER BY %3")
                                     .arg(columns.join(QLatin1Char(',')), table,
                                          table == QLatin1String("DRUG_ZB") ? QStringLiteral("ID") : QStringLiteral("rowid")));
            for (const QJsonValue &value : rows) {
                QJsonObject want = value.toObject();
                if (table == QLatin1String("DRUG_ZB")) {
                    highest = std::max(highest, qint64(want[QStringLiteral("ID")].toInteger()));
                    // 类别 is the category's name where LB names one.
                    const QString lb = want[QStringLiteral("LB")].toString();
                    if (categoryName.contains(lb))
                        want[QStringLiteral("类别")] = categoryName.value(lb);
                }
                QVERIFY2(read.step(), qPrintable(table + QStringLiteral(" has too few rows")));
                QJsonObject got;
                for (int c = 0; c < columns.size(); ++c) {
                    const std::optional<QString> v = read.value(c);
                    got[columns[c]] = columns[c] == QLatin1String("ID") ? QJsonValue(read.int64(c))
                        : v                                            ? QJsonValue(*v)
                                                                       : QJsonValue(QJsonValue::Null);
                }
                QCOMPARE(QString::fromUtf8(QJsonDocument(got).toJson()), QString::fromUtf8(QJsonDocument(want).toJson()));
            }
            QVERIFY2(!read.step(), qPrintable(table + QStringLiteral(" has too many rows")));
        }
        connection.execute(QStringLiteral("INSERT INTO DRUG_ZB (药物名称) VALUES ('新药')"));
        QCOMPARE(connection.lastInsertRowId(), highest + 1);
    }

    void testSyntheticDatabaseHasRequestedSize()
    {
        QTemporaryDir dir;
        const QString out = dir.filePath(QStringLiteral("drug.mdb"));
        tools::buildSynthetic(out, 250, 7, 42, false);
        Connection connection(out);
        auto scalar = [&](const QString &sql) {
            data::Statement statement(connection.handle(), sql);
            return statement.step() ? statement.text(0) : QString();
        };
        QCOMPARE(scalar(QStringLiteral("SELECT count(*) FROM DRUG_ZB")), QStringLiteral("250"));
        QCOMPARE(scalar(QStringLiteral("SELECT count(*) FROM DRUG_LB")), QStringLiteral("7"));
        QCOMPARE(scalar(QStringLiteral("SELECT count(DISTINCT LB) FROM DRUG_ZB")), QStringLiteral("7"));
        QCOMPARE(scalar(QStringLiteral("SELECT count(*) FROM DRUG_ZB WHERE 类别 IS NULL OR 药物名称 = '' OR 功能主治 = ''")),
                 QStringLiteral("0"));

        const QString bad = dir.filePath(QStringLiteral("bad.mdb"));
        QVERIFY(!errorOf([&] { tools::buildSynthetic(bad, 10, 0, 1, false); }).isEmpty());
        QVERIFY(!errorOf([&] { tools::buildSynthetic(bad, -1, 3, 1, false); }).isEmpty());
        QVERIFY(!QFileInfo::exists(bad));
    }

    // ------------------------------------------------ the search index

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

QTEST_MAIN(TestData)
#include "test_data.moc"
