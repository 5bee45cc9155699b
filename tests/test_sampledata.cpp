// The sample data under sampledata/: its content and the database built from it.
#include "GuiFixture.h"
#include "data/DatabaseBuilder.h"
#include "data/DbError.h"
#include "widgets/DbMemo.h"
#include "widgets/TreeView.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QJsonObject>
#include <QMap>
#include <QSet>
#include <QStringEncoder>
#include <QTest>
#include <optional>

namespace {

// One item of a JSON array and the file it came from.
struct Entry {
    QString file;
    int index = 0;
    QJsonObject object;

    QString text(const QString &key) const { return object.value(key).toString(); }
    // "drugs/01.json 麻黄", or the item number when the name is missing.
    QString where(const QString &nameKey) const
    {
        const QString name = text(nameKey);
        return file + QLatin1Char(' ') + (name.isEmpty() ? QStringLiteral("#%1").arg(index + 1) : name);
    }
};

// Every drug column except 植物形态2, which is empty when the plant form is short.
const QStringList RequiredColumns = {
    QStringLiteral("LB"),       QStringLiteral("药物名称"), QStringLiteral("英文名称"), QStringLiteral("别名"),
    QStringLiteral("来源"),     QStringLiteral("植物形态1"), QStringLiteral("生长地"),  QStringLiteral("采制"),
    QStringLiteral("化学成分"), QStringLiteral("性味"),     QStringLiteral("功能主治"), QStringLiteral("附注"),
};

QByteArray listing(const QStringList &problems)
{
    return (QLatin1Char('\n') + problems.join(QLatin1Char('\n'))).toUtf8();
}

// The characters of `text` that GBK cannot write, each once; empty when all can.
QString notInGbk(const QString &text)
{
    QStringEncoder whole("GBK");
    // encode() converts only when its result is taken as a QByteArray.
    [[maybe_unused]] const QByteArray encoded = whole.encode(text);
    if (!whole.hasError())
        return {};
    QString bad;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const qsizetype n = (text[i].isHighSurrogate() && i + 1 < text.size()) ? 2 : 1;
        const QString ch = text.mid(i, n);
        i += n - 1;
        QStringEncoder one("GBK");
        [[maybe_unused]] const QByteArray bytes = one.encode(ch);
        if (one.hasError() && !bad.contains(ch))
            bad += ch;
    }
    return bad;
}

} // namespace

class TestSampleData : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void testJsonFilesParse();
    void testEveryDrugNamesAnExistingCategory();
    void testDrugNamesAreUnique();
    void testRequiredColumnsAreFilled();
    void testCategoriesAreDistinctAndHoldThreeDrugs();
    void testSampleCoversTheTextbook();
    void testToxicityGradeIsRepeatedInNotes();
    void testEveryTextIsWritableInGbk();
    void testHelpTopics();
    void testBuiltDatabaseOpensWithTheWholeSample();

private:
    QList<Entry> readArray(const QString &relative);

    QList<Entry> m_categories;
    QList<Entry> m_drugs;
    QList<Entry> m_help;
    QStringList m_parseProblems;
};

QList<Entry> TestSampleData::readArray(const QString &relative)
{
    QFile file(QDir(sampleDataDir()).filePath(relative));
    if (!file.open(QIODevice::ReadOnly)) {
        m_parseProblems << relative + QStringLiteral(": cannot be read");
        return {};
    }
    const QByteArray bytes = file.readAll();
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError) {
        const int line = int(bytes.left(error.offset).count('\n')) + 1;
        m_parseProblems << QStringLiteral("%1:%2: %3").arg(relative).arg(line).arg(error.errorString());
        return {};
    }
    if (!document.isArray()) {
        m_parseProblems << relative + QStringLiteral(": top level is not an array");
        return {};
    }
    QList<Entry> entries;
    const QJsonArray array = document.array();
    for (int i = 0; i < array.size(); ++i) {
        if (!array[i].isObject()) {
            m_parseProblems << QStringLiteral("%1 #%2: not an object").arg(relative).arg(i + 1);
            continue;
        }
        const QJsonObject object = array[i].toObject();
        for (auto it = object.begin(); it != object.end(); ++it) {
            if (!it.value().isString())
                m_parseProblems << QStringLiteral("%1 #%2: \"%3\" is not a string").arg(relative).arg(i + 1).arg(it.key());
        }
        entries << Entry{relative, i, object};
    }
    return entries;
}

void TestSampleData::initTestCase()
{
    m_categories = readArray(QStringLiteral("categories.json"));
    const QStringList files = QDir(sampleDataDir() + QStringLiteral("/drugs"))
                                  .entryList({QStringLiteral("*.json")}, QDir::Files, QDir::Name);
    QVERIFY2(!files.isEmpty(), "no drug files under sampledata/drugs");
    for (const QString &name : files)
        m_drugs << readArray(QStringLiteral("drugs/") + name);
    m_help = readArray(QStringLiteral("help.json"));
}

void TestSampleData::testJsonFilesParse()
{
    QVERIFY2(m_parseProblems.isEmpty(), listing(m_parseProblems));
}

