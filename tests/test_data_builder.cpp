// Building new databases: from the sample JSON files, each refusal of the
// input named by file:line:column with nothing written; replacing a file
// safely; synthetic data.
#include "TestSupport.h"
#include "DataTesting.h"
#include "data/Connection.h"
#include "data/DatabaseBuilder.h"
#include "data/Statement.h"
#include "tools/SyntheticData.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QTest>

using data::Connection;

namespace {

int jsonEntries(const QString &path)
{
    return int(QJsonDocument::fromJson(readFile(path)).array().size());
}

} // namespace

class TestBuilder : public QObject
{
    Q_OBJECT

private slots:
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
        // What the JSON parser lets through, or reports at the wrong place.
        QTest::newRow("invalid escape after Chinese text") << drugs << first + "{\"LB\": \"01\", \"药物名称\": \"桂枝\\q\"}\n]"
                                                          << "drugs/01.json:3:27" << "无效的转义 \\q";
        QTest::newRow("name given twice") << drugs << first + "{\"LB\": \"01\", \"药物名称\": \"桂枝\", \"LB\": \"02\"}\n]"
                                          << "drugs/01.json:3:30" << "出现了两次（第一次在 ";
        QTest::newRow("lone surrogate") << drugs << first + "{\"LB\": \"01\", \"药物名称\": \"桂\\ud800枝\"}\n]"
                                        << "drugs/01.json:3:26" << "\\ud800 是落单的代理项";
        QTest::newRow("unterminated string") << drugs << first + "{\"LB\": \"01\", \"药物名称\": \"桂枝},\n  {\"LB\": \"01\", \"药物名称\": \"麻黄\"}\n]"
                                             << "drugs/01.json:3:24" << "字符串 \"桂枝}, 没有结束";
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
};

QTEST_MAIN(TestBuilder)
#include "test_data_builder.moc"
