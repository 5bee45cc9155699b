// Printing the record sheet: what reaches the paper, where, and on which pages.
#include "GuiFixture.h"
#include "print/Printing.h"
#include "widgets/Memo.h"
#include "widgets/PageControl.h"

#include <QFontMetrics>
#include <QPaintDevice>
#include <QPaintEngine>
#include <QPrinterInfo>
#include <QRawFont>
#include <QRegularExpression>
#include <QTest>
#include <QToolButton>

#include <climits>
#include <cmath>
#include <memory>

namespace {

constexpr int Dpi = 600;
const QSize A4(4960, 7016); // 210 x 297 mm at 600 dpi

// One call of drawTextItem: the text of one run, where its baseline starts.
struct TextRun {
    QString text;
    QPointF baseline;
    QFont font;
};

struct Recording {
    QStringList titles;           // one per job begun
    QList<QList<TextRun>> pages;  // of the last job
    int paintersBegun = 0;
    int paintersEnded = 0;
    int jobsEnded = 0;
};

class RecordingEngine : public QPaintEngine
{
public:
    explicit RecordingEngine(Recording &recording) : QPaintEngine(AllFeatures), m_recording(recording) {}
    bool begin(QPaintDevice *) override
    {
        ++m_recording.paintersBegun;
        return true;
    }
    bool end() override
    {
        ++m_recording.paintersEnded;
        return true;
    }
    void updateState(const QPaintEngineState &state) override
    {
        if (state.state() & DirtyTransform)
            m_transform = state.transform();
    }
    void drawPixmap(const QRectF &, const QPixmap &, const QRectF &) override {}
    void drawTextItem(const QPointF &p, const QTextItem &item) override
    {
        m_recording.pages.back() << TextRun{item.text(), m_transform.map(p), item.font()};
    }
    Type type() const override { return User; }

private:
    Recording &m_recording;
    QTransform m_transform;
};

// A page of fixed size and resolution that records the text drawn on it.
class RecordingDevice : public QPaintDevice
{
public:
    RecordingDevice(Recording &recording, QSize size) : m_engine(recording), m_size(size) {}
    QPaintEngine *paintEngine() const override { return &m_engine; }
    void setSize(QSize size) { m_size = size; }

protected:
    int metric(PaintDeviceMetric m) const override
    {
        switch (m) {
        case PdmWidth: return m_size.width();
        case PdmHeight: return m_size.height();
        case PdmWidthMM: return qRound(m_size.width() * 25.4 / Dpi);
        case PdmHeightMM: return qRound(m_size.height() * 25.4 / Dpi);
        case PdmNumColors: return INT_MAX;
        case PdmDepth: return 32;
        case PdmDpiX: case PdmDpiY: case PdmPhysicalDpiX: case PdmPhysicalDpiY: return Dpi;
        case PdmDevicePixelRatio: return 1;
        case PdmDevicePixelRatioScaled: return int(devicePixelRatioFScale());
        default: return 0;
        }
    }

private:
    mutable RecordingEngine m_engine;
    QSize m_size;
};

class RecordingJob : public PrintJob
{
public:
    RecordingJob(Recording &recording, RecordingDevice &device) : m_recording(recording), m_device(device) {}
    ~RecordingJob() override { ++m_recording.jobsEnded; }
    QPaintDevice *device() override { return &m_device; }
    void newPage() override { m_recording.pages.append(QList<TextRun>()); }

private:
    Recording &m_recording;
    RecordingDevice &m_device;
};

class RecordingProvider : public PrinterProvider
{
public:
    explicit RecordingProvider(QSize size = A4) : device(recording, size) {}
    std::unique_ptr<PrintJob> begin(const QString &title) override
    {
        recording.titles << title;
        if (failWith)
            throw PrintError(*failWith);
        recording.pages = {{}};
        return std::make_unique<RecordingJob>(recording, device);
    }

