// Finding a drug by pinyin, initials, traditional characters and other names.
#include "DataTesting.h"
#include "GuiFixture.h"
#include "core/Error.h"
#include "data/Connection.h"
#include "data/DatabaseCopy.h"
#include "data/DrugFile.h"
#include "data/NameSearch.h"
#include "data/SearchIndex.h"
#include "data/sqlite/NameKeyWriter.h"
#include "pinyin/MemoryNameIndex.h"
#include "pinyin/NameFinder.h"
#include "pinyin/NameKeys.h"
#include "pinyin/Simplified.h"
#include "pinyin/TypedName.h"
#include "pinyin/Unihan.h"
#include "widgets/LabeledEdit.h"
#include "widgets/Memo.h"
#include "widgets/NameCompleter.h"
#include "widgets/TreeView.h"
#include "pg/PgTestDatabase.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QApplication>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPushButton>
#include <QTest>

#include <memory>

using namespace pinyin;

namespace {

const ReviewedReadings &reviewed()
{
    return ReviewedReadings::builtIn();
}

// The sample's drugs in the order the builder numbers them.
std::vector<MemoryNameIndex::Drug> sampleDrugs()
{
    std::vector<MemoryNameIndex::Drug> drugs;
    const QDir dir(QStringLiteral(ZELKANO_SOURCE_DIR "/sampledata/drugs"));
    for (const QString &name : dir.entryList({QStringLiteral("*.json")}, QDir::Files, QDir::Name)) {
        QFile file(dir.filePath(name));
        if (!file.open(QIODevice::ReadOnly))
            qFatal("cannot read %s", qPrintable(file.fileName()));
        for (const QJsonValue &v : QJsonDocument::fromJson(file.readAll()).array()) {
            const QJsonObject o = v.toObject();
            drugs.push_back({qint64(drugs.size() + 1), o.value(QStringLiteral("药物名称")).toString(),
                             o.value(QStringLiteral("别名")).toString()});
        }
    }
    return drugs;
}

MemoryNameIndex &sampleIndex()
{
    static MemoryNameIndex index(sampleDrugs(), reviewed());
    return index;
}

// The sample database, made once; tests that write make their own.
const QString &sampleDatabase()
{
    static TestDatabase db(sampleDataDir());
    return db.path();
}

data::Connection &sampleConnection()
{
    static data::Connection connection(sampleDatabase());
    static const bool opening = (data::useDrugFile(connection), true);
    Q_UNUSED(opening);
    return connection;
}

// The sample on the private test server, copied from the file once.
data::Connection *sampleServer()
{
    if (PgTestDatabase::serverConninfo().isEmpty())
        return nullptr;
    static PgTestDatabase server;
    static data::Connection connection;
    if (connection.server().isEmpty()) {
        data::writeDatabase(server.conninfo(), data::readDatabase(sampleDatabase()), false);
        connection.setServer(server.conninfo());
    }
    return &connection;
}

QStringList found(data::Connection &connection, const QString &typed)
{
    QStringList names;
    for (const NameMatch &m : data::findDrugNames(connection, typed))
        names << m.name;
    return names;
}

QStringList shown(const std::vector<NameMatch> &matches)
{
    QStringList out;
    for (const NameMatch &m : matches)
        out << m.display();
    return out;
}

} // namespace

class TestPinyin : public QObject
{
    Q_OBJECT

private slots:
    void testFindNames_data();
    void testFindNames();
    void testNameKeys_data();
    void testNameKeys();
    void testTypedName_data();
    void testTypedName();
    void testReviewedSyllablesAreUnihanReadings();
    void testBadReadingsAreRefused_data();
    void testBadReadingsAreRefused();
    void testKeysFollowWritesOfAnyProgramAsARebuildWouldMakeThem();
    void testKeysFromOtherReadingsAreNotUsedAndMadeAnew();
    void testCombinedSearchFindsSimplifiedAndPinyin_data();
    void testCombinedSearchFindsSimplifiedAndPinyin();
    void testSearchButton_data();
    void testSearchButton();
    void testDropDownChoosesWithKeysAndClick();
};