void TestSampleData::testEveryDrugNamesAnExistingCategory()
{
    QSet<QString> codes;
    for (const Entry &c : std::as_const(m_categories))
        codes << c.text(QStringLiteral("BM"));
    QStringList problems;
    for (const Entry &d : std::as_const(m_drugs)) {
        if (!codes.contains(d.text(QStringLiteral("LB"))))
            problems << d.where(QStringLiteral("药物名称")) + QStringLiteral(": LB \"%1\" is no category")
                                                               .arg(d.text(QStringLiteral("LB")));
    }
    QVERIFY2(problems.isEmpty(), listing(problems));
}

void TestSampleData::testDrugNamesAreUnique()
{
    // Trimmed, since the category tree shows names trimmed.
    QMap<QString, QStringList> places;
    for (const Entry &d : std::as_const(m_drugs))
        places[trimText(d.text(QStringLiteral("药物名称")))] << d.file;
    QStringList problems;
    for (auto it = places.begin(); it != places.end(); ++it) {
        if (it.value().size() > 1)
            problems << it.key() + QStringLiteral(" appears in ") + it.value().join(QStringLiteral(", "));
    }
    QVERIFY2(problems.isEmpty(), listing(problems));
}

void TestSampleData::testRequiredColumnsAreFilled()
{
    const QStringList known = data::drugColumns();
    QStringList problems;
    for (const Entry &d : std::as_const(m_drugs)) {
        for (const QString &column : RequiredColumns) {
            if (trimText(d.text(column)).isEmpty())
                problems << d.where(QStringLiteral("药物名称")) + QStringLiteral(": ") + column + QStringLiteral(" is empty");
        }
        for (const QString &key : d.object.keys()) {
            if (!known.contains(key))
                problems << d.where(QStringLiteral("药物名称")) + QStringLiteral(": unknown column ") + key;
        }
    }
    QVERIFY2(problems.isEmpty(), listing(problems));
}

void TestSampleData::testCategoriesAreDistinctAndHoldThreeDrugs()
{
    QMap<QString, int> drugsOf;
    for (const Entry &d : std::as_const(m_drugs))
        ++drugsOf[d.text(QStringLiteral("LB"))];
    QStringList problems;
    QSet<QString> codes, names;
    for (const Entry &c : std::as_const(m_categories)) {
        const QString bm = c.text(QStringLiteral("BM")), mc = c.text(QStringLiteral("MC"));
        if (bm.isEmpty() || trimText(mc).isEmpty())
            problems << c.where(QStringLiteral("MC")) + QStringLiteral(": BM or MC is empty");
        if (codes.contains(bm) || names.contains(mc))
            problems << c.where(QStringLiteral("MC")) + QStringLiteral(": BM or MC given twice");
        codes << bm;
        names << mc;
        if (drugsOf.value(bm) < 3)
            problems << QStringLiteral("%1 (%2) holds %3 drugs").arg(mc, bm).arg(drugsOf.value(bm));
    }
    QVERIFY2(!m_categories.isEmpty(), "categories.json holds no category");
    QVERIFY2(problems.isEmpty(), listing(problems));
}

void TestSampleData::testSampleCoversTheTextbook()
{
    // The textbook's 21 categories, the last one added after the first sample.
    QCOMPARE(m_categories.size(), 21);
    QCOMPARE(m_categories.last().text(QStringLiteral("BM")), QStringLiteral("21"));
    QCOMPARE(m_categories.last().text(QStringLiteral("MC")), QStringLiteral("拔毒化腐生肌药"));
    QVERIFY2(m_drugs.size() >= 400, qPrintable(QStringLiteral("only %1 drugs").arg(m_drugs.size())));
}

void TestSampleData::testToxicityGradeIsRepeatedInNotes()
{
    // One convention: a grade given in 性味 opens 附注, so a reader of either sees it.
    static const QRegularExpression grade(QStringLiteral("有大毒|有小毒|有毒"));
    QStringList problems;
    int graded = 0;
    for (const Entry &d : std::as_const(m_drugs)) {
        const QRegularExpressionMatch match = grade.match(d.text(QStringLiteral("性味")));
        if (!match.hasMatch())
            continue;
        ++graded;
        if (!d.text(QStringLiteral("附注")).startsWith(match.captured() + QStringLiteral("。")))
            problems << d.where(QStringLiteral("药物名称")) + QStringLiteral(": 附注 does not open with ") + match.captured();
    }
    QVERIFY2(graded > 0, "no drug gives a toxicity grade");
    QVERIFY2(problems.isEmpty(), listing(problems));
}

