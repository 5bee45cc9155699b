// Importing the Access version's database: every row, ID and NULL kept.
#include "TestSupport.h"
#include "DataTesting.h"
#include "data/Connection.h"
#include "data/DatabaseBuilder.h"
#include "data/Statement.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using data::Connection;

class TestImport : public QObject
{
    Q_OBJECT

private slots:
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
        // Progress lines on standard error, to the whole.
        QVERIFY2(errors.contains(QStringLiteral("建立搜索索引")) && errors.endsWith(QStringLiteral("[100%] 完成\n")), qPrintable(errors));

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
};

QTEST_MAIN(TestImport)
#include "test_data_import.moc"