    Recording recording;
    RecordingDevice device;
    std::optional<QString> failWith;
};

// A printed line: the runs of one baseline joined left to right.
struct PrintedLine {
    QString text;
    qreal x;
    qreal top;
    QFont font;
};

QList<QList<PrintedLine>> printedPages(const Recording &recording, QPaintDevice *device)
{
    QList<QList<PrintedLine>> pages;
    for (QList<TextRun> runs : recording.pages) {
        std::stable_sort(runs.begin(), runs.end(), [](const TextRun &a, const TextRun &b) {
            return a.baseline.y() != b.baseline.y() ? a.baseline.y() < b.baseline.y() : a.baseline.x() < b.baseline.x();
        });
        QList<PrintedLine> lines;
        for (const TextRun &run : runs) {
            const qreal top = run.baseline.y() - QFontMetrics(run.font, device).ascent();
            if (!lines.isEmpty() && qFuzzyCompare(lines.back().top, top))
                lines.back().text += run.text;
            else
                lines << PrintedLine{run.text, run.baseline.x(), top, run.font};
        }
        pages << lines;
    }
    return pages;
}

QStringList texts(const QList<QList<PrintedLine>> &pages)
{
    QStringList result;
    for (const auto &page : pages)
        for (const PrintedLine &line : page)
            result << line.text;
    return result;
}

QStringList nonEmpty(QStringList lines)
{
    lines.removeAll(QString());
    return lines;
}

// Returns the line step the first printed line was drawn with.
int lineStep(const QList<QList<PrintedLine>> &pages, QPaintDevice *device)
{
    for (const auto &page : pages)
        for (const PrintedLine &line : page)
            return QFontMetrics(line.font, device).height();
    return 0;
}

const QString LongText = QStringLiteral(
    "清热解毒，祛痰止咳，缓急止痛，调和诸药。用于脾胃虚弱，倦怠乏力，心悸气短，咳嗽痰多，脘腹、四肢挛急疼痛，"
    "痈肿疮毒，缓解药物毒性、烈性。本品味甘，性平，归心、肺、脾、胃经，常与他药同用以调和其性。");

QMap<QString, QString> drug(const QString &name, const QString &uses = LongText)
{
    return {{QStringLiteral("LB"), QStringLiteral("01")},
            {QStringLiteral("药物名称"), name},
            {QStringLiteral("英文名称"), QStringLiteral("Radix Glycyrrhizae")},
            {QStringLiteral("别名"), QStringLiteral("国老、甜草")},
            {QStringLiteral("功能主治"), uses},
            {QStringLiteral("附注"), QStringLiteral("不宜与海藻、大戟同用")}};
}

} // namespace

class TestPrint : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void testSheetPrintedLineByLineAtMargins();
    void testWrappedParagraphPrintsScreenPieces_data();
    void testWrappedParagraphPrintsScreenPieces();
    void testLongSheetContinuesOnNewPages();
    void testOverWideLineBrokenAtPrintableWidth();
    void testEmptyAreaPrintsOneBlankPage();
    void testPrintCommandFollowsActivePage_data();
    void testPrintCommandFollowsActivePage();
    void testFailedJobIsReportedAndLaterPrintTriesAgain();
    void testNoDefaultPrinterIsReported();
    void testPrintsThroughSpooler();

private:
    // A window on a database with two drugs, printing to `provider`.
    void start(PrinterProvider *provider);

    std::unique_ptr<TestDatabase> m_db;
    std::unique_ptr<GuiFixture> m_window;
    RecordingPresenter *m_presenter = nullptr;
    qint64 m_first = 0;
    qint64 m_second = 0;
};

void TestPrint::init()
{
    m_db = std::make_unique<TestDatabase>();
    m_db->addCategory(QStringLiteral("01"), QStringLiteral("补虚药"));
    m_first = m_db->addDrug(drug(QStringLiteral("甘草")));
    m_second = m_db->addDrug(drug(QStringLiteral("黄芪"), QStringLiteral("补气升阳，固表止汗")));
}

void TestPrint::cleanup()
{
    m_window.reset();
    m_db.reset();
}

void TestPrint::start(PrinterProvider *provider)
{
    m_window = std::make_unique<GuiFixture>(m_db->path());
    m_presenter = &m_window->presenter;
    QCOMPARE(m_window->startResult(), TFormMain::StartResult::Running);
    m_window->f().setPrinterProvider(provider);
    m_window->f().Pc->setActivePage(TFormMain::SimpleQueryPage);
    QApplication::processEvents();
}