void TestPinyin::testFindNames_data()
{
    QTest::addColumn<QString>("typed");
    // The first rows as shown, in order; none at all when empty.
    QTest::addColumn<QStringList>("first");

    QTest::addColumn<QString>("where");

    // Each typed text on the sample in memory, in its database file and on a server.
    const auto row = [](const char *tag, const QString &typed, const QStringList &first) {
        for (const char *where : {"memory", "database", "server"})
            QTest::addRow("%s: %s", where, tag) << typed << first << QString::fromLatin1(where);
    };
    row("exact name before longer names", QStringLiteral("麻黄"), {QStringLiteral("麻黄　ma huang"), QStringLiteral("麻黄根　ma huang gen")});
    row("full pinyin", QStringLiteral("mahuang"), {QStringLiteral("麻黄　ma huang"), QStringLiteral("麻黄根　ma huang gen")});
    row("pinyin with spaces and capitals", QStringLiteral("Ma Huang"), {QStringLiteral("麻黄　ma huang")});
    row("pinyin in capitals", QStringLiteral("MAHUANG"), {QStringLiteral("麻黄　ma huang")});
    row("pinyin with tone marks", QStringLiteral("má huáng"), {QStringLiteral("麻黄　ma huang")});
    row("pinyin with tone digits", QStringLiteral("ma2huang2"), {QStringLiteral("麻黄　ma huang")});
    row("full-width letters", QStringLiteral("ｍａｈｕａｎｇ"), {QStringLiteral("麻黄　ma huang")});
    row("a pinyin prefix", QStringLiteral("mahu"), {QStringLiteral("麻黄　ma huang")});
    row("initials", QStringLiteral("mh"), {QStringLiteral("麻黄　ma huang")});
    row("initials of a longer name", QStringLiteral("mhg"), {QStringLiteral("麻黄根　ma huang gen")});
    row("traditional characters", QStringLiteral("麻黃"), {QStringLiteral("麻黄　ma huang")});
    row("traditional characters of 当归", QStringLiteral("當歸"), {QStringLiteral("当归　dang gui")});
    row("an other name", QStringLiteral("黄耆"), {QStringLiteral("黄芪（黄耆）　huang qi")});
    row("an other name lost by conversion", QStringLiteral("於术"), {QStringLiteral("白术（於术）　bai zhu")});
    row("zhu of 白术", QStringLiteral("baizhu"), {QStringLiteral("白术　bai zhu")});
    row("an everyday reading comes last", QStringLiteral("baishu"),
        {QStringLiteral("寒水石（白水石）　han shui shi"), QStringLiteral("白术　bai zhu")});
    row("zhu of 苍术", QStringLiteral("cangzhu"), {QStringLiteral("苍术　cang zhu")});
    row("zhu of 莪术", QStringLiteral("ezhu"), {QStringLiteral("莪术　e zhu")});
    row("qiao of 枳壳", QStringLiteral("zhiqiao"), {QStringLiteral("枳壳　zhi qiao")});
    row("po of 厚朴", QStringLiteral("houpo"), {QStringLiteral("厚朴　hou po")});
    row("ge of 蛤蚧", QStringLiteral("gejie"), {QStringLiteral("蛤蚧　ge jie")});
    row("bo of 薄荷", QStringLiteral("bohe"), {QStringLiteral("薄荷　bo he")});
    row("yuan of 芫花", QStringLiteral("yuanhua"), {QStringLiteral("芫花　yuan hua")});
    row("mo of 没药", QStringLiteral("moyao"), {QStringLiteral("没药　mo yao")});
    row("jiao of 秦艽", QStringLiteral("qinjiao"), {QStringLiteral("秦艽　qin jiao")});
    row("qian of 茜草", QStringLiteral("qiancao"), {QStringLiteral("茜草　qian cao")});
    row("she of 射干", QStringLiteral("shegan"), {QStringLiteral("射干　she gan")});
    row("ye of 射干, shown as typed", QStringLiteral("yegan"), {QStringLiteral("射干　ye gan")});
    row("a name before an other name", QStringLiteral("yuzhu"),
        {QStringLiteral("玉竹　yu zhu"), QStringLiteral("白术（于术）　bai zhu")});
    row("an other name by its pinyin", QStringLiteral("longsha"), {QStringLiteral("麻黄（龙沙）　ma huang")});
    row("an everyday reading, shown with the right one", QStringLiteral("yingsuke"), {QStringLiteral("罂粟壳　ying su qiao")});
    row("its initials", QStringLiteral("ysk"), {QStringLiteral("罂粟壳　ying su qiao")});
    row("nothing", QStringLiteral("xqzv"), {});
    row("blanks", QStringLiteral("   "), {});
}

