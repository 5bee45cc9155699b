// The application shell: start-up outcomes, the page rules, page changes and
// the focus, the Enter key, and shutdown.
#include "GuiFixture.h"

#include "core/Guard.h"
#include "app/OpenProgress.h"
#include "data/DbError.h"
#include "data/Statement.h"
#include "data/sqlite/Schema.h"
#include "print/Printing.h"
#include "tools/SyntheticData.h"
#include "widgets/DbEdit.h"
#include "widgets/DbLookupComboBox.h"
#include "widgets/DbMemo.h"
#include "widgets/LabeledEdit.h"
#include "widgets/Memo.h"
#include "widgets/PageControl.h"
#include "widgets/TreeView.h"

#include <QAccessible>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QFontInfo>
#include <QFontMetrics>
#include <QImage>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTabBar>
#include <QTextBlock>
#include <QTest>
#include <QToolButton>
#include <algorithm>
#include <memory>
#include <utility>
#include <sqlite3.h>
#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

namespace {

const QString ConnectionFailed = QStringLiteral("数据库连接失败！原因：");

QByteArray readBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A print surface that only counts the jobs begun.
class CountingPrinter : public PrinterProvider
{
public:
    struct Job : PrintJob {
        QPaintDevice *device() override { return &image; }
        void newPage() override {}
        QImage image{600, 800, QImage::Format_RGB32};
    };
    std::unique_ptr<PrintJob> begin(const QString &) override
    {
        ++jobs;
        return std::make_unique<Job>();
    }
    int jobs = 0;
};

// One category with two drugs and one help topic with its text. Building an
// encrypted file takes most of a second, so it is built once and each test
// works on its own copy.
class ShellDatabase : public TestDatabase
{
public:
    static void buildTemplate()
    {
        auto db = std::make_unique<TestDatabase>();
        db->addCategory(QStringLiteral("01"), QStringLiteral("补虚药"));
        s_licorice = db->addDrug({{QStringLiteral("LB"), QStringLiteral("01")},
                                  {QStringLiteral("药物名称"), QStringLiteral("甘草")},
                                  {QStringLiteral("英文名称"), QStringLiteral("Licorice")}});
        db->addDrug({{QStringLiteral("LB"), QStringLiteral("01")}, {QStringLiteral("药物名称"), QStringLiteral("黄芪")}});
        db->addHelpTopic(QStringLiteral("01"), QStringLiteral("使用说明"));
        db->addHelpText(QStringLiteral("01"), QStringLiteral("第一行"));
        s_template = std::move(db);
    }
    static void dropTemplate() { s_template.reset(); }

    ShellDatabase() : TestDatabase(CopyOf{templatePath()}) {}

    QString englishName() const
    {
        return scalar(QStringLiteral("SELECT 英文名称 FROM DRUG_ZB WHERE ID = ?"), {QString::number(s_licorice)});
    }
    int drugCount() const { return scalar(QStringLiteral("SELECT count(*) FROM DRUG_ZB")).toInt(); }

private:
    static QString templatePath()
    {
        if (!s_template)
            qFatal("no template of the test database");
        return s_template->path();
    }

    static inline std::unique_ptr<TestDatabase> s_template;
    static inline qint64 s_licorice = 0;
};

// A real SQLCipher file, but keyed with another password.
void writeForeignKeyedDatabase(const QString &path)
{
    sqlite3 *raw = nullptr;
    const int rc = sqlite3_open_v2(path.toUtf8().constData(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    std::unique_ptr<sqlite3, decltype(&sqlite3_close_v2)> db(raw, &sqlite3_close_v2);
    QCOMPARE(rc, SQLITE_OK);
    QCOMPARE(sqlite3_key(db.get(), "11111111", 8), SQLITE_OK);
    QCOMPARE(sqlite3_exec(db.get(), "CREATE TABLE DRUG_LB (BM TEXT, MC TEXT);", nullptr, nullptr, nullptr), SQLITE_OK);
}

void writeRandomBytes(const QString &path)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QByteArray bytes(8192, '\0');
    for (char &c : bytes)
        c = char(QRandomGenerator::global()->bounded(256));
    file.write(bytes);
}

QStringList expectedCommands(int page)
{
    switch (page) {
    case TFormMain::SimpleQueryPage:
    case TFormMain::CombinedQueryPage:
        return {QStringLiteral("打印[&P]"), QStringLiteral("退出[&E]")};
    case TFormMain::DrugEntryPage:
        return {QStringLiteral("保存[&S]"), QStringLiteral("删除[&D]"), QStringLiteral("退出[&E]")};
    default:
        return {QStringLiteral("保存[&S]"), QStringLiteral("退出[&E]")};
    }
}

const QStringList AllCommands{QStringLiteral("保存[&S]"), QStringLiteral("删除[&D]"), QStringLiteral("打印[&P]"),
                              QStringLiteral("退出[&E]")};

// Captions of the shown toolbar buttons from left to right; a button that is
// not where packing from the left puts it is listed with its position.
QStringList shownCommands(TFormMain &f)
{
    QApplication::processEvents(); // the toolbar lays out on a posted request
    QList<QToolButton *> shown;
    for (QToolButton *b : {f.tbSave, f.tbDelete, f.tbPrint, f.tbExit})
        if (b->isVisible())
            shown << b;
    std::sort(shown.begin(), shown.end(), [](QToolButton *a, QToolButton *b) { return a->x() < b->x(); });
    QStringList captions;
    int x = 0;
    for (QToolButton *b : shown) {
        captions << (b->x() == x ? b->text() : QStringLiteral("%1 at %2").arg(b->text()).arg(b->x()));
        x += b->width();
    }
    return captions;
}

QWidget *firstControl(TFormMain &f, int page)
{
    const QList<QWidget *> first{f.tv1, f.tv2, f.Edit1, f.DBMemo1};
    return first[page];
}

QWidget *focused()
{
    QApplication::processEvents();
    return QApplication::focusWidget();
}

void focusOn(QWidget *widget)
{
    widget->setFocus(Qt::OtherFocusReason);
    QApplication::processEvents();
}

void clickTab(TFormMain &f, int page)
{
    QTabBar *tabs = f.Pc->tabBar();
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(page).center());
    QApplication::processEvents();
}

// A key as the user types it: to the focused control, else to the window.
void press(TFormMain &f, Qt::Key key, Qt::KeyboardModifiers modifiers = {})
{
    QWidget *target = QApplication::focusWidget();
    QTest::keyClick(target ? target : &f, key, modifiers);
    QApplication::processEvents();
}

// Alt with a toolbar command's letter. A button's accelerator clicks it only
// after a short press animation, so wait that out before looking.
void pressCommand(TFormMain &f, Qt::Key key)
{
    press(f, key, Qt::AltModifier);
    QTest::qWait(300);
}

enum class Change { Click, Accelerator, CtrlTab, CtrlShiftTab };

// Changes the page as the user would; the accelerator is the target page's.
void changePage(TFormMain &f, Change how, int to)
{
    static const Qt::Key accelerators[4] = {Qt::Key_J, Qt::Key_G, Qt::Key_unknown, Qt::Key_B};
    switch (how) {
    case Change::Click: clickTab(f, to); break;
    case Change::Accelerator: press(f, accelerators[to], Qt::AltModifier); break;
    case Change::CtrlTab: press(f, Qt::Key_Tab, Qt::ControlModifier); break;
    case Change::CtrlShiftTab: press(f, Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier); break;
    }
}

QString widgetName(QWidget *w)
{
    return w ? (w->objectName().isEmpty() ? QString::fromLatin1(w->metaObject()->className()) : w->objectName())
             : QStringLiteral("(none)");
}

// What a screen reader says for the control.
QString accessibleName(QWidget *w)
{
    QAccessibleInterface *face = QAccessible::queryAccessibleInterface(w);
    return face ? face->text(QAccessible::Name) : QString();
}

} // namespace

