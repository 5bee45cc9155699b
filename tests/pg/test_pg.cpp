// The server engine's own layer: connecting, the schema and its upgrade,
// LIKE and the search index, notices of change, and what a copy may carry.
#include "PgTestDatabase.h"
#include "TestSupport.h"
#include "data/DatabaseCopy.h"
#include "data/DrugFields.h"
#include "data/DrugFile.h"
#include "data/NameSearch.h"
#include "data/postgres/PgNameKeys.h"
#include "data/postgres/PgNotifier.h"
#include "data/postgres/PgSchema.h"
#include "data/postgres/PgSearch.h"
#include "data/postgres/PgStatement.h"
#include "data/postgres/PgValues.h"

#include "lookup/CombinedQuery.h"
#include "pinyin/NameIndex.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QRandomGenerator>
#include <QtTest>
#include <sqlite3.h>
#ifdef Q_OS_UNIX
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

using data::pg::Connection;
using data::pg::PgError;

namespace {

// A new database on the test server with our tables.
struct Server {
    PgTestDatabase db;
    Connection connection;
    Server()
    {
        connection.open(db.conninfo());
        data::pg::Transaction transaction(connection);
        data::pg::Schema::create(connection);
        transaction.commit();
    }
    QString scalar(const QString &sql, std::vector<data::pg::Param> params = {})
    {
        const data::pg::Result result = connection.exec(sql, params);
        return result.rows() ? result.value(0, 0).value_or(QStringLiteral("NULL")) : QString();
    }
};

// Rows of DRUG_ZB as given (ID, then LB, 药物名称, 类别, ...; NULL for
// nullptr and past the list), with one category, topic and help text.
data::StoredRows storedRows(const std::vector<std::pair<qint64, std::vector<const char *>>> &drugs)
{
    data::StoredRows rows;
    for (const QString &name : data::StoredRows::tableNames())
        rows.tables.push_back({name, data::StoredRows::columnsOf(name), {}});
    const auto text = [](const char *v) {
        return v ? data::RawValue{data::RawValue::Text, QByteArray(v)} : data::RawValue{};
    };
    rows.tables[0].rows.push_back({4, {text("01"), text("解表药")}});
    for (const auto &[id, values] : drugs) {
        data::StoredTable::Row row{id, {}};
        for (qsizetype c = 0; c < rows.tables[1].columns.size(); ++c)
            row.values.push_back(size_t(c) < values.size() ? text(values[size_t(c)]) : data::RawValue{});
        rows.tables[1].rows.push_back(row);
        rows.drugIdHighWater = std::max(rows.drugIdHighWater, id);
    }
    rows.tables[2].rows.push_back({1, {text("01"), text("关于")}});
    rows.tables[3].rows.push_back({7, {text("01"), text("帮助\n文字")}});
    return rows;
}

// Every key and value with its type, and the highest drug ID.
QStringList describe(const data::StoredRows &rows)
{
    QStringList out{QString::number(rows.drugIdHighWater)};
    for (const data::StoredTable &table : rows.tables) {
        for (const data::StoredTable::Row &row : table.rows) {
            QString line = table.name + ' ' + QString::number(row.key);
            for (const data::RawValue &value : row.values)
                line += ' ' + QString::number(value.type) + ':' + QString::fromLatin1(value.bytes.toHex());
            out << line;
        }
    }
    return out;
}

} // namespace

class TestPg : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { REQUIRE_TEST_SERVER(); }

    void testConnectFailureCarriesReason_data()
    {
        QTest::addColumn<QString>("conninfo");
        QTest::addColumn<QString>("reason");
        QTest::newRow("no server") << "host=/nonexistent-zelkano port=5432" << "No such file or directory";
        QTest::newRow("no database") << PgTestDatabase::serverConninfo() + " dbname=zelkano_none"
                                     << "database \"zelkano_none\" does not exist";
        QTest::newRow("silent server") << "host=127.0.0.1 port=%1" << "timeout expired";
    }
    void testConnectFailureCarriesReason()
    {
        QFETCH(QString, conninfo);
        QFETCH(QString, reason);
#ifdef Q_OS_UNIX
        // A socket that takes the connection and never answers it.
        const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        QVERIFY(::bind(listener, reinterpret_cast<sockaddr *>(&address), length) == 0 && ::listen(listener, 4) == 0);
        ::getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length);
        if (conninfo.contains(QLatin1String("%1")))
            conninfo = conninfo.arg(ntohs(address.sin_port));
        const auto closeListener = qScopeGuard([&] { ::close(listener); });