void TestPinyin::testFindNames()
{
    QFETCH(QString, typed);
    QFETCH(QStringList, first);
    QFETCH(QString, where);
    data::Connection *server = where == QLatin1String("server") ? sampleServer() : nullptr;
    if (where == QLatin1String("server") && !server)
        QSKIP("ZELKANO_TEST_SERVER is not set: run through ctest, which starts the private server");
    const QStringList rows = shown(server ? data::findDrugNames(*server, typed)
                                   : where == QLatin1String("database") ? data::findDrugNames(sampleConnection(), typed)
                                                                        : findNames(sampleIndex(), typed, MaxMatches, reviewed()));
    QCOMPARE(first.isEmpty() ? rows : rows.mid(0, first.size()), first);
    QVERIFY(rows.size() <= MaxMatches);
}

void TestPinyin::testNameKeys_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("full");
    QTest::addColumn<QStringList>("initials");

    QTest::newRow("reviewed, one reading") << QStringLiteral("白术") << QStringList{QStringLiteral("baizhu")}
                                           << QStringList{QStringLiteral("bz")};
    QTest::newRow("reviewed, two readings") << QStringLiteral("射干")
                                            << QStringList{QStringLiteral("shegan"), QStringLiteral("yegan")}
                                            << QStringList{QStringLiteral("sg"), QStringLiteral("yg")};
    // 术 unreviewed: every Unihan reading, the customary one first.
    QTest::newRow("every reading of a new name") << QStringLiteral("炒术")
                                                 << QStringList{QStringLiteral("chaoshu"), QStringLiteral("chaozhu")}
                                                 << QStringList{QStringLiteral("cs"), QStringLiteral("cz")};
    QTest::newRow("a reviewed name inside a new one") << QStringLiteral("炒白术") << QStringList{QStringLiteral("chaobaizhu")}
                                                      << QStringList{QStringLiteral("cbz")};
    QTest::newRow("punctuation reads as nothing") << QStringLiteral("槐米（花蕾）")
                                                  << QStringList{QStringLiteral("huaimihualei")}
                                                  << QStringList{QStringLiteral("hmhl")};
    QTest::newRow("ASCII letters and digits read as themselves") << QStringLiteral("维生素B1")
                                                                 << QStringList{QStringLiteral("weishengsub1")}
                                                                 << QStringList{QStringLiteral("wssb")};
    QTest::newRow("ü as v") << QStringLiteral("驴皮") << QStringList{QStringLiteral("lvpi")} << QStringList{QStringLiteral("lp")};
    QTest::newRow("a long name read from its start") << QString(40, u'麻') << QStringList{QStringLiteral("ma").repeated(16)}
                                                     << QStringList{QStringLiteral("m").repeated(16)};
    QTest::newRow("nothing to read") << QStringLiteral("（）") << QStringList() << QStringList();
}

void TestPinyin::testNameKeys()
{
    QFETCH(QString, name);
    QFETCH(QStringList, full);
    QFETCH(QStringList, initials);
    const NameKeys keys = nameKeys(name, reviewed());
    QCOMPARE(keys.full, full);
    QCOMPARE(keys.initials, initials);
}

void TestPinyin::testTypedName_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("simplified");
    QTest::addColumn<QString>("latin");

    QTest::newRow("pinyin") << QStringLiteral(" Ma Huang ") << QStringLiteral("Ma Huang") << QStringLiteral("mahuang");
    QTest::newRow("apostrophe and ü") << QStringLiteral("nü'er") << QStringLiteral("nü'er") << QStringLiteral("nver");
    QTest::newRow("ideographic space") << QStringLiteral("ma　huang") << QStringLiteral("ma　huang") << QStringLiteral("mahuang");
    QTest::newRow("a digit that is no tone") << QStringLiteral("7mh") << QStringLiteral("7mh") << QString();
    QTest::newRow("traditional") << QStringLiteral("當歸") << QStringLiteral("当归") << QString();
    QTest::newRow("simplified stays") << QStringLiteral("当归") << QStringLiteral("当归") << QString();
    QTest::newRow("mixed") << QStringLiteral("黄qi") << QStringLiteral("黄qi") << QString();
}

void TestPinyin::testTypedName()
{
    QFETCH(QString, typed);
    QFETCH(QString, simplified);
    QFETCH(QString, latin);
    const TypedName t = typedName(typed);
    QCOMPARE(t.simplified, simplified);
    QCOMPARE(t.latin, latin);
    QVERIFY2(simplifiedLoadError().isEmpty(), qPrintable(simplifiedLoadError()));
}

