#include "app/MainForm.h"
#include "app/AccessConversion.h"
#include "app/Messages.h"
#include "app/OpenProgress.h"
#include "app/WindowFont.h"
#include "data/DrugFile.h"
#include "data/WindowSql.h"
#include "widgets/Bevel.h"
#include "widgets/DbMemo.h"
#include "widgets/DbEdit.h"
#include "widgets/DbLookupComboBox.h"
#include "widgets/LabeledEdit.h"
#include "widgets/Memo.h"
#include "widgets/PageControl.h"
#include "widgets/TreeView.h"
#include "access/AccessFile.h"
#include "data/DbError.h"
#include "core/Guard.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QAbstractButton>
#include <QPushButton>
#include <QScreen>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWindow>

TFormMain::TFormMain(const QString &databasePath, QWidget *parent)
    : QMainWindow(parent),
      MainConnection(databasePath.isEmpty() ? defaultDatabasePath() : databasePath),
      SQL_1(MainConnection, QStringLiteral("SQL_1")),
      SQL_2(MainConnection, QStringLiteral("SQL_2")),
      SQL_ZB(MainConnection, QStringLiteral("SQL_ZB"), data::LockType::BatchOptimistic),
      SQL_LB(MainConnection, QStringLiteral("SQL_LB")),
      SQL_HELP_ZB(MainConnection, QStringLiteral("SQL_HELP_ZB"), data::LockType::BatchOptimistic),
      DS_ZB(&SQL_ZB),
      DS_LB(&SQL_LB),
      DS_HELP_ZB(&SQL_HELP_ZB, true),
      ImageList_TreeView(Icons::treeViewImages()),
      ImageList_ToolButton(Icons::toolButtonImages())
{
    data::useDrugFile(MainConnection, app::openProgress(this));
    SQL_ZB.setUpdateTable(QStringLiteral("DRUG_ZB"));
    SQL_LB.setSql(data::sql::categoryList());
    SQL_HELP_ZB.setSql(data::sql::helpText());
    SQL_HELP_ZB.setExposedFields({QStringLiteral("LB"), QStringLiteral("CONTENT")});
    SQL_HELP_ZB.setUpdateTable(QStringLiteral("HELP_ZB"));
    SQL_HELP_ZB.afterInsert = [this](data::DataSet &dataSet) { SQL_HELP_ZBAfterInsert(dataSet); };

    setFont(windowFont());
    setWindowIcon(Icons::application());
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, palette.color(QPalette::Button));
    setPalette(palette);

    buildFrame();
    buildSimpleQueryPage();
    buildCombinedQueryPage();
    buildDrugEntryPage();
    buildHelpPage();
    buildTabOrder();

    // The pages are 734 x 425 at the designed size.
    resize(Pc->sizeForPage(QSize(734, 425)) + QSize(0, Bevel6->height()));
    // The window shrinks freely; the pages' controls keep their places.
    layout()->setSizeConstraint(QLayout::SetNoConstraint);
    qApp->installEventFilter(this);
    app::Messages::setOwner(this);
    // What the guard catches in any handler ends in the error report.
    core::setErrorReporter(&app::Messages::errorReport);

    m_frameWatch.setInterval(50);
    connect(&m_frameWatch, &QTimer::timeout, this, [this] { watchFrame(); });
}

TFormMain::~TFormMain()
{
    qApp->removeEventFilter(this);
    // The bound editors watch the datasets, which are members: the widgets
    // must go first.
    delete takeCentralWidget();
    if (app::Messages::owner() == this)
        app::Messages::setOwner(nullptr);
}

QString TFormMain::defaultDatabasePath()
{
    return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("drug.mdb"));
}