void TestSampleData::testEveryTextIsWritableInGbk()
{
    // Without a GBK converter every text would look fine; fail instead.
    QVERIFY2(QStringEncoder("GBK").isValid(), "this Qt has no GBK converter (built without ICU?)");
    QVERIFY2(notInGbk(QStringLiteral("【植物形态】：麻黄～")).isEmpty(), "GBK converter rejects GBK text");
    QVERIFY2(!notInGbk(QStringLiteral("麻黄한")).isEmpty(), "GBK converter accepts a Hangul syllable");

    QStringList problems;
    auto check = [&](const QList<Entry> &entries, const QString &nameKey) {
        for (const Entry &e : entries) {
            for (auto it = e.object.begin(); it != e.object.end(); ++it) {
                const QString bad = notInGbk(it.value().toString());
                if (!bad.isEmpty())
                    problems << e.where(nameKey) + QStringLiteral(": ") + it.key() + QStringLiteral(" has \"") + bad +
                                    QStringLiteral("\"");
            }
        }
    };
    check(m_categories, QStringLiteral("MC"));
    check(m_drugs, QStringLiteral("药物名称"));
    check(m_help, QStringLiteral("MC"));
    QVERIFY2(problems.isEmpty(), listing(problems));
}

void TestSampleData::testHelpTopics()
{
    QVERIFY2(m_help.size() >= 5 && m_help.size() <= 9,
             qPrintable(QStringLiteral("help.json holds %1 topics").arg(m_help.size())));
    QStringList problems;
    QSet<QString> codes;
    for (const Entry &h : std::as_const(m_help)) {
        const QString bm = h.text(QStringLiteral("BM"));
        if (bm.size() != 2)
            problems << h.where(QStringLiteral("MC")) + QStringLiteral(": code \"%1\" is not two characters").arg(bm);
        if (codes.contains(bm))
            problems << h.where(QStringLiteral("MC")) + QStringLiteral(": code \"%1\" given twice").arg(bm);
        codes << bm;
        for (const QString &key : {QStringLiteral("MC"), QStringLiteral("CONTENT")}) {
            if (trimText(h.text(key)).isEmpty())
                problems << h.where(QStringLiteral("MC")) + QStringLiteral(": ") + key + QStringLiteral(" is empty");
        }
    }
    QVERIFY2(problems.isEmpty(), listing(problems));
}

void TestSampleData::testBuiltDatabaseOpensWithTheWholeSample()
{
    std::optional<TestDatabase> built;
    try {
        built.emplace(sampleDataDir());
    } catch (const data::DbError &e) {
        QFAIL(qPrintable(QStringLiteral("the builder refuses the sample: ") + e.message()));
    }
    const TestDatabase &db = *built;
    GuiFixture window(db.path());
    TFormMain &form = window.f();
    QCOMPARE(window.startResult(), TFormMain::StartResult::Running);
    QVERIFY2(window.presenter.messages.isEmpty(), qPrintable(window.presenter.texts().join(QLatin1Char('\n'))));

    QCOMPARE(db.scalar(QStringLiteral("select count(*) from DRUG_LB")).toInt(), m_categories.size());
    QCOMPARE(db.scalar(QStringLiteral("select count(*) from DRUG_ZB")).toInt(), m_drugs.size());
    QCOMPARE(db.scalar(QStringLiteral("select count(*) from HELP_LB")).toInt(), m_help.size());
    QCOMPARE(db.scalar(QStringLiteral("select count(*) from HELP_ZB")).toInt(), m_help.size());
    // The combined search lists and searches by 类别.
    QCOMPARE(db.scalar(QStringLiteral("select count(*) from DRUG_ZB where 类别 is null or 类别 = ''")).toInt(), 0);

    // One node per category, in file order, holding exactly its drugs.
    QMap<QString, QStringList> drugsOf;
    for (const Entry &d : std::as_const(m_drugs))
        drugsOf[d.text(QStringLiteral("LB"))] << trimText(d.text(QStringLiteral("药物名称")));
    QCOMPARE(form.tv1->topLevelItemCount(), m_categories.size());
    QStringList problems;
    for (int i = 0; i < m_categories.size(); ++i) {
        const QTreeWidgetItem *node = form.tv1->topLevelItem(i);
        const QString mc = trimText(m_categories[i].text(QStringLiteral("MC")));
        QStringList expected = drugsOf.value(m_categories[i].text(QStringLiteral("BM")));
        QStringList shown;
        for (int c = 0; c < node->childCount(); ++c)
            shown << node->child(c)->text(0);
        expected.sort();
        shown.sort();
        if (node->text(0) != mc || shown != expected)
            problems << QStringLiteral("node %1 \"%2\" with %3 drugs, expected \"%4\" with %5")
                            .arg(i).arg(node->text(0)).arg(shown.size()).arg(mc).arg(expected.size());
    }
    QVERIFY2(problems.isEmpty(), listing(problems));

    QVERIFY(!m_help.isEmpty());
    QCOMPARE(form.tv4->topLevelItemCount(), m_help.size());
    for (int i = 0; i < m_help.size(); ++i)
        QCOMPARE(form.tv4->topLevelItem(i)->text(0), trimText(m_help[i].text(QStringLiteral("MC"))));
    QCOMPARE(static_cast<QTreeWidgetItem *>(form.tv4->selectedNode()), form.tv4->topLevelItem(0));
    QCOMPARE(form.DBMemo1->toPlainText(), m_help.first().text(QStringLiteral("CONTENT")));
}

QTEST_MAIN(TestSampleData)
#include "test_sampledata.moc"