void TestPinyin::testReviewedSyllablesAreUnihanReadings()
{
    ReviewedReadings all;
    all.addFolder(QStringLiteral(ZELKANO_SOURCE_DIR "/sampledata/readings"));
    QVERIFY(all.all().size() > 2000);
    QCOMPARE(all.all(), reviewed().all());
    QStringList wrong;
    for (auto it = all.all().begin(); it != all.all().end(); ++it) {
        const QList<ReadingUnit> units = readingUnits(it.key());
        for (const QString &reading : it.value()) {
            const QStringList syllables = reading.split(u' ');
            for (qsizetype i = 0; i < units.size() && i < syllables.size(); ++i)
                if (units[i].han && !isUnihanReading(units[i].han, QLatin1StringView(syllables[i].toLatin1())))
                    wrong << QStringLiteral("%1 %2: %3").arg(it.key(), reading, syllables[i]);
        }
    }
    QCOMPARE(wrong, QStringList());
}

void TestPinyin::testBadReadingsAreRefused_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::newRow("not JSON") << QByteArray("[{");
    QTest::newRow("not an array") << QByteArray("{}");
    QTest::newRow("no name") << QByteArray(R"([{"拼音": ["ma huang"]}])");
    QTest::newRow("no reading") << QByteArray(R"([{"药物名称": "麻黄", "拼音": []}])");
    QTest::newRow("a syllable too few") << QByteArray(R"([{"药物名称": "麻黄", "拼音": ["mahuang"]}])");
    QTest::newRow("tone marks") << QByteArray(R"([{"药物名称": "麻黄", "拼音": ["má huáng"]}])");
    QTest::newRow("two spaces") << QByteArray(R"([{"药物名称": "麻黄", "拼音": ["ma  huang"]}])");
    QTest::newRow("capitals") << QByteArray(R"([{"药物名称": "麻黄", "拼音": ["Ma huang"]}])");
    QTest::newRow("bad other name") << QByteArray(R"([{"药物名称": "麻黄", "拼音": ["ma huang"], "别名": {"龙沙": ["long"]}}])");
    QTest::newRow("other names not an object") << QByteArray(R"([{"药物名称": "麻黄", "拼音": ["ma huang"], "别名": "龙沙"}])");
}

void TestPinyin::testBadReadingsAreRefused()
{
    QFETCH(QByteArray, json);
    ReviewedReadings readings;
    try {
        readings.add(json, QStringLiteral("bad.json"));
        QFAIL("accepted");
    } catch (const core::Error &e) {
        QVERIFY2(e.message().startsWith(QStringLiteral("bad.json: ")), e.what());
    }
}

void TestPinyin::testKeysFollowWritesOfAnyProgramAsARebuildWouldMakeThem()
{
    TestDatabase db(sampleDataDir());
    const QString renamed = db.scalar(QStringLiteral("select ID from DRUG_ZB where 药物名称 = '麻黄'"));
    const QString gone = db.scalar(QStringLiteral("select ID from DRUG_ZB where 药物名称 = '麻黄根'"));
    // Another program: a new drug, a renamed one and a deleted one.
    db.exec(QStringLiteral("insert into DRUG_ZB (LB, 药物名称, 别名) values ('01', '青钱柳', '摇钱树')"));
    db.exec(QStringLiteral("update DRUG_ZB set 药物名称 = '麻黄茎' where ID = ?"), {renamed});
    db.exec(QStringLiteral("delete from DRUG_ZB where ID = ?"), {gone});

    data::Connection connection(db.path());
    data::useDrugFile(connection);
    // Until the next fold they are found by their names alone.
    QCOMPARE(found(connection, QStringLiteral("青钱")), QStringList{QStringLiteral("青钱柳")});
    QCOMPARE(found(connection, QStringLiteral("qingqian")), QStringList());
    QCOMPARE(found(connection, QStringLiteral("摇钱")), QStringList());
    QCOMPARE(found(connection, QStringLiteral("mahuangj")), QStringList());
    QCOMPARE(found(connection, QStringLiteral("麻黄")), QStringList{QStringLiteral("麻黄茎")});

    {
        data::Transaction fold(connection);
        data::SearchIndex(connection).update();
        fold.commit();
    }
    QCOMPARE(found(connection, QStringLiteral("qingqian")), QStringList{QStringLiteral("青钱柳")});
    QCOMPARE(found(connection, QStringLiteral("摇钱")), QStringList{QStringLiteral("青钱柳")});
    QCOMPARE(found(connection, QStringLiteral("mahuangj")), QStringList{QStringLiteral("麻黄茎")});
    QCOMPARE(db.scalar(QStringLiteral("select count(*) from DRUG_NAME_KEY where ID = ?"), {gone}), QStringLiteral("0"));

    const QString keys = QStringLiteral("select group_concat(KIND || K || ID || LEN || ifnull(OTHER, '-'), '|') from "
                                        "(select * from DRUG_NAME_KEY order by KIND, K, ID)");
    const QString folded = db.scalar(keys);
    {
        data::Transaction rebuild(connection);
        data::namekeys::rebuild(connection.handle(), {});
        rebuild.commit();
    }
    QCOMPARE(db.scalar(keys), folded);

    // A look-up leaves no read open that would keep another program from saving.
    QCOMPARE(found(connection, QStringLiteral("mahuangj")), QStringList{QStringLiteral("麻黄茎")});
    db.exec(QStringLiteral("update DRUG_ZB set 附注 = 'x' where ID = ?"), {renamed});
}