void TFormMain::buildFrame()
{
    auto *central = new QWidget(this);
    setCentralWidget(central);
    auto *layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    Bevel6 = new Bevel(central);
    layout->addWidget(Bevel6);
    Pc = new PageControl(central);
    layout->addWidget(Pc, 1);
    connect(Pc, &PageControl::pageChanged, this, core::guard([this] { PcChange(); }));

    // The toolbar lies over the right end of the tab row, at a fixed place.
    ToolBar1 = new QWidget(central);
    ToolBar1->setGeometry(431, 4, 304, 22);
    auto *buttons = new QHBoxLayout(ToolBar1);
    buttons->setContentsMargins(0, 0, 0, 0);
    buttons->setSpacing(0);
    auto button = [&](const QString &caption, int image, void (TFormMain::*handler)()) {
        auto *b = new QToolButton(ToolBar1);
        b->setText(caption);
        b->setIcon(ImageList_ToolButton.icon(image));
        b->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        b->setAutoRaise(true);
        b->setFocusPolicy(Qt::NoFocus);
        b->setFixedSize(75, 22);
        b->setIconSize(QSize(16, 16));
        connect(b, &QToolButton::clicked, this, core::guard([this, handler] { (this->*handler)(); }));
        buttons->addWidget(b);
        return b;
    };
    tbSave = button(QStringLiteral("保存[&S]"), Icons::Floppy, &TFormMain::tbSaveClick);
    tbDelete = button(QStringLiteral("删除[&D]"), Icons::Cross, &TFormMain::tbDeleteClick);
    tbPrint = button(QStringLiteral("打印[&P]"), Icons::Printer, &TFormMain::tbPrintClick);
    tbExit = button(QStringLiteral("退出[&E]"), Icons::Door, &TFormMain::tbExitClick);
    buttons->addStretch(1);
    ToolBar1->raise();

    TabSheet1 = new QWidget;
    TabSheet2 = new QWidget;
    TabSheet3 = new QWidget;
    TabSheet4 = new QWidget;
    Pc->addPage(TabSheet1, QStringLiteral("简单查询[&J]"));
    Pc->addPage(TabSheet2, QStringLiteral("高级查询[&G]"));
    Pc->addPage(TabSheet3, QStringLiteral("药物输入"));
    Pc->addPage(TabSheet4, QStringLiteral("软件帮助[&B]"));
}

TFormMain::StartResult TFormMain::FormCreate()
{
    QCoreApplication::setApplicationName(app::Messages::AppTitle);
    setWindowTitle(Caption);
    const OpenResult opened = OpenDatabase();
    if (opened == OpenResult::MissingFile)
        return StartResult::MissingDatabase;
    // A failed connection goes on: the first statement tries again and, if
    // that fails too, the rest of the start-up is skipped.
    core::guarded([this] {
        ShowTv1();
        ShowTv4();
        SQL_LB.open();
        Pc->setActivePage(SimpleQueryPage);
        PcChange();
    });
    centreFrame();
    return StartResult::Running;
}

void TFormMain::centreFrame()
{
    const QScreen *screen = this->screen();
    if (!screen)
        return;
    QWindow *window = windowHandle();
    QRect frame = window ? window->frameGeometry() : frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    if (window)
        window->setFramePosition(frame.topLeft());
    else
        move(frame.topLeft());
}

void TFormMain::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    // A window manager frames the window only after it is mapped; until then
    // the frame is taken for the client area and the window sits low by half
    // its title bar. Centre again once the frame is known (or give up: there
    // may be no window manager at all).
    if (m_frameWatch.isActive() || m_frameCentred)
        return;
    m_frameTries = 0;
    m_frameWatch.start();
}

void TFormMain::watchFrame()
{
    const QWindow *window = windowHandle();
    if (window && !window->frameMargins().isNull()) {
        if (!(windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen)))
            centreFrame();
        m_frameCentred = true;
    }
    if (m_frameCentred || ++m_frameTries >= 40)
        m_frameWatch.stop();
}

