// Finding a drug by pinyin, initials, traditional characters and other names.
#include "core/Error.h"
#include "pinyin/MemoryNameIndex.h"
#include "pinyin/NameFinder.h"
#include "pinyin/NameKeys.h"
#include "pinyin/Simplified.h"
#include "pinyin/TypedName.h"
#include "pinyin/Unihan.h"
#include "widgets/NameCompleter.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QApplication>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QSignalSpy>
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
    void testDropDownChoosesWithKeysAndClick();
};

void TestPinyin::testFindNames_data()
{
    QTest::addColumn<QString>("typed");
    // The first rows as shown, in order; none at all when empty.
    QTest::addColumn<QStringList>("first");

    const auto row = [](const char *tag, const QString &typed, const QStringList &first) {
        QTest::newRow(tag) << typed << first;
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
    const QStringList rows = shown(findNames(sampleIndex(), typed, MaxMatches, reviewed()));
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

void TestPinyin::testDropDownChoosesWithKeysAndClick()
{
    QWidget window;
    auto *box = new QLineEdit(&window);
    box->setGeometry(10, 10, 162, 20);
    auto *completer = new NameCompleter(box, [](const QString &typed) { return findNames(sampleIndex(), typed, MaxMatches, reviewed()); });
    connect(box, &QLineEdit::textEdited, completer, &NameCompleter::refresh);
    QSignalSpy chosen(completer, &NameCompleter::chosen);
    window.resize(400, 300);
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    box->setFocus();

    QTest::keyClicks(box, QStringLiteral("mh"));
    QAbstractItemView *list = completer->popup();
    QTRY_VERIFY(completer->isOpen());
    QCOMPARE(list->model()->index(0, 0).data().toString(), QStringLiteral("麻黄　ma huang"));
    QVERIFY(list->width() >= box->width());
    // A screen reader finds a list whose items are the rows.
    QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(list);
    QVERIFY(accessible);
    QCOMPARE(accessible->role(), QAccessible::List);
    QCOMPARE(accessible->text(QAccessible::Name), QStringLiteral("匹配的药物"));

    // Esc closes the list and keeps the text; Down opens it again.
    QTest::keyClick(list, Qt::Key_Escape);
    QTRY_VERIFY(!completer->isOpen());
    QCOMPARE(box->text(), QStringLiteral("mh"));
    QTest::keyClick(box, Qt::Key_Down);
    QTRY_VERIFY(completer->isOpen());

    // Down then Enter chooses the first row.
    QTest::keyClick(list, Qt::Key_Down);
    QTest::keyClick(list, Qt::Key_Return);
    QCOMPARE(chosen.count(), 1);
    QCOMPARE(chosen[0][1].toString(), QStringLiteral("麻黄"));
    QCOMPARE(box->text(), QStringLiteral("麻黄"));
    QTRY_VERIFY(!completer->isOpen());

    // A click chooses too.
    box->clear();
    QTest::keyClicks(box, QStringLiteral("yuzhu"));
    QTRY_VERIFY(completer->isOpen());
    const QModelIndex second = list->model()->index(1, 0);
    QCOMPARE(second.data().toString(), QStringLiteral("白术（于术）　bai zhu"));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(second).center());
    QCOMPARE(chosen.count(), 2);
    QCOMPARE(box->text(), QStringLiteral("白术"));

    // Text that matches nothing closes the list.
    QTest::keyClicks(box, QStringLiteral("xqzv"));
    QTRY_VERIFY(!completer->isOpen());
}

QTEST_MAIN(TestPinyin)
#include "test_pinyin.moc"