void TestPinyin::testKeysFromOtherReadingsAreNotUsedAndMadeAnew()
{
    TestDatabase db(sampleDataDir());
    db.exec(QStringLiteral("update DRUG_NAME_KEY_SOURCE set SOURCE = 'another build'"));
    {
        data::Connection plain(db.path());
        QVERIFY(!data::nameKeysUsable(plain));
        QCOMPARE(found(plain, QStringLiteral("mahuanggen")), QStringList());
        QCOMPARE(found(plain, QStringLiteral("麻黄")), (QStringList{QStringLiteral("麻黄"), QStringLiteral("麻黄根")}));
    }
    data::Connection connection(db.path());
    data::useDrugFile(connection);
    QVERIFY(data::nameKeysUsable(connection));
    QCOMPARE(found(connection, QStringLiteral("mahuanggen")), QStringList{QStringLiteral("麻黄根")});
}

void TestPinyin::testCombinedSearchFindsSimplifiedAndPinyin_data()
{
    QTest::addColumn<int>("box");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QStringList>("names");

    QTest::newRow("name box, pinyin") << 2 << QStringLiteral("Ma Huang") << QStringList{QStringLiteral("麻黄"), QStringLiteral("麻黄根")};
    QTest::newRow("name box, initials") << 2 << QStringLiteral("mhg") << QStringList{QStringLiteral("麻黄根")};
    QTest::newRow("name box, traditional") << 2 << QStringLiteral("麻黃") << QStringList{QStringLiteral("麻黄"), QStringLiteral("麻黄根")};
    QTest::newRow("other-name box, pinyin") << 3 << QStringLiteral("longsha") << QStringList{QStringLiteral("麻黄")};
    QTest::newRow("other-name box, as typed") << 3 << QStringLiteral("於术") << QStringList{QStringLiteral("白术")};
    QTest::newRow("pinyin only where names are") << 1 << QStringLiteral("mahuang") << QStringList();
    QTest::newRow("a traditional text in another box") << 1 << QStringLiteral("發汗") << QStringList{QStringLiteral("麻黄")};
}

void TestPinyin::testCombinedSearchFindsSimplifiedAndPinyin()
{
    QFETCH(int, box);
    QFETCH(QString, typed);
    QFETCH(QStringList, names);
    const BothWays both = searchBothWays(sampleConnection(), box, typed);
    QCOMPARE(both.indexed, both.full);
    QStringList listed;
    for (const qint64 id : both.full)
        listed << scalarIn(sampleDatabase(), QStringLiteral("select 药物名称 from DRUG_ZB where ID = ?"), {QString::number(id)});
    for (const QString &name : names)
        QVERIFY2(listed.contains(name), qPrintable(listed.join(u' ')));
    if (names.isEmpty())
        QCOMPARE(listed, QStringList());
}

void TestPinyin::testSearchButton_data()
{
    QTest::addColumn<QString>("typed");
    // The sheet shown and the box's text after the search; the list opened;
    // the message.
    QTest::addColumn<QString>("sheet");
    QTest::addColumn<QString>("box");
    QTest::addColumn<bool>("listed");
    QTest::addColumn<QString>("message");

    QTest::newRow("an exact name") << QStringLiteral("麻黄") << QStringLiteral("麻黄") << QStringLiteral("麻黄") << false << QString();
    QTest::newRow("one match") << QStringLiteral("yingsuke") << QStringLiteral("罂粟壳") << QStringLiteral("罂粟壳") << false << QString();
    QTest::newRow("several matches") << QStringLiteral("mh") << QString() << QStringLiteral("mh") << true << QString();
    QTest::newRow("none") << QStringLiteral("xqzv") << QString() << QStringLiteral("xqzv") << false << QStringLiteral("无此药物！");
}