Q_DECLARE_METATYPE(Change)

class TestShell : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { ShellDatabase::buildTemplate(); }
    void cleanupTestCase() { ShellDatabase::dropTemplate(); }

    // --- start-up ---
    void testMissingDatabaseShowsOneMessageAndNoWindow()
    {
        QTemporaryDir dir;
        GuiFixture fixture(dir.filePath(QStringLiteral("drug.mdb")));
        RecordingPresenter &presenter = fixture.presenter;
        TFormMain &f = fixture.f();

        QCOMPARE(fixture.startResult(), TFormMain::StartResult::MissingDatabase);
        QCOMPARE(presenter.messages.size(), 1);
        const app::Message &m = presenter.messages.first();
        QCOMPARE(m.text, QStringLiteral("数据库文件不存在！"));
        QCOMPARE(m.title, QStringLiteral("提示："));
        QCOMPARE(m.form, app::MessageForm::Framework);
        QCOMPARE(m.icon, app::MessageIcon::None);
        // No connection was tried and no later step ran.
        QVERIFY(!f.MainConnection.isOpen());
        QVERIFY(!f.SQL_LB.isActive());
        const QWidgetList windows = QApplication::topLevelWidgets();
        QVERIFY(std::none_of(windows.begin(), windows.end(), [](QWidget *w) { return w->isVisible(); }));
    }

    void testFailedConnectionReportsBothAttemptsThenOpensUnruled_data()
    {
        QTest::addColumn<QString>("file");
        QTest::newRow("file keyed with another password") << "foreign key";
        QTest::newRow("random bytes") << "random";
#ifdef Q_OS_UNIX
        // Reading a FIFO waits for a writer: the start must not.
        QTest::newRow("FIFO") << "fifo";
        QTest::newRow("symbolic link to a FIFO") << "link to fifo";
#endif
    }

    void testFailedConnectionReportsBothAttemptsThenOpensUnruled()
    {
        QFETCH(QString, file);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("drug.mdb"));
        if (file == QLatin1String("foreign key")) {
            writeForeignKeyedDatabase(path);
        } else if (file == QLatin1String("random")) {
            writeRandomBytes(path);
        } else {
#ifdef Q_OS_UNIX
            const QString fifo = file == QLatin1String("fifo") ? path : dir.filePath(QStringLiteral("pipe"));
            QCOMPARE(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
            if (fifo != path)
                QVERIFY(QFile::link(fifo, path));
#endif
        }
        GuiFixture fixture(path);
        RecordingPresenter &presenter = fixture.presenter;
        TFormMain &f = fixture.f();

        QCOMPARE(fixture.startResult(), TFormMain::StartResult::Running);
        QCOMPARE(presenter.messages.size(), 2);
        const app::Message &first = presenter.messages[0];
        QCOMPARE(first.form, app::MessageForm::Framework);
        QCOMPARE(first.title, QStringLiteral("提示："));
        QCOMPARE(first.icon, app::MessageIcon::None);
        QVERIFY2(first.text.startsWith(ConnectionFailed), qPrintable(first.text));
        const QString reason = first.text.mid(ConnectionFailed.size());
        QVERIFY2(!reason.isEmpty(), "the engine's reason is missing");

        // The category tree's first statement tried again, on demand, and failed alike.
        const app::Message &second = presenter.messages[1];
        QCOMPARE(second.form, app::MessageForm::ErrorReport);
        QCOMPARE(second.title, QStringLiteral("Zelkano中草药查询大全"));
        QCOMPARE(second.icon, app::MessageIcon::Stop);
        QCOMPARE(second.text, app::Messages::errorReportText(reason));

        QVERIFY(f.isVisible());
        QCOMPARE(f.tv1->nodeCount(), 0);
        QCOMPARE(f.tv4->nodeCount(), 0);
        QVERIFY(!f.SQL_LB.isActive());
        QCOMPARE(f.Pc->activePage(), int(TFormMain::SimpleQueryPage));
        QCOMPARE(shownCommands(f), AllCommands);

        // The rules apply from the first page change on, without further messages.
        clickTab(f, TFormMain::CombinedQueryPage);
        QCOMPARE(shownCommands(f), expectedCommands(TFormMain::CombinedQueryPage));
        clickTab(f, TFormMain::SimpleQueryPage);
        QCOMPARE(shownCommands(f), expectedCommands(TFormMain::SimpleQueryPage));
        QCOMPARE(presenter.messages.size(), 2);
    }

    // The drug.mdb of the Access version is converted at the first start,
    // kept as a backup under a name no other file has, and the second start
    // opens the converted file silently. A file that cannot be converted
    // stays as it was and the start goes on as after a failed connection.
    void testAccessDatabaseIsConvertedOnceAtStart_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("oracle");
        QTest::addColumn<int>("earlierBackups");
        QTest::addColumn<QString>("backup");
        QTest::newRow("jet4 with password") << "drug_jet4_pw.mdb" << "expected.json" << 0 << "drug.mdb.access-backup";
        QTest::newRow("jet3, two backups there") << "drug_jet3_gbk.mdb" << "expected_jet3.json" << 2
                                                 << "drug.mdb.access-backup.2";
        QTest::newRow("damaged") << "corrupt_jet4_bad_usage_map.mdb" << "" << 1 << "";
    }

    void testAccessDatabaseIsConvertedOnceAtStart()
    {
        QFETCH(QString, file);
        QFETCH(QString, oracle);
        QFETCH(int, earlierBackups);
        QFETCH(QString, backup);
        const QDir fixtures(QStringLiteral(JET_FIXTURES_DIR));
        if (!fixtures.exists(file))
            QSKIP(qPrintable(QStringLiteral("the Access fixtures are not at %1").arg(fixtures.path())));
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("drug.mdb"));
        QVERIFY(QFile::copy(fixtures.filePath(file), path));
        QStringList before{QStringLiteral("drug.mdb")};
        for (int n = 0; n < earlierBackups; ++n) {
            const QString name = QStringLiteral("drug.mdb.access-backup") + (n ? QStringLiteral(".%1").arg(n) : QString());
            QFile older(dir.filePath(name));
            QVERIFY(older.open(QIODevice::WriteOnly) && older.write("older") == 5);
            before << name;
        }
        const QByteArray original = readBytes(path);
        auto files = [&] { return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden, QDir::Name); };
        {
            GuiFixture fixture(path);
            RecordingPresenter &presenter = fixture.presenter;
            TFormMain &f = fixture.f();
            QCOMPARE(fixture.startResult(), TFormMain::StartResult::Running);
            QVERIFY(f.isVisible());
            if (backup.isEmpty()) {
                QCOMPARE(presenter.messages.size(), 2);
                const app::Message &failed = presenter.messages[0];
                QCOMPARE(failed.form, app::MessageForm::Framework);
                QCOMPARE(failed.title, QStringLiteral("提示："));
                QVERIFY2(failed.text.startsWith(ConnectionFailed + QStringLiteral("旧版 Access 数据库无法转换")),
                         qPrintable(failed.text));
                QVERIFY2(failed.text.contains(QStringLiteral("崩溃")), qPrintable(failed.text));
                QCOMPARE(presenter.messages[1].form, app::MessageForm::ErrorReport);
                QCOMPARE(f.tv1->nodeCount(), 0);
                QCOMPARE(f.tv4->nodeCount(), 0);
                QCOMPARE(shownCommands(f), AllCommands);
                QCOMPARE(readBytes(path), original);
                before.sort();
                QCOMPARE(files(), before);
                return;
            }
            QCOMPARE(presenter.messages.size(), 1);
            const app::Message &done = presenter.messages[0];
            QCOMPARE(done.form, app::MessageForm::Framework);
            QCOMPARE(done.title, QStringLiteral("提示："));
            QCOMPARE(done.icon, app::MessageIcon::None);
            QVERIFY2(done.text.contains(QStringLiteral("“%1”").arg(backup)), qPrintable(done.text));

            // The tree holds the file's categories and drugs, keyed by their IDs.
            const QJsonObject expected =
                QJsonDocument::fromJson(readBytes(fixtures.filePath(oracle))).object();
            QStringList want, got;
            for (const QJsonValue &category : expected[QStringLiteral("DRUG_LB")].toArray()) {
                want << category[QStringLiteral("MC")].toString();
                for (const QJsonValue &drug : expected[QStringLiteral("DRUG_ZB")].toArray()) {
                    if (drug[QStringLiteral("LB")] == category[QStringLiteral("BM")])
                        want << QStringLiteral("  %1 %2").arg(drug[QStringLiteral("ID")].toInt())
                                    .arg(trimText(drug[QStringLiteral("药物名称")].toString()));
                }
            }
            for (int i = 0; i < f.tv1->topLevelItemCount(); ++i) {
                QTreeWidgetItem *category = f.tv1->topLevelItem(i);
                got << category->text(0);
                for (int j = 0; j < category->childCount(); ++j) {
                    auto *drug = static_cast<TreeNode *>(category->child(j));
                    got << QStringLiteral("  %1 %2").arg(drug->nodeKey()->key, drug->text(0));
                }
            }
            QCOMPARE(got, want);
            QCOMPARE(f.tv4->nodeCount(), int(expected[QStringLiteral("HELP_LB")].toArray().size()));
        }
        QCOMPARE(readBytes(dir.filePath(backup)), original);
        for (int n = 0; n < earlierBackups; ++n)
            QCOMPARE(readBytes(dir.filePath(before[n + 1])), QByteArray("older"));
        QStringList after = before;
        after << backup;
        after.sort();
        QCOMPARE(files(), after);

        GuiFixture second(path);
        QCOMPARE(second.startResult(), TFormMain::StartResult::Running);
        QCOMPARE(second.presenter.texts(), QStringList());
        QVERIFY(second.f().tv1->nodeCount() > 0);
        QCOMPARE(files(), after);
    }

    // drug.mdb is there at every instant of a conversion. Killed at any of
    // its steps, or between the two renames an earlier build made, the
    // program leaves a drug.mdb, no helper goes on writing beside it, and
    // the next start ends with the converted file, one backup and nothing
    // else.
    void testKilledConversionLeavesDrugMdbAndNextStartSettlesIt_data()
    {
        QTest::addColumn<QString>("step");
        for (const char *step : {"importing", "imported", "verified", "backed up", "replaced"})
            QTest::newRow(step) << QString::fromLatin1(step);
        QTest::newRow("earlier build, between its renames") << QStringLiteral("moved aside");
    }

    void testKilledConversionLeavesDrugMdbAndNextStartSettlesIt()
    {
        QFETCH(QString, step);
        const QDir fixtures(QStringLiteral(JET_FIXTURES_DIR));
        const QString fixture = fixtures.filePath(QStringLiteral("drug_jet4_pw.mdb"));
        if (!QFileInfo::exists(fixture))
            QSKIP(qPrintable(QStringLiteral("the Access fixtures are not at %1").arg(fixtures.path())));
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("drug.mdb"));
        const QString backup = dir.filePath(QStringLiteral("drug.mdb.access-backup"));
        QVERIFY(QFile::copy(fixture, path));
        const QByteArray original = readBytes(path);

        if (step == QLatin1String("moved aside")) {
            QProcess drugdb;
            drugdb.start(QStringLiteral(DRUGDB_PATH),
                         {QStringLiteral("import"), path, QStringLiteral("--out"), path + QStringLiteral(".converting")});
            QVERIFY(drugdb.waitForFinished(60000));
            QCOMPARE(drugdb.exitCode(), 0);
            QVERIFY(QFile::rename(path, backup));
        } else {
            QProcess child;
            child.start(QStringLiteral(KILL_CONVERTER_PATH), {path, step});
            QVERIFY2(child.waitForStarted(5000), qPrintable(child.errorString()));
            QByteArray said;
            while (!said.split('\n').contains(step.toUtf8()) && child.waitForReadyRead(60000))
                said += child.readAllStandardOutput();
            QVERIFY2(said.split('\n').contains(step.toUtf8()), said.constData());
            if (step == QLatin1String("importing"))
                QTest::qWait(150); // drugdb has started
            child.kill();
            QVERIFY(child.waitForFinished(5000));
            QVERIFY(QFileInfo(path).isFile());
            if (step != QLatin1String("replaced"))
                QCOMPARE(readBytes(path), original);
#ifdef Q_OS_LINUX
            // No helper outlives the killed program.
            QTest::qWait(200);
            for (const QString &pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
                QByteArray command = readBytes(QStringLiteral("/proc/%1/cmdline").arg(pid));
                QVERIFY2(!command.contains(QFile::encodeName(dir.path())), command.replace('\0', ' ').constData());
            }
#endif
        }

        GuiFixture next(path);
        RecordingPresenter &presenter = next.presenter;
        QCOMPARE(next.startResult(), TFormMain::StartResult::Running);
        QVERIFY(next.f().tv1->nodeCount() > 0);
        QCOMPARE(presenter.count(app::MessageForm::ErrorReport), 0);
        // The conversion's message where this start converted.
        const bool converted = step == QLatin1String("replaced") || step == QLatin1String("moved aside");
        QCOMPARE(presenter.count(app::MessageForm::Framework), converted ? 0 : 1);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name),
                 (QStringList{QStringLiteral("drug.mdb"), QStringLiteral("drug.mdb.access-backup")}));
        QCOMPARE(readBytes(backup), original);
    }

    void testValidDatabaseStartsSilentlyOnSimpleQueryPage()
    {
        ShellDatabase data;
        GuiFixture fixture(data.path());
        RecordingPresenter &presenter = fixture.presenter;
        TFormMain &f = fixture.f();

        QCOMPARE(fixture.startResult(), TFormMain::StartResult::Running);
        QCOMPARE(presenter.texts(), QStringList());
        QVERIFY(f.isVisible());
        QCOMPARE(f.Pc->activePage(), int(TFormMain::SimpleQueryPage));
        QCOMPARE(f.Pc->tabBar()->currentIndex(), int(TFormMain::SimpleQueryPage));
        QCOMPARE(shownCommands(f), expectedCommands(TFormMain::SimpleQueryPage));
        // Every step of the sequence ran: both trees, the first topic, the category list.
        QCOMPARE(f.tv1->nodeCount(), 3);
        QCOMPARE(f.tv4->nodeCount(), 1);
        QCOMPARE(f.DBMemo1->toPlainText(), QStringLiteral("第一行"));
        QVERIFY(f.SQL_LB.isActive());
    }

    // A file of the previous layout is upgraded at the start, in a dialog
    // that tells the step and the share done and goes when it is done.
    void testPreviousLayoutIsUpgradedAtStartWithProgress()
    {
        ShellDatabase data;
        tools::makePreviousLayout(data.path());
        struct Watch : QObject {
            QStringList labels;
            bool eventFilter(QObject *watched, QEvent *event) override
            {
                if (auto *dialog = qobject_cast<QProgressDialog *>(watched); dialog && event->type() == QEvent::Show)
                    labels << dialog->labelText();
                return false;
            }
        } watch;
        qApp->installEventFilter(&watch);
        struct Restore {
            int delay;
            ~Restore() { app::OpenProgressDelayMs = delay; }
        } restore{std::exchange(app::OpenProgressDelayMs, 0)};
        {
            GuiFixture fixture(data.path());
            TFormMain &f = fixture.f();
            QCOMPARE(fixture.startResult(), TFormMain::StartResult::Running);
            QCOMPARE(fixture.presenter.texts(), QStringList());
            QCOMPARE(f.tv1->nodeCount(), 3);
            QVERIFY(f.findChildren<QProgressDialog *>().isEmpty());
        }
        QCOMPARE(watch.labels.size(), 1);
        QVERIFY2(watch.labels.first().contains(QStringLiteral("升级")), qPrintable(watch.labels.first()));
        QCOMPARE(data.scalar(QStringLiteral("pragma user_version")), QString::number(data::SchemaVersion));
    }

    void testWindowFrame()
    {
        ShellDatabase data;
        GuiFixture fixture(data.path());
        TFormMain &f = fixture.f();

        QCOMPARE(f.windowTitle(), QStringLiteral("Zelkano中草药查询大全 Ver5.1105"));
        QCOMPARE(QCoreApplication::applicationName(), QStringLiteral("Zelkano中草药查询大全"));
        QVERIFY(!f.windowIcon().isNull());
        QCOMPARE(f.font().pixelSize(), 12);
        QCOMPARE(f.font().families().value(0), QStringLiteral("宋体"));
        // Where 宋体 is missing a Song face with its metrics stands in; a
        // Chinese character two blanks wide keeps the record sheet aligned.
        const QFontMetrics metrics(f.font());
        const QString face = QFontInfo(f.font()).family();
        QVERIFY2((QStringList{QStringLiteral("宋体"), QStringLiteral("SimSun"), QStringLiteral("NSimSun"),
                              QStringLiteral("AR PL SungtiL GB"), QStringLiteral("AR PL UMing CN")})
                     .contains(face),
                 qPrintable(face));
        QCOMPARE(metrics.horizontalAdvance(QLatin1Char(' ')), 6);
        QCOMPARE(metrics.horizontalAdvance(QStringLiteral("药")), 12);
        QCOMPARE(metrics.height(), 12);

        QStringList captions;
        for (int i = 0; i < f.Pc->pageCount(); ++i)
            captions << f.Pc->tabBar()->tabText(i);
        QCOMPARE(captions, (QStringList{QStringLiteral("简单查询[&J]"), QStringLiteral("高级查询[&G]"),
                                        QStringLiteral("药物输入"), QStringLiteral("软件帮助[&B]")}));
        QCOMPARE(f.ToolBar1->geometry(), QRect(431, 4, 304, 22));
        QCOMPARE(f.Pc->page(0)->size(), QSize(734, 425));
        for (const ImageList *list : {&f.ImageList_TreeView, &f.ImageList_ToolButton}) {
            QCOMPARE(list->count(), 4);
            for (int i = 0; i < 4; ++i) {
                QCOMPARE(list->pixmap(i).size(), QSize(16, 16));
                QVERIFY(list->pixmap(i).hasAlphaChannel());
            }
        }

        // No minimum size: the window shrinks below its controls' extent.
        QCOMPARE(f.minimumSize(), QSize(0, 0));
        f.resize(120, 90);
        QApplication::processEvents();
        QCOMPARE(f.size(), QSize(120, 90));
    }

    void testEntryEditorsShowEveryLineWhole()
    {
        ShellDatabase data;
        GuiFixture fixture(data.path());
        TFormMain &f = fixture.f();
        clickTab(f, TFormMain::DrugEntryPage);
        typeText(f.Edit1, QStringLiteral("甘草"));
        focusOn(f.DBEdit1);
        QVERIFY(f.SQL_ZB.isActive());

        // As many whole lines as the window font's 12-pixel lines fill: two
        // in the 34-pixel editors, four in the 55-pixel one; the next line is
        // not shown at all rather than cut off.
        for (DbMemo *memo : f.DBMemos) {
            const int lines = memo->height() == 34 ? 2 : 4;
            QCOMPARE(memo->height(), lines == 2 ? 34 : 55);
            QStringList text;
            for (int i = 1; i <= lines + 1; ++i)
                text << QStringLiteral("第%1行功能主治").arg(i);
            memo->setPlainText(text.join(QLatin1Char('\n')));
            memo->scrollToTop();
            QApplication::processEvents();
            const auto lineRect = [memo](int number) {
                QTextCursor cursor(memo->document()->findBlockByNumber(number - 1));
                return memo->cursorRect(cursor);
            };
            const int bottom = memo->viewport()->height();
            const QString where = QStringLiteral("%1: lines %2 to %3 at %4..%5, %6 beyond, the area %7 high")
                                      .arg(memo->objectName())
                                      .arg(1)
                                      .arg(lines)
                                      .arg(lineRect(1).top())
                                      .arg(lineRect(lines).bottom())
                                      .arg(lineRect(lines + 1).top())
                                      .arg(bottom);
            QVERIFY2(lineRect(1).top() >= 0 && lineRect(lines).bottom() < bottom, qPrintable(where));
            QVERIFY2(lineRect(lines + 1).top() >= bottom, qPrintable(where));
        }
    }

    void testEveryControlIsNamedForScreenReaders()
    {
        ShellDatabase data;
        GuiFixture fixture(data.path());
        TFormMain &f = fixture.f();

        // Every input control is named by the label beside it.
        QList<std::pair<QWidget *, QString>> labelled{{f.LabeledEdit_mc, QStringLiteral("药物名称：")},
                                                      {f.Edit1, QStringLiteral("药物名称：")},
                                                      {f.DBLookupComboBox1, QStringLiteral("类别：")},
                                                      {f.DBEdit1, QStringLiteral("英文名称：")}};
        const QStringList memoLabels{QStringLiteral("别名："),     QStringLiteral("来源："),
                                     QStringLiteral("植物形态一："), QStringLiteral("植物形态二："),
                                     QStringLiteral("生长地："),   QStringLiteral("采制："),
                                     QStringLiteral("化学成分："), QStringLiteral("性味："),
                                     QStringLiteral("功能主治："), QStringLiteral("附注：")};
        for (int i = 0; i < 10; ++i)
            labelled.append({f.DBMemos[i], memoLabels[i]});
        for (LabeledEdit *edit : f.LabeledEdits)
            labelled.append({edit, edit->label()->text()});
        QStringList wrong;
        for (const auto &[control, label] : labelled)
            if (accessibleName(control) != label)
                wrong << QStringLiteral("%1 '%2', expected '%3'").arg(widgetName(control), accessibleName(control), label);
        QCOMPARE(wrong, QStringList());

        // Every other control a user reaches has a name too: trees, text
        // areas, buttons, the tabs and the toolbar commands.
        QList<QWidget *> reached;
        for (QWidget *w = f.nextInFocusChain(); w != &f; w = w->nextInFocusChain())
            if (w->window() == &f && (w->focusPolicy() & Qt::TabFocus))
                reached << w;
        for (QToolButton *b : {f.tbSave, f.tbDelete, f.tbPrint, f.tbExit})
            reached << b;
        QVERIFY(reached.size() > 30);
        QStringList unnamed;
        for (QWidget *w : reached)
            if (accessibleName(w).trimmed().isEmpty())
                unnamed << widgetName(w);
        QCOMPARE(unnamed, QStringList());
    }

    // --- messages ---
    void testErrorReportFullStop_data()
    {
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("shown");
        QTest::newRow("empty") << QString() << QString();
        QTest::newRow("letter") << QStringLiteral("no such table: DRUG_LB") << QStringLiteral("no such table: DRUG_LB.");
        QTest::newRow("full stop") << QStringLiteral("done.") << QStringLiteral("done.");
        QTest::newRow("below the stop: hyphen") << QStringLiteral("a-") << QStringLiteral("a-");
        QTest::newRow("below the stop: blank") << QStringLiteral("a ") << QStringLiteral("a ");
        QTest::newRow("below the stop: line feed") << QStringLiteral("a\n") << QStringLiteral("a\n");
        QTest::newRow("just above the stop: slash") << QStringLiteral("a/") << QStringLiteral("a/.");
        QTest::newRow("digit") << QStringLiteral("code 5") << QStringLiteral("code 5.");
        QTest::newRow("Chinese full stop") << QStringLiteral("失败。") << QStringLiteral("失败。.");
        QTest::newRow("non-BMP last") << QStringLiteral("𠀀") << QStringLiteral("𠀀.");
    }

    void testErrorReportFullStop()
    {
        QFETCH(QString, message);
        QFETCH(QString, shown);
        QCOMPARE(app::Messages::errorReportText(message), shown);
        RecordingPresenter presenter;
        app::Messages::errorReport(message);
        QCOMPARE(presenter.texts(), QStringList{shown});
    }

    void testEscapedErrorReachesErrorReport_data()
    {
        QTest::addColumn<bool>("printer");
        QTest::newRow("database error") << false;
        QTest::newRow("printer fault") << true;
    }

    // The window puts in the error report that the guard hands its catch to.
    void testEscapedErrorReachesErrorReport()
    {
        QFETCH(bool, printer);
        ShellDatabase data;
        GuiFixture fixture(data.path());
        RecordingPresenter &presenter = fixture.presenter;
        const QString text = printer ? QStringLiteral("打印机无法开始新的一页") : QStringLiteral("数据集 SQL_1 已关闭");
        core::guard([&] {
            if (printer)
                throw PrintError(text);
            throw data::DbError(text);
        })();
        QCOMPARE(presenter.messages.size(), 1);
        QCOMPARE(presenter.messages[0].form, app::MessageForm::ErrorReport);
        QCOMPARE(presenter.messages[0].text, text + QStringLiteral("."));
        QCOMPARE(presenter.messages[0].title, QStringLiteral("Zelkano中草药查询大全"));
        QCOMPARE(presenter.messages[0].icon, app::MessageIcon::Stop);
    }

    // --- page rules ---
    void testPageRulesOnEveryChange_data()
    {
        QTest::addColumn<int>("from");
        QTest::addColumn<Change>("how");
        QTest::addColumn<int>("to");
        const char *names[4] = {"simple", "combined", "entry", "help"};
        for (int from = 0; from < 4; ++from) {
            for (int to = 0; to < 4; ++to) {
                if (from == to)
                    continue;
                QTest::addRow("click %s to %s", names[from], names[to]) << from << Change::Click << to;
                if (to != TFormMain::DrugEntryPage) // it has no accelerator
                    QTest::addRow("Alt from %s to %s", names[from], names[to]) << from << Change::Accelerator << to;
            }
            QTest::addRow("Ctrl+Tab from %s", names[from]) << from << Change::CtrlTab << (from + 1) % 4;
            QTest::addRow("Ctrl+Shift+Tab from %s", names[from]) << from << Change::CtrlShiftTab << (from + 3) % 4;
        }
    }

    void testPageRulesOnEveryChange()
    {
        QFETCH(int, from);
        QFETCH(Change, how);
        QFETCH(int, to);
        ShellDatabase data;
        GuiFixture fixture(data.path());
        RecordingPresenter &presenter = fixture.presenter;
        TFormMain &f = fixture.f();

        if (from != 0)
            clickTab(f, from);
        QCOMPARE(f.Pc->activePage(), from);
        QCOMPARE(shownCommands(f), expectedCommands(from));
        focusOn(firstControl(f, from));
        changePage(f, how, to);
        QCOMPARE(f.Pc->activePage(), to);
        QVERIFY(f.Pc->page(to)->isVisible());
        QVERIFY(!f.Pc->page(from)->isVisible());
        QCOMPARE(shownCommands(f), expectedCommands(to));
        // The focus follows to the new page's first control (tv1 -> Edit1 and so on).
        QCOMPARE(widgetName(focused()), widgetName(firstControl(f, to)));
        QCOMPARE(presenter.texts(), QStringList());
    }

    void testHiddenCommandsIgnoreTheirAccelerators()
    {
        ShellDatabase data;
        CountingPrinter printer;
        GuiFixture fixture(data.path());
        RecordingPresenter &presenter = fixture.presenter;
        TFormMain &f = fixture.f();
        f.setPrinterProvider(&printer);
        QSignalSpy saves(f.tbSave, &QToolButton::clicked);
        QSignalSpy deletes(f.tbDelete, &QToolButton::clicked);
        QSignalSpy prints(f.tbPrint, &QToolButton::clicked);

        // A loaded and edited record, so that a stray save or delete would show in the file.
        clickTab(f, TFormMain::DrugEntryPage);
        typeText(f.Edit1, QStringLiteral("甘草"));
        focusOn(f.DBEdit1);
        QVERIFY(f.SQL_ZB.isActive());
        f.DBEdit1->selectAll();
        typeText(f.DBEdit1, QStringLiteral("Radix"));
        QCOMPARE(f.SQL_ZB.state(), data::DataSetState::Edit);

        // With the focus in an edit box: the letters must not be typed either.
        for (LabeledEdit *box : {f.LabeledEdit_mc, f.LabeledEdits[1]}) {
            clickTab(f, box == f.LabeledEdit_mc ? TFormMain::SimpleQueryPage : TFormMain::CombinedQueryPage);
            box->setText(QStringLiteral("黄芪"));
            focusOn(box);
            pressCommand(f, Qt::Key_S);
            pressCommand(f, Qt::Key_D);
            QCOMPARE(box->text(), QStringLiteral("黄芪"));
        }
        QCOMPARE(saves.count(), 0);
        QCOMPARE(deletes.count(), 0);
        clickTab(f, TFormMain::HelpPage);
        pressCommand(f, Qt::Key_D);
        pressCommand(f, Qt::Key_P);
        clickTab(f, TFormMain::DrugEntryPage);
        focusOn(f.Edit1);
        pressCommand(f, Qt::Key_P);
        QCOMPARE(f.Edit1->text(), QStringLiteral("甘草"));
        QCOMPARE(deletes.count(), 0);
        QCOMPARE(prints.count(), 0);
        QCOMPARE(printer.jobs, 0);
        QCOMPARE(data.drugCount(), 2);
        QCOMPARE(data.englishName(), QStringLiteral("Licorice"));
        QCOMPARE(presenter.texts(), QStringList());

        // Shown, the same keys do their work.
        pressCommand(f, Qt::Key_S);
        QCOMPARE(saves.count(), 1);
        QCOMPARE(presenter.texts(), QStringList{QStringLiteral("保存成功！")});
        QCOMPARE(data.englishName(), QStringLiteral("Radix"));
        pressCommand(f, Qt::Key_D);
        QCOMPARE(data.drugCount(), 1);
        clickTab(f, TFormMain::SimpleQueryPage);
        pressCommand(f, Qt::Key_P);
        QCOMPARE(printer.jobs, 1);
    }

    void testToolbarButtonsNeverTakeFocus()
    {
        ShellDatabase data;
        CountingPrinter printer;
        GuiFixture fixture(data.path());
        RecordingPresenter &presenter = fixture.presenter;
        TFormMain &f = fixture.f();
        f.setPrinterProvider(&printer);

        focusOn(f.LabeledEdit_mc);
        QTest::mouseClick(f.tbPrint, Qt::LeftButton);
        QCOMPARE(printer.jobs, 1);
        QCOMPARE(focused(), static_cast<QWidget *>(f.LabeledEdit_mc));

        clickTab(f, TFormMain::HelpPage);
        focusOn(f.tv4);
        QTest::mouseClick(f.tbSave, Qt::LeftButton);
        QCOMPARE(presenter.texts(), QStringList{QStringLiteral("保存成功！")});
        QCOMPARE(focused(), static_cast<QWidget *>(f.tv4));
    }

    // --- page change and focus ---
    void testFocusOnTabRowStaysThere()
    {
        ShellDatabase data;
        GuiFixture fixture(data.path());
        TFormMain &f = fixture.f();
        QWidget *tabs = f.Pc->tabBar();

        focusOn(tabs);
        QCOMPARE(focused(), tabs);
        clickTab(f, TFormMain::DrugEntryPage);
        QCOMPARE(focused(), tabs);
        changePage(f, Change::Accelerator, TFormMain::HelpPage);
        QCOMPARE(focused(), tabs);
        changePage(f, Change::CtrlTab, TFormMain::SimpleQueryPage);
        QCOMPARE(f.Pc->activePage(), int(TFormMain::SimpleQueryPage));
        QCOMPARE(focused(), tabs);
        QCOMPARE(shownCommands(f), expectedCommands(TFormMain::SimpleQueryPage));
    }

    void testLeavingEntryPageRunsEdit1ExitFirst_data()
    {
        QTest::addColumn<Change>("how");
        QTest::addColumn<int>("to");
        QTest::newRow("click") << Change::Click << int(TFormMain::SimpleQueryPage);
        QTest::newRow("Alt+B") << Change::Accelerator << int(TFormMain::HelpPage);
        QTest::newRow("Ctrl+Tab") << Change::CtrlTab << int(TFormMain::HelpPage);
        QTest::newRow("Ctrl+Shift+Tab") << Change::CtrlShiftTab << int(TFormMain::CombinedQueryPage);
    }

    void testLeavingEntryPageRunsEdit1ExitFirst()
    {
        QFETCH(Change, how);
        QFETCH(int, to);
        ShellDatabase data;
        GuiFixture fixture(data.path());
        RecordingPresenter &presenter = fixture.presenter;
        TFormMain &f = fixture.f();

        focusOn(f.tv1);
        clickTab(f, TFormMain::DrugEntryPage);
        QCOMPARE(focused(), static_cast<QWidget *>(f.Edit1));
        typeText(f.Edit1, QStringLiteral("甘草"));
        QVERIFY(!f.SQL_ZB.isActive());

        // Connected after the window's own handler, so this sees what Edit1Exit left.
        int exits = 0;
        int pageAtExit = -1;
        QString loadedAtExit;
        QObject::connect(f.Edit1, &EntryEdit::exited, &f, [&] {
            ++exits;
            pageAtExit = f.Pc->activePage();
            loadedAtExit = f.SQL_ZB.isActive() ? f.SQL_ZB.asString(QStringLiteral("药物名称")) : QString();
        });
        changePage(f, how, to);

        QCOMPARE(exits, 1);
        QCOMPARE(pageAtExit, int(TFormMain::DrugEntryPage));
        QCOMPARE(loadedAtExit, QStringLiteral("甘草"));
        QCOMPARE(f.Pc->activePage(), to);
        QCOMPARE(widgetName(focused()), widgetName(firstControl(f, to)));
        QCOMPARE(presenter.texts(), QStringList());
    }

    // --- Enter ---
    void testEnterWalksActivePageAndWraps_data()
    {
        QTest::addColumn<int>("page");
        QTest::newRow("simple query page") << int(TFormMain::SimpleQueryPage);
        QTest::newRow("combined query page") << int(TFormMain::CombinedQueryPage);
        QTest::newRow("drug entry page") << int(TFormMain::DrugEntryPage);
        QTest::newRow("help page") << int(TFormMain::HelpPage);
    }

    void testEnterWalksActivePageAndWraps()
    {
        QFETCH(int, page);
        ShellDatabase data;
        GuiFixture fixture(data.path());
        RecordingPresenter &presenter = fixture.presenter;
        TFormMain &f = fixture.f();

        QList<QWidget *> order{f.Pc->tabBar()};
        switch (page) {
        case TFormMain::SimpleQueryPage: order << f.tv1 << f.Memo1 << f.BitBtn1 << f.LabeledEdit_mc; break;
        case TFormMain::CombinedQueryPage:
            order << f.tv2 << f.Memo2 << f.BitBtn2;
            for (LabeledEdit *edit : f.LabeledEdits)
                order << edit;
            break;
        case TFormMain::DrugEntryPage:
            order << f.Edit1 << f.DBLookupComboBox1 << f.DBEdit1;
            for (DbMemo *memo : f.DBMemos)
                order << memo;
            break;
        default: order << f.DBMemo1 << f.tv4; break;
        }
        QStringList expected;
        for (int i = 1; i <= order.size(); ++i)
            expected << widgetName(order[i % order.size()]);

        if (page != 0)
            clickTab(f, page);
        focusOn(f.Pc->tabBar());
        QStringList visited;
        for (int i = 0; i < order.size(); ++i) {
            // A push button takes Enter itself (its own test); Tab walks past it.
            const bool button = qobject_cast<QPushButton *>(focused()) != nullptr;
            press(f, button ? Qt::Key_Tab : Qt::Key_Return);
            visited << widgetName(focused());
        }
        QCOMPARE(visited, expected);
        QCOMPARE(f.Pc->activePage(), page);
        QCOMPARE(presenter.texts(), QStringList());
    }

    void testEnterInNameBoxMovesOnButFocusedButtonSearches()
    {
        ShellDatabase data;
        GuiFixture fixture(data.path());
        RecordingPresenter &presenter = fixture.presenter;
        TFormMain &f = fixture.f();
        QSignalSpy clicks(f.BitBtn1, &QPushButton::clicked);

        f.LabeledEdit_mc->setText(QStringLiteral("无此名"));
        focusOn(f.LabeledEdit_mc);
        press(f, Qt::Key_Return);
        QCOMPARE(focused(), static_cast<QWidget *>(f.Pc->tabBar()));
        QCOMPARE(clicks.count(), 0);
        QCOMPARE(presenter.texts(), QStringList());

        focusOn(f.BitBtn1);
        press(f, Qt::Key_Return);
        QCOMPARE(clicks.count(), 1);
        QCOMPARE(presenter.texts(), QStringList{QStringLiteral("无此药物！")});
        QCOMPARE(focused(), static_cast<QWidget *>(f.BitBtn1));
    }

    void testCtrlEnterBreaksLineWhileEnterMovesOn()
    {
        ShellDatabase data;
        GuiFixture fixture(data.path());
        TFormMain &f = fixture.f();

        clickTab(f, TFormMain::HelpPage);
        focusOn(f.DBMemo1);
        f.DBMemo1->moveCursor(QTextCursor::End);
        press(f, Qt::Key_Return, Qt::ControlModifier);
        QCOMPARE(f.DBMemo1->toPlainText(), QStringLiteral("第一行\n"));
        QCOMPARE(f.SQL_HELP_ZB.state(), data::DataSetState::Edit);
        QCOMPARE(focused(), static_cast<QWidget *>(f.DBMemo1));

        press(f, Qt::Key_Return);
        QCOMPARE(focused(), static_cast<QWidget *>(f.tv4));
        QCOMPARE(f.DBMemo1->toPlainText(), QStringLiteral("第一行\n"));
        // Leaving the editor wrote the broken line into the record.
        QCOMPARE(f.SQL_HELP_ZB.asString(QStringLiteral("CONTENT")), QStringLiteral("第一行\n"));
    }

    // --- shutdown ---
    void testExitRunsShutdownOnce_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("tbExitClick") << QStringLiteral("tbExitClick");
        QTest::newRow("button click") << QStringLiteral("click");
        QTest::newRow("Alt+E") << QStringLiteral("Alt+E");
        QTest::newRow("close box") << QStringLiteral("close");
    }

    void testExitRunsShutdownOnce()
    {
        QFETCH(QString, how);
        ShellDatabase data;
        GuiFixture fixture(data.path());
        RecordingPresenter &presenter = fixture.presenter;
        TFormMain &f = fixture.f();
        QVERIFY(f.SQL_LB.isActive() && f.MainConnection.isOpen());

        if (how == QLatin1String("tbExitClick"))
            f.tbExitClick();
        else if (how == QLatin1String("click"))
            QTest::mouseClick(f.tbExit, Qt::LeftButton);
        else if (how == QLatin1String("Alt+E"))
            pressCommand(f, Qt::Key_E);
        else
            f.close();
        QApplication::processEvents();
        QVERIFY(!f.isVisible());
        QVERIFY(!f.SQL_LB.isActive());
        QVERIFY(!f.MainConnection.isOpen());
        QCOMPARE(presenter.texts(), QStringList());

        // A second close request must not run the shutdown sequence again.
        f.SQL_LB.open();
        f.close();
        QVERIFY(f.SQL_LB.isActive());
    }

    void testClosingDiscardsUnsavedRecord()
    {
        ShellDatabase data;
        GuiFixture fixture(data.path());
        RecordingPresenter &presenter = fixture.presenter;
        TFormMain &f = fixture.f();

        clickTab(f, TFormMain::DrugEntryPage);
        typeText(f.Edit1, QStringLiteral("当归"));
        focusOn(f.DBEdit1);
        QCOMPARE(f.SQL_ZB.state(), data::DataSetState::Insert);
        typeText(f.DBEdit1, QStringLiteral("Angelica"));
        focusOn(f.DBMemos[0]);
        f.tbExitClick();

        QVERIFY(!f.isVisible());
        QCOMPARE(presenter.texts(), QStringList());
        QCOMPARE(data.drugCount(), 2);
        QCOMPARE(data.scalar(QStringLiteral("SELECT count(*) FROM DRUG_ZB WHERE 药物名称 = ?"), {QStringLiteral("当归")}),
                 QStringLiteral("0"));
    }
};

QTEST_MAIN(TestShell)
#include "test_shell.moc"