void TestPrint::testSheetPrintedLineByLineAtMargins()
{
    RecordingProvider provider;
    start(&provider);
    TFormMain &form = m_window->f();
    form.ShowDrug(QString::number(m_first), form.Memo1);
    const QStringList shown = form.Memo1->displayLines();
    form.tbPrint->click();

    QVERIFY2(m_presenter->messages.isEmpty(), qPrintable(m_presenter->texts().join('|')));
    QCOMPARE(provider.recording.titles, QStringList{QStringLiteral("Zelkano中草药")});
    QCOMPARE(provider.recording.jobsEnded, 1);
    QCOMPARE(provider.recording.paintersEnded, 1);
    const auto pages = printedPages(provider.recording, &provider.device);
    QCOMPARE(pages.size(), 1);

    const int step = lineStep(pages, &provider.device);
    const QFont font = pages[0][0].font;
    QCOMPARE(font.pointSizeF(), 8.0);
    QCOMPARE(font.weight(), QFont::Normal);
    // 8 points at 600 dpi is 67 dots; a font measured at screen resolution
    // would step about 15.
    QVERIFY2(step >= 67 && step <= 2 * 67, qPrintable(QString::number(step)));
    // The face itself, not a fallback behind it, holds the Chinese glyphs.
    QVERIFY2(QRawFont::fromFont(font).supportsCharacter(U'药'), qPrintable(QFontInfo(font).family()));

    QCOMPARE(pages[0][0].top, 10.0);
    // Every line at the left margin, on the slot of its place in the area:
    // the empty lines take their step too.
    QStringList bySlot(shown.size());
    for (const PrintedLine &line : pages[0]) {
        QCOMPARE(line.x, 10.0);
        const qreal slot = (line.top - 10) / step;
        QCOMPARE(slot, std::round(slot));
        QVERIFY(slot >= 0 && slot < shown.size());
        bySlot[int(slot)] = line.text;
    }
    QCOMPARE(bySlot, shown);
}

void TestPrint::testWrappedParagraphPrintsScreenPieces_data()
{
    QTest::addColumn<int>("windowWidth");
    QTest::newRow("narrow window") << 700;
    QTest::newRow("wide window") << 1100;
}

void TestPrint::testWrappedParagraphPrintsScreenPieces()
{
    QFETCH(int, windowWidth);
    RecordingProvider provider;
    start(&provider);
    TFormMain &form = m_window->f();
    form.resize(windowWidth, form.height());
    QApplication::processEvents();
    form.ShowDrug(QString::number(m_first), form.Memo1);

    const QStringList shown = form.Memo1->displayLines();
    const QString paragraph = form.Memo1->lines().filter(LongText).value(0);
    QVERIFY(!paragraph.isEmpty());
    QVERIFY2(!shown.contains(paragraph), "the long item does not wrap on screen");
    form.tbPrintClick();

    const QStringList printed = texts(printedPages(provider.recording, &provider.device));
    QCOMPARE(printed, nonEmpty(shown));
    // The pieces of the paragraph come out in order and make it up whole.
    qsizetype start = 0;
    while (start < printed.size() && !printed[start].startsWith(QStringLiteral("【功能主治】")))
        ++start;
    QVERIFY2(start < printed.size(), qPrintable(printed.join('|')));
    QString joined;
    for (qsizetype i = start; i < printed.size() && joined.size() < paragraph.size(); ++i)
        joined += printed[i];
    QCOMPARE(joined, paragraph);
}