void TestPinyin::testSearchButton()
{
    QFETCH(QString, typed);
    QFETCH(QString, sheet);
    QFETCH(QString, box);
    QFETCH(bool, listed);
    QFETCH(QString, message);
    TestDatabase db(TestDatabase::CopyOf{sampleDatabase()});
    GuiFixture fixture(db.path());
    TFormMain &f = fixture.f();
    fixture.simpleQuery.search(typed);
    QCOMPARE(f.Memo1->toPlainText().section(u'\n', 0, 0), sheet.isEmpty() ? QString() : QStringLiteral("【药物名称】： ") + sheet);
    QCOMPARE(f.LabeledEdit_mc->text(), box);
    QTRY_COMPARE(f.NameList->isOpen(), listed);
    QCOMPARE(fixture.presenter.texts(), message.isEmpty() ? QStringList() : QStringList{message});
}

void TestPinyin::testDropDownChoosesWithKeysAndClick()
{
    TestDatabase db(TestDatabase::CopyOf{sampleDatabase()});
    GuiFixture fixture(db.path());
    TFormMain &f = fixture.f();
    focusAtEnd(f.LabeledEdit_mc);
    QTest::keyClicks(f.LabeledEdit_mc, QStringLiteral("mh"));
    QAbstractItemView *list = f.NameList->popup();
    QTRY_VERIFY(f.NameList->isOpen());
    QCOMPARE(list->model()->index(0, 0).data().toString(), QStringLiteral("麻黄　ma huang"));
    QVERIFY(list->width() >= f.LabeledEdit_mc->width());
    // A screen reader finds a list whose items are the rows.
    QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(list);
    QVERIFY(accessible);
    QCOMPARE(accessible->role(), QAccessible::List);
    QCOMPARE(accessible->text(QAccessible::Name), QStringLiteral("匹配的药物"));
    QCOMPARE(accessible->childCount(), list->model()->rowCount());

    // Esc closes the list and keeps the text; Down opens it again.
    QTest::keyClick(list, Qt::Key_Escape);
    QTRY_VERIFY(!f.NameList->isOpen());
    QCOMPARE(f.LabeledEdit_mc->text(), QStringLiteral("mh"));
    QTest::keyClick(f.LabeledEdit_mc, Qt::Key_Down);
    QTRY_VERIFY(f.NameList->isOpen());

    // Down then Enter chooses the first row: its name in the box, its sheet shown.
    QTest::keyClick(list, Qt::Key_Down);
    QTest::keyClick(list, Qt::Key_Return);
    QCOMPARE(f.LabeledEdit_mc->text(), QStringLiteral("麻黄"));
    QCOMPARE(f.Memo1->toPlainText().section(u'\n', 0, 0), QStringLiteral("【药物名称】： 麻黄"));
    QTRY_VERIFY(!f.NameList->isOpen());

    // A click chooses too; traditional characters are typed as the input method commits them.
    f.LabeledEdit_mc->clear();
    typeText(f.LabeledEdit_mc, QStringLiteral("黃耆"));
    QTRY_VERIFY(f.NameList->isOpen());
    const QModelIndex first = list->model()->index(0, 0);
    QCOMPARE(first.data().toString(), QStringLiteral("黄芪（黄耆）　huang qi"));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(first).center());
    QCOMPARE(f.LabeledEdit_mc->text(), QStringLiteral("黄芪"));
    QCOMPARE(f.Memo1->toPlainText().section(u'\n', 0, 0), QStringLiteral("【药物名称】： 黄芪"));

    // Text that matches nothing closes the list.
    QTest::keyClicks(f.LabeledEdit_mc, QStringLiteral("xqzv"));
    QTRY_VERIFY(!f.NameList->isOpen());
    QVERIFY(fixture.presenter.texts().isEmpty());

    // The combined page's name box finds by pinyin too.
    fixture.showPage(TFormMain::CombinedQueryPage);
    fixture.combinedQuery.search({{2, QStringLiteral("mahuang")}});
    QCOMPARE(f.tv2->topLevelItemCount(), 2);
}

QTEST_MAIN(TestPinyin)
#include "test_pinyin.moc"