TFormMain::OpenResult TFormMain::OpenDatabase()
{
    MainConnection.close();
    const QString path = MainConnection.path();
    app::settleAccessConversion(path);
    if (!QFileInfo::exists(path)) {
        app::Messages::framework(QStringLiteral("数据库文件不存在！"));
        return OpenResult::MissingFile;
    }
    // The drug.mdb of the program's Access version becomes ours, once.
    if (msaccess::accessFormat(path) != msaccess::AccessFormat::None) {
        try {
            const QString backup = app::convertAccessDatabase(path);
            app::Messages::framework(
                QStringLiteral("原来的 Access 数据库已转换为本程序的新格式，其中的数据都已保留。\n"
                               "原文件已改名为“%1”，留在同一文件夹中作为备份，程序不再使用它。")
                    .arg(backup));
        } catch (const core::Error &e) {
            app::Messages::framework(QStringLiteral("数据库连接失败！原因：旧版 Access 数据库无法转换为新格式（原文件没有改动）：")
                                     + e.message());
            return OpenResult::Failed;
        }
    }
    try {
        MainConnection.open();
    } catch (const data::DbError &e) {
        app::Messages::framework(QStringLiteral("数据库连接失败！原因：") + e.message());
        return OpenResult::Failed;
    }
    return OpenResult::Opened;
}

void TFormMain::CloseDatabase()
{
    MainConnection.close();
}

void TFormMain::FormClose()
{
    SQL_LB.close();
    CloseDatabase();
}

void TFormMain::buildTabOrder()
{
    // The order in which Tab and Enter visit the controls: the tabs, then
    // each page's controls in its own order. Hidden pages are skipped.
    QList<QWidget *> order{Pc->tabBar(), static_cast<QWidget *>(tv1), Memo1, BitBtn1, LabeledEdit_mc, tv2, Memo2, BitBtn2};
    for (LabeledEdit *edit : LabeledEdits)
        order << edit;
    order << Edit1 << DBLookupComboBox1 << DBEdit1;
    for (DbMemo *memo : DBMemos)
        order << memo;
    order << DBMemo1 << tv4;
    for (int i = 0; i + 1 < order.size(); ++i)
        QWidget::setTabOrder(order[i], order[i + 1]);
}

void TFormMain::closeEvent(QCloseEvent *event)
{
    if (!m_closed) {
        m_closed = true;
        core::guarded([this] { FormClose(); });
    }
    event->accept();
}

void TFormMain::tbExitClick()
{
    close();
}

void TFormMain::PcChange()
{
    const int page = Pc->activePage();
    tbSave->setVisible(page == DrugEntryPage || page == HelpPage);
    tbDelete->setVisible(page == DrugEntryPage);
    tbPrint->setVisible(page == SimpleQueryPage || page == CombinedQueryPage);
    tbExit->setVisible(true);
}

bool TFormMain::FormKeyPress(QWidget *target, QKeyEvent *event)
{
    if (event->key() != Qt::Key_Return && event->key() != Qt::Key_Enter)
        return false;
    if (event->modifiers() & Qt::ControlModifier) {
        // Ctrl+Enter types a line break in a multi-line editor.
        if (auto *memo = qobject_cast<DbMemo *>(target)) {
            core::guarded([memo] { memo->insertLineBreak(); });
            return true;
        }
        return false;
    }
    // A push button acts on Enter itself.
    if (qobject_cast<QAbstractButton *>(target))
        return false;
    focusNextPrevChild(true);
    return true;
}

bool TFormMain::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::KeyPress || !watched->isWidgetType())
        return false;
    auto *widget = static_cast<QWidget *>(watched);
    if (widget->window() != this || widget != QApplication::focusWidget())
        return false;
    auto *key = static_cast<QKeyEvent *>(event);
    const bool ctrl = key->modifiers() & Qt::ControlModifier;
    if (ctrl && (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab)) {
        if (Pc->isAncestorOf(widget)) {
            const bool forward = key->key() == Qt::Key_Tab && !(key->modifiers() & Qt::ShiftModifier);
            Pc->selectNextPage(forward);
            return true;
        }
        return false;
    }
#ifndef Q_OS_MACOS
    // Alt with a letter that no shown command or page took reaches the focused
    // control as that letter; an edit box would type it (Alt+P on the entry
    // page would replace the drug name). Alt+letter is a command key here,
    // never typing. Ctrl+Alt stays: it is AltGr on Windows. On macOS Option
    // composes characters, so it is left alone there.
    const Qt::KeyboardModifiers chord = key->modifiers() & (Qt::AltModifier | Qt::ControlModifier | Qt::MetaModifier);
    if (chord == Qt::AltModifier && !key->text().isEmpty() && key->text().front().isPrint())
        return true;
#endif
    return FormKeyPress(widget, key);
}