#endif
        QElapsedTimer timer;
        timer.start();
        Connection connection;
        try {
            connection.open(conninfo);
            QFAIL("connected");
        } catch (const PgError &e) {
            QVERIFY2(e.message().contains(reason), qPrintable(e.message()));
        }
        QVERIFY(!connection.isOpen());
        QVERIFY2(timer.elapsed() < (Connection::ConnectTimeoutSeconds + 2) * 1000, qPrintable(QString::number(timer.elapsed())));
    }

    // Only a role that owns the tables upgrades them; a later layout is
    // used as it is; missing tables fail with the server's words.
    void testPrepareUpgradesOnlyForOwner()
    {
        Server server;
        QCOMPARE(data::pg::Schema::prepare(server.connection), data::pg::Schema::Version);
        // Layout 1: no name keys; the upgrade makes those of the drugs there.
        server.connection.execScript("DROP TABLE ZELKANO_SCHEMA; DROP FUNCTION zelkano_keys CASCADE; "
                                     "DROP TABLE DRUG_NAME_KEY, DRUG_NAME_KEY_SOURCE, DRUG_ZB_DIRTY; "
                                     "DROP FUNCTION zelkano_name_keys_dirty CASCADE; "
                                     "INSERT INTO DRUG_ZB (药物名称) VALUES ('麻黄')");
        const QString reader = QStringLiteral("zt_reader_%1").arg(QCoreApplication::applicationPid());
        server.connection.execScript(QStringLiteral("DROP ROLE IF EXISTS %1; CREATE ROLE %1 LOGIN; "
                                                    "GRANT SELECT ON ALL TABLES IN SCHEMA public TO %1").arg(reader));
        const auto dropReader = qScopeGuard([&] {
            server.connection.execScript(QStringLiteral("DROP OWNED BY %1; DROP ROLE %1").arg(reader));
        });
        {
            Connection readOnly;
            readOnly.open(server.db.conninfo() + " user=" + reader);
            QCOMPARE(data::pg::Schema::prepare(readOnly), 0);
        }
        QCOMPARE(server.scalar("SELECT to_regproc('zelkano_keys') IS NULL"), QStringLiteral("t"));
        QCOMPARE(data::pg::Schema::prepare(server.connection), data::pg::Schema::Version);
        QCOMPARE(server.scalar("SELECT count(*) FROM pg_indexes WHERE indexname LIKE 'drug_zb_keys_%'"),
                 QStringLiteral("13"));
        QCOMPARE(server.scalar("SELECT string_agg(K, ',' ORDER BY K) FROM DRUG_NAME_KEY WHERE KIND IN (0, 1)"),
                 QStringLiteral("mahuang,mh"));
        QCOMPARE(server.scalar("SELECT has_table_privilege($1, 'drug_name_key', 'SELECT')", {reader.toUtf8()}),
                 QStringLiteral("t"));
        server.connection.execScript("UPDATE ZELKANO_SCHEMA SET VERSION = 99");
        QCOMPARE(data::pg::Schema::prepare(server.connection), 99);

        PgTestDatabase bare;
        Connection connection;
        connection.open(bare.conninfo());
        try {
            data::pg::Schema::prepare(connection);
            QFAIL("prepared a database without tables");
        } catch (const PgError &e) {
            QCOMPARE(e.message(), QStringLiteral("relation \"drug_lb\" does not exist"));
        }
    }

    // 类别 follows LB exactly as the file's triggers make it.
    void testCategoryFollowsLb_data()
    {
        QTest::addColumn<QStringList>("statements");
        QTest::newRow("added") << QStringList{};
        QTest::newRow("code in other case") << QStringList{"INSERT INTO DRUG_LB (BM, MC) VALUES ('a1', '甲')",
                                                           "UPDATE DRUG_ZB SET LB = 'A1'"};
        QTest::newRow("renamed") << QStringList{"UPDATE DRUG_LB SET MC = '新名' WHERE BM = '01'"};
        QTest::newRow("code changed") << QStringList{"UPDATE DRUG_LB SET BM = '09'"};
        QTest::newRow("deleted") << QStringList{"DELETE FROM DRUG_LB"};
        QTest::newRow("written directly") << QStringList{"UPDATE DRUG_ZB SET 类别 = '乱写'"};
        QTest::newRow("category after drug") << QStringList{"UPDATE DRUG_ZB SET LB = '05'",
                                                            "INSERT INTO DRUG_LB (BM, MC) VALUES ('05', '后来')"};
    }
    void testCategoryFollowsLb()
    {
        QFETCH(QStringList, statements);
        statements.prepend("INSERT INTO DRUG_ZB (LB, 药物名称) VALUES ('01', '麻黄')");
        statements.prepend("INSERT INTO DRUG_LB (BM, MC) VALUES ('01', '解表药')");
        Server server;
        TestDatabase file;
        for (const QString &sql : statements) {
            server.connection.execScript(sql);
            file.exec(sql);
        }
        const QString read = "SELECT coalesce(类别, 'NULL') FROM DRUG_ZB";
        QCOMPARE(server.scalar(read), file.scalar(read));
    }

    // The server's LIKE through likeTest() answers as the file's engine does.
    void testLikeAsTheFileMeansIt_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("pattern");
        QTest::newRow("Latin case") << "Ephedra" << "%eDRA";
        QTest::newRow("Latin under a wildcard") << "麻A黄" << "麻_黄";
        QTest::newRow("accented letter") << "É" << "é";
        QTest::newRow("full-width letter") << "Ａ" << "ａ";
        QTest::newRow("Greek letter") << "Σ" << "σ";
        QTest::newRow("backslash is no escape") << "a\\b" << "a\\b";
        QTest::newRow("backslash before %") << "a%" << "a\\%";
        QTest::newRow("_ is one Chinese character") << "麻黄" << "_黄";
        QTest::newRow("_ is not two") << "麻黄" << "_";
        QTest::newRow("_ is one character past U+FFFF") << "😀x" << "_x";
        QTest::newRow("% alone on empty text") << "" << "%";
        QTest::newRow("_ matches a line break") << "a\nb" << "a_b";
        QTest::newRow("U+FFFE reads as U+FFFD") << QString(QChar(0xFFFE)) << QString(QChar(0xFFFD));
        QTest::newRow("pieces in order") << "清热解毒" << "%热%毒";
        QTest::newRow("pieces out of order") << "清热解毒" << "%毒%热%";
    }
    void testLikeAsTheFileMeansIt()
    {
        QFETCH(QString, value);
        QFETCH(QString, pattern);
        static Server server;
        static TestDatabase file;
        const QString onServer = server.scalar("SELECT CASE WHEN " + data::pg::likeTest("$1::text", "$2::text", pattern) +
                                                   " THEN 1 ELSE 0 END",
                                               {value.toUtf8(), pattern.toUtf8()});
        QCOMPARE(onServer, file.scalar("SELECT ?1 LIKE ?2", {value, pattern}));
    }

    // Through the index, a search finds exactly what a test of every row finds.
    void testIndexNarrowsWithoutHiding()
    {
        Server server;
        QRandomGenerator random(19);
        const QString pool = QStringLiteral("清热解毒麻黄桂枝AaBb%_ \n😀");
        const auto text = [&](int length) {
            QString out;
            for (int i = 0; i < length; ++i)
                out += pool.mid(int(random.bounded(pool.size())), 1);
            return QString::fromUtf8(out.toUtf8()); // a half surrogate pair reads as it is sent
        };
        for (int i = 0; i < 150; ++i)
            server.connection.exec("INSERT INTO DRUG_ZB (别名) VALUES ($1)",
                                   {i % 10 ? data::pg::Param(text(int(random.bounded(12))).toUtf8()) : std::nullopt});
        server.connection.execScript("SET enable_seqscan = off");
        const QString count = "SELECT count(*) FROM DRUG_ZB WHERE ";
        for (int i = 0; i < 300; ++i) {
            const QString typed = text(1 + int(random.bounded(3)));
            const QString like = data::pg::likeTest("别名", "$1", typed);
            const QByteArray pattern = ('%' + typed + '%').toUtf8();
            const QByteArray keys = data::pg::arrayLiteral(data::pg::requiredKeys(typed));
            QCOMPARE(server.scalar(count + data::pg::holdsKeysTest("别名", "$2") + " AND " + like, {pattern, keys}),
                     server.scalar(count + like, {pattern}));
        }
    }

    void testChangesAreAnnounced()
    {
        Server server;
        Connection listener;
        listener.open(server.db.conninfo());
        listener.execScript("LISTEN zelkano");
        const QStringList changes{"INSERT INTO DRUG_ZB (ID, 药物名称) VALUES (7, 'a'), (8, 'b')",
                                  "UPDATE DRUG_ZB SET ID = 9 WHERE ID = 8", "DELETE FROM DRUG_ZB WHERE ID = 7",
                                  "INSERT INTO DRUG_ZB (药物名称) SELECT 'n' FROM generate_series(1, 201)",
                                  "INSERT INTO DRUG_LB (BM) VALUES ('01')", "INSERT INTO HELP_LB (BM) VALUES ('01')",
                                  "INSERT INTO HELP_ZB (LB) VALUES ('01')", "TRUNCATE DRUG_ZB"};
        for (const QString &sql : changes)
            server.connection.execScript(sql);
        QStringList heard;
        QElapsedTimer timer;
        timer.start();
        while (heard.size() < changes.size() && timer.elapsed() < 2000) {
            for (const auto &n : listener.takeNotifications())
                heard << n.channel + ": " + n.payload;
            QTest::qWait(10);
        }
        QCOMPARE(heard, QStringList({"zelkano: drug_zb 7,8", "zelkano: drug_zb 8,9", "zelkano: drug_zb 7",
                                     "zelkano: drug_zb", "zelkano: drug_lb", "zelkano: help_lb",
                                     "zelkano: help_zb", "zelkano: drug_zb"}));
    }

    // The file's parameter forms become the server's $n; quotes and casts stay.
    void testParametersBecomeNumbered_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QString>("server");
        QTest::addColumn<QStringList>("names");
        QTest::newRow("names") << "select * from DRUG_ZB where 药物名称=:name and LB=:lb or 别名=:name"
                               << "select * from DRUG_ZB where 药物名称=$1 and LB=$2 or 别名=$1" << QStringList{"name", "lb"};
        QTest::newRow("numbers") << "x like ?2 and y like ?1" << "x like $1 and y like $2" << QStringList{"2", "1"};
        QTest::newRow("question marks") << "values (?, ?)" << "values ($1, $2)" << QStringList{"1", "2"};
        QTest::newRow("quotes and casts") << R"(select ':a', "b:c", ?::text[] where ''':z''')"
                                          << R"(select ':a', "b:c", $1::text[] where ''':z''')" << QStringList{"1"};
    }
    void testParametersBecomeNumbered()
    {
        QFETCH(QString, sql);
        QFETCH(QString, server);
        QFETCH(QStringList, names);
        QStringList found;
        QCOMPARE(data::pg::PgStatement::serverText(sql, found), server);
        QCOMPARE(found, names);
    }

    // A burst of changes is one report within a second; a lost listener
    // comes back and reports everything, since it may have missed notices.
    void testNotifierGathersAndRecovers()
    {
        Server server;
        data::pg::PgNotifier notifier;
        QList<data::DatabaseChanges> heard;
        connect(&notifier, &data::pg::PgNotifier::changed, this, [&](const data::DatabaseChanges &c) { heard << c; });
        notifier.start(server.db.conninfo());
        QVERIFY(notifier.listening());
        QElapsedTimer timer;
        timer.start();
        server.connection.execScript("INSERT INTO DRUG_ZB (ID) VALUES (5); INSERT INTO DRUG_LB (BM) VALUES ('01')");
        QTRY_COMPARE_WITH_TIMEOUT(heard.size(), 1, 1000);
        QCOMPARE(heard[0].drugs, QSet<qint64>{5});
        QVERIFY(heard[0].categories && !heard[0].everyDrug && !heard[0].helpTopics);
        QTest::qWait(2 * data::pg::PgNotifier::GatherMs);
        QCOMPARE(heard.size(), 1);
        server.connection.execScript("SELECT pg_terminate_backend(pid) FROM pg_stat_activity "
                                     "WHERE datname = current_database() AND pid <> pg_backend_pid()");
        QTRY_COMPARE_WITH_TIMEOUT(heard.size(), 2, data::pg::PgNotifier::RetryMs + 2000);
        QVERIFY(heard[1].everyDrug && heard[1].categories && heard[1].helpTopics && heard[1].helpTexts);
        QVERIFY(notifier.listening());
    }

    // What a file may hold and the server may not fails the copy by name;
    // everything else goes to the server and back byte for byte.
    void testServerValues_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("fits");
        QTest::newRow("Chinese") << SQLITE_TEXT << QByteArray("麻黄 Ephedra") << true;
        QTest::newRow("empty text") << SQLITE_TEXT << QByteArray("") << true;
        QTest::newRow("NULL") << SQLITE_NULL << QByteArray() << true;
        QTest::newRow("U+FFFE") << SQLITE_TEXT << QByteArray("\xef\xbf\xbe") << true;
        QTest::newRow("past U+FFFF") << SQLITE_TEXT << QByteArray("\xf0\x9f\x98\x80") << true;
        QTest::newRow("NUL") << SQLITE_TEXT << QByteArray("a\0b", 3) << false;
        QTest::newRow("bad byte") << SQLITE_TEXT << QByteArray("\xff") << false;
        QTest::newRow("overlong") << SQLITE_TEXT << QByteArray("\xc0\xaf") << false;
        QTest::newRow("surrogate") << SQLITE_TEXT << QByteArray("\xed\xa0\x80") << false;
        QTest::newRow("past U+10FFFF") << SQLITE_TEXT << QByteArray("\xf4\x90\x80\x80") << false;
        QTest::newRow("cut short") << SQLITE_TEXT << QByteArray("\xe9\xba") << false;
        QTest::newRow("BLOB") << SQLITE_BLOB << QByteArray("abc") << false;
    }
    void testServerValues()
    {
        QFETCH(int, type);
        QFETCH(QByteArray, bytes);
        QFETCH(bool, fits);
        static Server server;
        const data::RawValue value{type, bytes};
        try {
            data::pg::requireFitForServer(value, "DRUG_ZB", 42, "别名");
            QVERIFY(fits);
        } catch (const data::DbError &e) {
            QVERIFY2(!fits, qPrintable(e.message()));
            QVERIFY2(e.message().contains("DRUG_ZB") && e.message().contains("42") && e.message().contains("别名"),
                     qPrintable(e.message()));
        }
        if (type == SQLITE_BLOB)
            return;
        // The rule is the server's own: what fits comes back unchanged, and
        // the server refuses what does not.
        const data::pg::Param sent = type == SQLITE_NULL ? data::pg::Param() : data::pg::Param(bytes);
        try {
            const data::pg::Result back = server.connection.exec("SELECT $1::text", {sent});
            QVERIFY(fits);
            QCOMPARE(back.isNull(0, 0), type == SQLITE_NULL);
            QCOMPARE(back.bytes(0, 0), bytes);
        } catch (const data::DbError &e) {
            QVERIFY2(!fits, qPrintable(e.message()));
        }
    }
    // A copy changes nothing, file to server and back: keys with gaps, the
    // highest ID ever given, NULL apart from empty text, and text that only
    // looks like COPY's escapes. The server then numbers after the highest.
    void testCopyIsExactBothWays()
    {
        data::StoredRows rows = storedRows({{3, {"01", "麻黄", "乱写的类别", "Ephedra\tHerba", nullptr, "", "a\\Nb\\.",
                                                 "\r\n两行\n", "\xef\xbb\xbf开头", "😀\xef\xbf\xbe", nullptr, "", "\\", "末"}},
                                            {9, {"zz", "无类", nullptr}}});
        rows.drugIdHighWater = 12;
        QTemporaryDir dir;
        const QString file = dir.filePath("a.mdb"), back = dir.filePath("b.mdb");
        data::writeDatabase(file, rows, false);
        PgTestDatabase server;
        data::writeDatabase(server.conninfo(), data::readDatabase(file), false);
        data::writeDatabase(back, data::readDatabase(server.conninfo()), false);
        for (const QString &name : {file, server.conninfo(), back})
            QCOMPARE(describe(data::readDatabase(name)), describe(rows));
        Connection connection;
        connection.open(server.conninfo());
        QCOMPARE(connection.exec("INSERT INTO DRUG_ZB (药物名称) VALUES ('新') RETURNING ID").int64(0, 0), 13);
    }

    // A value the server cannot hold as it is fails the whole copy by table,
    // ID and column; a target holding drugs is replaced only when forced.
    void testCopyRefusals_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("refusal");
        QTest::newRow("BLOB") << int(data::RawValue::Blob) << QByteArray("x") << "DRUG_ZB 中 ID 为 9 的行，列 附注";
        QTest::newRow("bad UTF-8") << int(data::RawValue::Text) << QByteArray("\xff") << "DRUG_ZB 中 ID 为 9 的行，列 附注";
        QTest::newRow("NUL") << int(data::RawValue::Text) << QByteArray("a\0b", 3) << "DRUG_ZB 中 ID 为 9 的行，列 附注";
        QTest::newRow("drugs there") << int(data::RawValue::Text) << QByteArray("ok") << "目标数据库中已有药物";
    }
    void testCopyRefusals()
    {
        QFETCH(int, type);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, refusal);
        PgTestDatabase server;
        const data::StoredRows before = storedRows({{1, {"01", "旧"}}});
        data::writeDatabase(server.conninfo(), before, false);
        data::StoredRows rows = storedRows({{9, {"02", "新"}}});
        rows.tables[1].rows[0].values.back() = data::RawValue{type, bytes};
        try {
            data::writeDatabase(server.conninfo(), rows, false);
            QFAIL("copied");
        } catch (const data::DbError &e) {
            QVERIFY2(e.message().contains(refusal), qPrintable(e.message()));
        }
        QCOMPARE(describe(data::readDatabase(server.conninfo())), describe(before));
        if (type == data::RawValue::Text && data::pg::isServerText(bytes)) {
            data::writeDatabase(server.conninfo(), rows, true);
            QCOMPARE(describe(data::readDatabase(server.conninfo())), describe(rows));
        }
    }

    // Every search gives the same rows in the same order on both engines:
    // 1,000 combined searches of one to three characters drawn from the
    // data, with % and _, Latin letters in either case, NULL fields, and
    // the name search.
    void testSearchesAgreeOnBothEngines()
    {
        TestDatabase file(sampleDataDir());
        for (const QMap<QString, QString> &drug : {QMap<QString, QString>{{"药物名称", "Ma Huang"}, {"英文名称", "EPHEDRA sinica"}},
                                                   QMap<QString, QString>{{"药物名称", "ma huang"}, {"LB", "02"}},
                                                   QMap<QString, QString>{}})
            file.addDrug(drug);
        PgTestDatabase server;
        const data::StoredRows rows = data::readDatabase(file.path());
        data::writeDatabase(server.conninfo(), rows, false);
        data::Connection onFile(file.path()), onServer;
        data::useDrugFile(onFile);
        onServer.setServer(server.conninfo());
        const auto found = [](data::Connection &c, const QStringList &texts, const QString &name) {
            CombinedQuery query(texts);
            data::Query &s = c.query(name.isNull() ? query.sql(c) : c.sql(data::Sql::DrugIdByName));
            for (int i = 1; i <= s.parameterCount(); ++i) {
                for (const auto &[key, value] : query.parameters())
                    if (key == s.parameterName(i))
                        s.bind(i, value);
                if (s.parameterName(i) == "name")
                    s.bind(i, name);
            }
            QStringList ids;
            while (s.step())
                ids << s.text(0);
            s.reset();
            return ids;
        };
        QRandomGenerator random(1000);
        const data::StoredTable &drugs = rows.tables[1];
        for (int n = 0; n < 1000; ++n) {
            QStringList texts(data::SearchBoxCount);
            QString name;
            for (int boxes = 1 + int(random.bounded(2)); boxes > 0; --boxes) {
                const int box = 1 + int(random.bounded(data::SearchBoxCount));
                const QString column = data::boxColumns(box).value(int(random.bounded(data::boxColumns(box).size())));
                const auto &row = drugs.rows[size_t(random.bounded(int(drugs.rows.size())))];
                const QString value = QString::fromUtf8(row.values[size_t(drugs.columns.indexOf(column))].bytes);
                QString piece = value.mid(int(random.bounded(qMax(1, int(value.size())))), 1 + int(random.bounded(3)));
                switch (random.bounded(6)) {
                case 0: piece = piece.toUpper(); break;
                case 1: piece.insert(int(random.bounded(piece.size() + 1)), u'%'); break;
                case 2: if (!piece.isEmpty()) piece[int(random.bounded(piece.size()))] = u'_'; break;
                case 3: name = n % 2 ? value : value.toUpper(); break;
                default: break;
                }
                texts[box - 1] = piece;
            }
            QCOMPARE(found(onServer, texts, name), found(onFile, texts, name));
        }
        // Latin letters in the name boxes: the start of a drug's pinyin or
        // initials, or of its other names', some changed, in either case.
        const auto boxOf = [](const char *column) {
            for (int box = 1; box <= data::SearchBoxCount; ++box)
                if (data::boxColumns(box) == QStringList{column})
                    return box;
            return 0;
        };
        const int boxes[] = {boxOf("药物名称"), boxOf("别名")};
        QStringList texts(data::SearchBoxCount);
        texts[boxes[0] - 1] = "mahuang";
        QVERIFY(!found(onServer, texts, {}).isEmpty());
        int nonEmpty = 0;
        for (int n = 0; n < 300; ++n) {
            const auto &row = drugs.rows[size_t(random.bounded(int(drugs.rows.size())))];
            const auto value = [&](const char *column) {
                return QString::fromUtf8(row.values[size_t(drugs.columns.indexOf(column))].bytes);
            };
            const bool other = n % 2;
            QStringList keys;
            for (const pinyin::KeyRow &k : pinyin::keyRows(row.key, value("药物名称"), value("别名")))
                if ((k.kind == pinyin::KeyKind::OtherPinyin || k.kind == pinyin::KeyKind::OtherInitials) == other
                    && k.kind != pinyin::KeyKind::OtherName)
                    keys << k.key;
            if (keys.isEmpty())
                continue;
            QString text = keys[int(random.bounded(keys.size()))];
            text.truncate(1 + int(random.bounded(text.size())));
            if (random.bounded(4) == 0)
                text[int(random.bounded(text.size()))] = QChar(u'a' + random.bounded(26));
            if (random.bounded(3) == 0)
                text = text.toUpper();
            texts = QStringList(data::SearchBoxCount);
            texts[boxes[other] - 1] = text;
            const QStringList ids = found(onServer, texts, {});
            QCOMPARE(ids, found(onFile, texts, {}));
            nonEmpty += !ids.isEmpty();
        }
        QVERIFY2(nonEmpty > 100, qPrintable(QString::number(nonEmpty)));
    }

    // The name box's list on a server: drugs by the start of their names,
    // Latin letters in either case, and by their pinyin. A drug another
    // client writes is found by its new pinyin at the next look-up, with
    // the keys a copy would make; a role that only reads finds it by its
    // name alone meanwhile.
    void testNameListFollowsWritesOfOtherClients()
    {
        TestDatabase file(sampleDataDir());
        file.addDrug({{"药物名称", "Ginseng Radix"}});
        PgTestDatabase server;
        data::writeDatabase(server.conninfo(), data::readDatabase(file.path()), false);
        data::Connection connection;
        connection.setServer(server.conninfo());
        const auto names = [&](const QString &typed) {
            QStringList found;
            for (const pinyin::NameMatch &m : data::findDrugNames(connection, typed))
                found << m.name;
            return found;
        };
        const QStringList ma = names("麻");
        QVERIFY2(ma.contains("麻黄") && ma.contains("麻黄根") && !ma.contains("桂枝"), qPrintable(ma.join(',')));
        QCOMPARE(names("gINS"), QStringList{"Ginseng Radix"});
        QCOMPARE(names("mahuang").value(0), QStringLiteral("麻黄"));

        Connection other;
        other.open(server.conninfo());
        const QString reader = QStringLiteral("zt_names_%1").arg(QCoreApplication::applicationPid());
        other.execScript(QStringLiteral("DROP ROLE IF EXISTS %1; CREATE ROLE %1 LOGIN; "
                                        "GRANT SELECT ON ALL TABLES IN SCHEMA public TO %1").arg(reader));
        const auto dropReader = qScopeGuard([&] { other.execScript(QStringLiteral("DROP OWNED BY %1; DROP ROLE %1").arg(reader)); });
        data::Connection readOnly;
        readOnly.setServer(server.conninfo() + " user=" + reader);
        QVERIFY(data::nameKeysUsable(readOnly));
        other.exec("UPDATE DRUG_ZB SET 药物名称 = $1 WHERE 药物名称 = $2", {QByteArray("草麻黄"), QByteArray("麻黄")});
        other.exec("INSERT INTO DRUG_ZB (药物名称, 别名) VALUES ($1, $2)", {QByteArray("新药"), QByteArray("龙须草")});
        const auto namesOf = [](data::Connection &c, const QString &typed) {
            QStringList found;
            for (const pinyin::NameMatch &m : data::findDrugNames(c, typed))
                found << m.name;
            return found;
        };
        QCOMPARE(namesOf(readOnly, "caomahuang"), QStringList());
        QVERIFY(!namesOf(readOnly, "mahuang").contains("草麻黄"));
        QCOMPARE(namesOf(readOnly, "草麻"), QStringList{"草麻黄"});

        QCOMPARE(names("caomahuang"), QStringList{"草麻黄"});
        // Now by its other name 麻黄草 alone.
        const auto byOld = data::findDrugNames(connection, QStringLiteral("mahuang"));
        const auto renamed = std::find_if(byOld.begin(), byOld.end(), [](const auto &m) { return m.name == "草麻黄"; });
        QVERIFY(renamed != byOld.end());
        QCOMPARE(renamed->otherName, QStringLiteral("麻黄草"));
        QVERIFY(names("longxucao").contains("新药"));
        QCOMPARE(namesOf(readOnly, "caomahuang"), QStringList{"草麻黄"});
        other.exec("DELETE FROM DRUG_ZB WHERE 药物名称 = $1", {QByteArray("草麻黄")});
        QCOMPARE(names("caomahuang"), QStringList());

        // Keys another build made from other readings are made anew by the owner at connect.
        other.exec("UPDATE DRUG_NAME_KEY_SOURCE SET SOURCE = 'other readings'");
        data::Connection fresh;
        fresh.setServer(server.conninfo());
        QVERIFY(data::nameKeysUsable(fresh));
        QCOMPARE(other.exec("SELECT SOURCE FROM DRUG_NAME_KEY_SOURCE").text(0, 0), pinyin::keySource());

        const QString keys = "SELECT string_agg(concat_ws(' ', KIND, K, ID, LEN, OTHER), ',' ORDER BY KIND, K, ID) "
                             "FROM DRUG_NAME_KEY";
        const QString folded = other.exec(keys).text(0, 0);
        QCOMPARE(other.exec("SELECT count(*) FROM DRUG_ZB_DIRTY").text(0, 0), QStringLiteral("0"));
        data::pg::Transaction transaction(other);
        data::pg::namekeys::rebuild(other);
        QCOMPARE(other.exec(keys).text(0, 0), folded);
    }

};

QTEST_MAIN(TestPg)
#include "test_pg.moc"