void TestPrint::testLongSheetContinuesOnNewPages()
{
    RecordingProvider provider;
    start(&provider);
    TFormMain &form = m_window->f();
    form.ShowDrug(QString::number(m_first), form.Memo1);
    const QStringList shown = form.Memo1->displayLines();
    form.tbPrintClick();
    const int step = lineStep(printedPages(provider.recording, &provider.device), &provider.device);
    QVERIFY(step > 0);

    // Room for five and a half lines below the top margin.
    const int perPage = 5;
    const int height = 10 + perPage * step + step / 2;
    provider.device.setSize(QSize(A4.width(), height));
    form.tbPrintClick();
    const auto pages = printedPages(provider.recording, &provider.device);

    QCOMPARE(pages.size(), int((shown.size() + perPage - 1) / perPage));
    QStringList bySlot(shown.size());
    for (int p = 0; p < pages.size(); ++p) {
        for (const PrintedLine &line : pages[p]) {
            QCOMPARE(line.x, 10.0);
            QVERIFY(line.top >= 10 && line.top + step <= height);
            const qreal slot = (line.top - 10) / step;
            QCOMPARE(slot, std::round(slot));
            const int index = p * perPage + int(slot);
            QVERIFY(index < shown.size());
            bySlot[index] = line.text;
        }
    }
    QCOMPARE(bySlot, shown);
}

void TestPrint::testOverWideLineBrokenAtPrintableWidth()
{
    // One inch wide: a few characters at 8 points. Short too, so that the
    // pieces run on over pages.
    const int width = 600;
    RecordingProvider provider(QSize(width, 3000));
    start(&provider);
    TFormMain &form = m_window->f();
    form.ShowDrug(QString::number(m_first), form.Memo1);
    const QStringList shown = nonEmpty(form.Memo1->displayLines());
    form.tbPrintClick();
    const auto pages = printedPages(provider.recording, &provider.device);
    QVERIFY(pages.size() > 1);
    const QStringList printed = texts(pages);
    QVERIFY(printed.size() > shown.size());

    QList<PrintedLine> all;
    for (const auto &page : pages)
        all << page;
    // Each line on screen comes out as pieces that fit and join up to it;
    // a piece ends only where the next character would not fit.
    qsizetype next = 0;
    for (const QString &line : shown) {
        QString joined;
        while (joined.size() < line.size()) {
            QVERIFY2(next < all.size(), qPrintable(QStringLiteral("missing the end of ") + line));
            const PrintedLine &piece = all[next++];
            const QFontMetrics metrics(piece.font, &provider.device);
            QCOMPARE(piece.x, 10.0);
            QVERIFY2(piece.x + metrics.horizontalAdvance(piece.text) <= width, qPrintable(piece.text));
            joined += piece.text;
            QVERIFY2(line.startsWith(joined), qPrintable(joined));
            if (joined.size() < line.size())
                QVERIFY(piece.x + metrics.horizontalAdvance(piece.text + line[joined.size()]) > width);
        }
    }
    QCOMPARE(next, all.size());
}

void TestPrint::testEmptyAreaPrintsOneBlankPage()
{
    RecordingProvider provider;
    start(&provider);
    TFormMain &form = m_window->f();
    QVERIFY(form.Memo1->toPlainText().isEmpty());
    form.tbPrint->click();

    QVERIFY(m_presenter->messages.isEmpty());
    QCOMPARE(provider.recording.titles, QStringList{QStringLiteral("Zelkano中草药")});
    QCOMPARE(provider.recording.paintersBegun, 1);
    QCOMPARE(provider.recording.paintersEnded, 1);
    QCOMPARE(provider.recording.jobsEnded, 1);
    QCOMPARE(provider.recording.pages.size(), 1);
    QVERIFY(provider.recording.pages[0].isEmpty());
}

void TestPrint::testPrintCommandFollowsActivePage_data()
{
    QTest::addColumn<int>("page");
    QTest::addColumn<int>("printedArea"); // 1: Memo1, 2: Memo2, 0: nothing
    QTest::newRow("simple query page") << int(TFormMain::SimpleQueryPage) << 1;
    QTest::newRow("combined query page") << int(TFormMain::CombinedQueryPage) << 2;
    QTest::newRow("drug entry page") << int(TFormMain::DrugEntryPage) << 0;
    QTest::newRow("help page") << int(TFormMain::HelpPage) << 0;
}

void TestPrint::testPrintCommandFollowsActivePage()
{
    QFETCH(int, page);
    QFETCH(int, printedArea);
    RecordingProvider provider;
    start(&provider);
    TFormMain &form = m_window->f();
    form.ShowDrug(QString::number(m_first), form.Memo1);
    form.ShowDrug(QString::number(m_second), form.Memo2);
    form.Pc->setActivePage(page);
    QApplication::processEvents();
    const QStringList memo1 = form.Memo1->displayLines();
    const QStringList memo2 = form.Memo2->displayLines();
    form.tbPrintClick();

    QVERIFY(m_presenter->messages.isEmpty());
    if (printedArea == 0) {
        QVERIFY(provider.recording.titles.isEmpty());
        QCOMPARE(provider.recording.paintersBegun, 0);
        return;
    }
    const QStringList printed = texts(printedPages(provider.recording, &provider.device));
    QCOMPARE(printed, nonEmpty(printedArea == 1 ? memo1 : memo2));
    const QString other = printedArea == 1 ? QStringLiteral("黄芪") : QStringLiteral("甘草");
    QVERIFY(!printed.join(QString()).contains(other));
}

void TestPrint::testFailedJobIsReportedAndLaterPrintTriesAgain()
{
    RecordingProvider provider;
    provider.failWith = QStringLiteral("没有默认打印机");
    start(&provider);
    TFormMain &form = m_window->f();
    form.ShowDrug(QString::number(m_first), form.Memo1);
    form.tbPrint->click();

    QCOMPARE(m_presenter->messages.size(), 1);
    const app::Message report = m_presenter->messages[0];
    QCOMPARE(report.form, app::MessageForm::ErrorReport);
    QCOMPARE(report.text, QStringLiteral("没有默认打印机."));
    QCOMPARE(provider.recording.paintersBegun, 0);

    provider.failWith.reset();
    m_presenter->clear();
    form.tbPrint->click();
    QVERIFY(m_presenter->messages.isEmpty());
    QCOMPARE(provider.recording.titles.size(), 2);
    QCOMPARE(texts(printedPages(provider.recording, &provider.device)), nonEmpty(form.Memo1->displayLines()));
}

void TestPrint::testNoDefaultPrinterIsReported()
{
    if (!QPrinterInfo::defaultPrinter().isNull())
        QSKIP("this system has a default printer");
    QString reason;
    try {
        DefaultPrinterProvider().begin(QStringLiteral("Zelkano中草药"));
        QFAIL("a job was begun without a default printer");
    } catch (const PrintError &e) {
        reason = e.message();
    }
    QVERIFY(reason.contains(QRegularExpression(QStringLiteral("[\\x{4e00}-\\x{9fff}]"))));

    // The window's own printer is the default one; the command goes on
    // after the report, and the next one meets the same check.
    start(nullptr);
    TFormMain &form = m_window->f();
    form.ShowDrug(QString::number(m_first), form.Memo1);
    for (int attempt = 1; attempt <= 2; ++attempt) {
        form.tbPrint->click();
        QCOMPARE(m_presenter->messages.size(), attempt);
        QCOMPARE(m_presenter->messages.back().form, app::MessageForm::ErrorReport);
        QCOMPARE(m_presenter->messages.back().text, app::Messages::errorReportText(reason));
    }
}

// Run by tests/cups/run_cups_print.sh against a private CUPS daemon, which
// then checks the spooled job.
void TestPrint::testPrintsThroughSpooler()
{
    const QString queue = qEnvironmentVariable("ZELKANO_SPOOLER_QUEUE");
    if (queue.isEmpty())
        QSKIP("needs a CUPS queue: run tests/cups/run_cups_print.sh");
    QCOMPARE(QPrinterInfo::defaultPrinter().printerName(), queue);
    start(nullptr);
    TFormMain &form = m_window->f();
    form.ShowDrug(QString::number(m_first), form.Memo1);
    QVERIFY(form.Memo1->toPlainText().contains(QStringLiteral("【药物名称】： 甘草")));
    form.tbPrint->click();
    QVERIFY2(m_presenter->messages.isEmpty(), qPrintable(m_presenter->texts().join('|')));
}

QTEST_MAIN(TestPrint)
#include "test_print.moc"
