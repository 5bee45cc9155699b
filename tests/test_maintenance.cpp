// The drug entry page: loading a record by name, the bound editors, save
// and delete, and what a failed or interrupted save leaves behind.
#include "GuiFixture.h"
#include "data/Connection.h"
#include "data/DataSet.h"
#include "data/Statement.h"
#include "widgets/DbEdit.h"
#include "widgets/DbLookupComboBox.h"
#include "widgets/DbMemo.h"
#include "widgets/LabeledEdit.h"
#include "widgets/Memo.h"
#include "widgets/PageControl.h"
#include "widgets/TreeView.h"

#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QTest>
#include <QThread>
#include <QToolButton>
#include <optional>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

using data::DataSetState;
using namespace Qt::StringLiterals;

namespace {

const QString SaveFailed = u"保存失败！原因："_s;

void settle()
{
    QApplication::processEvents();
}

// The drugs every page starts with, built once and copied for each test.
struct Template {
    TestDatabase db;
    qint64 maHuang, huangLian, ganCao1, ganCao2, guiZhi, orphan;

    qint64 drug(const QString &name, const QString &lb, const QMap<QString, QString> &more = {})
    {
        QMap<QString, QString> columns = more;
        columns.insert(u"药物名称"_s, name);
        columns.insert(u"LB"_s, lb);
        return db.addDrug(columns);
    }
    Template()
    {
        db.exec(u"INSERT INTO DRUG_LB (BM, MC) VALUES ('01', '解表药'), ('02', '清热药'), ('03', '补虚药')"_s);
        maHuang = drug(u"麻黄"_s, u"01"_s,
                       {{u"英文名称"_s, u"Ephedra"_s},
                        {u"别名"_s, u"龙沙"_s},
                        {u"来源"_s, u"麻黄科植物草麻黄的草质茎"_s},
                        {u"附注"_s, u"旧注"_s}});
        huangLian = drug(u"黄连"_s, u"02"_s, {{u"别名"_s, u"王连"_s}});
        ganCao1 = drug(u"甘草"_s, u"03"_s, {{u"别名"_s, u"国老"_s}});
        ganCao2 = drug(u"甘草"_s, u"03"_s, {{u"别名"_s, u"第二条"_s}});
        guiZhi = drug(u" 桂枝"_s, u"01"_s, {{u"英文名称"_s, u"LeadingSpace"_s}});
        orphan = drug(u"孤药"_s, u"99"_s, {{u"别名"_s, u"无类"_s}});
    }
};

const Template &drugs()
{
    static const Template instance;
    return instance;
}

// The main window on a copy of those drugs, showing the drug entry page.
// The copy is a base, so that it is there before the window opens on it.
struct CopiedDrugs {
    TestDatabase db{TestDatabase::CopyOf{drugs().db.path()}};
};

class EntryPage : public CopiedDrugs, public GuiFixture, public pages::Entry
{
public:
    explicit EntryPage(bool start = true)
        : GuiFixture(db.path(), false), pages::Entry(static_cast<GuiFixture &>(*this)), maHuang(drugs().maHuang),
          huangLian(drugs().huangLian), ganCao1(drugs().ganCao1), ganCao2(drugs().ganCao2), guiZhi(drugs().guiZhi),
          orphan(drugs().orphan)
    {
        if (start)
            this->start();
    }

    void start()
    {
        GuiFixture::start();
        showPage(TFormMain::DrugEntryPage);
    }

    const qint64 maHuang, huangLian, ganCao1, ganCao2, guiZhi, orphan;
};

QString shownText(QWidget *editor)
{
    if (auto *line = qobject_cast<QLineEdit *>(editor))
        return line->text();
    return static_cast<DbMemo *>(editor)->enteredText();
}

void typeLines(QWidget *editor, const QStringList &lines)
{
    for (int i = 0; i < lines.size(); ++i) {
        if (i > 0)
            QTest::keyClick(editor, Qt::Key_Return, Qt::ControlModifier);
        typeText(editor, lines[i]);
    }
}

void checkMessage(const app::Message &m, app::MessageForm form, app::MessageIcon icon, const QString &title)
{
    QCOMPARE(m.form, form);
    QCOMPARE(m.icon, icon);
    QCOMPARE(m.title, title);
}

// A failed save: a reason naming `cause` after the prefix, no transaction
// left, and the edit of 别名 still on the page (not yet in the record when the
// save failed before posting it, as its editor still has the focus).
void checkFailedSave(EntryPage &p, const QString &alias, const QString &cause)
{
    QCOMPARE(p.presenter.messages.size(), 1);
    const app::Message m = p.presenter.messages.first();
    QVERIFY2(m.text.startsWith(SaveFailed) && m.text.mid(SaveFailed.size()).contains(cause), qPrintable(m.text));
    checkMessage(m, app::MessageForm::Direct, app::MessageIcon::Exclamation, u"提示："_s);
    QVERIFY(!p.f().MainConnection.inTransaction());
    QVERIFY(p.f().SQL_ZB.isActive());
    QCOMPARE(p.memo(u"别名"_s)->toPlainText(), alias);
}

} // namespace

class TestMaintenance : public QObject
{
    Q_OBJECT

private slots:
    // --- the states of the page ---

    void testLeavingEmptyNameBoxLoadsNothing()
    {
        EntryPage p;
        QVERIFY(p.running());
        p.f().Edit1->setFocus();
        settle();
        p.leaveName();
        QVERIFY(!p.f().SQL_ZB.isActive());
        QCOMPARE(p.f().Edit1->Tag, 0);
        QVERIFY(p.blank());

        // Typed and emptied again: the mark stays set and still nothing loads.
        p.enterName(u"麻"_s);
        p.f().Edit1->clear();
        p.leaveName();
        QCOMPARE(p.f().Edit1->Tag, 1);
        QVERIFY(!p.f().SQL_ZB.isActive());
        QVERIFY(p.blank());

        p.enterName(u"麻黄"_s);
        p.leaveName();
        QCOMPARE(p.f().Edit1->Tag, 0);
        QCOMPARE(p.f().DBEdit1->text(), u"Ephedra"_s);
        QVERIFY(p.presenter.messages.isEmpty());
    }

    void testNameIsLookedUpExactly_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("stored");
        QTest::addColumn<QString>("english");

        QTest::newRow("stored name") << u"麻黄"_s << true << u"Ephedra"_s;
        QTest::newRow("stored with leading space") << u" 桂枝"_s << true << u"LeadingSpace"_s;
        QTest::newRow("leading space left out") << u"桂枝"_s << false << QString();
        QTest::newRow("trailing space added") << u"麻黄 "_s << false << QString();
        QTest::newRow("double quote in name") << u"麻\"黄"_s << false << QString();
        QTest::newRow("unknown name") << u"新药"_s << false << QString();
    }

    void testNameIsLookedUpExactly()
    {
        QFETCH(QString, name);
        QFETCH(bool, stored);
        QFETCH(QString, english);
        EntryPage p;
        const int before = p.rows();
        p.load(name);

        QVERIFY(p.f().SQL_ZB.isActive());
        QCOMPARE(p.f().Edit1->Tag, 0);
        QCOMPARE(p.f().SQL_ZB.state(), stored ? DataSetState::Browse : DataSetState::Insert);
        QCOMPARE(p.f().DBEdit1->text(), english);
        if (stored) {
            QCOMPARE(p.f().DBLookupComboBox1->currentText(), u"解表药"_s);
        } else {
            QVERIFY(p.blank());
            QVERIFY(!p.f().DBEdit1->isReadOnly());
            QVERIFY(!p.memo(u"附注"_s)->isReadOnly());
        }
        QCOMPARE(p.rows(), before); // a lookup never writes
        QVERIFY(p.presenter.messages.isEmpty());
    }

    void testChangingNameDropsRecordAndRetypingReloadsStoredValues()
    {
        EntryPage p;
        p.load(u"麻黄"_s);
        DbMemo *alias = p.memo(u"别名"_s);
        typeAtEnd(alias, u"改"_s);
        p.chooseCategory(1);
        QCOMPARE(p.f().SQL_ZB.state(), DataSetState::Edit);

        p.f().Edit1->setFocus();
        settle();
        QTest::keyClick(p.f().Edit1, Qt::Key_A);
        QVERIFY(!p.f().SQL_ZB.isActive());
        QCOMPARE(p.f().Edit1->Tag, 1);
        QVERIFY(p.blank());
        QTest::keyClick(p.f().Edit1, Qt::Key_Backspace);
        QCOMPARE(p.f().Edit1->text(), u"麻黄"_s);
        QVERIFY(!p.f().SQL_ZB.isActive());

        p.leaveName();
        QCOMPARE(p.f().SQL_ZB.state(), DataSetState::Browse);
        QCOMPARE(alias->toPlainText(), u"龙沙"_s);
        QCOMPARE(p.f().DBLookupComboBox1->currentText(), u"解表药"_s);
        QCOMPARE(p.stored(p.maHuang, u"别名"_s), u"龙沙"_s);
        QCOMPARE(p.stored(p.maHuang, u"LB"_s), u"01"_s);
    }

    void testLeavingNameBoxTwiceKeepsRecordAndEdits()
    {
        EntryPage p;
        p.load(u"麻黄"_s);
        typeAtEnd(p.f().DBEdit1, u" herb"_s);
        p.f().Edit1->setFocus(); // DBEdit1 writes its text as it loses the focus
        settle();
        QCOMPARE(p.editing(u"英文名称"_s), u"Ephedra herb"_s);
        p.leaveName();
        QCOMPARE(p.f().SQL_ZB.state(), DataSetState::Edit);
        QCOMPARE(p.f().DBEdit1->text(), u"Ephedra herb"_s);
        QCOMPARE(p.editing(u"英文名称"_s), u"Ephedra herb"_s);
    }

    void testPageChangeKeepsUnwrittenEdits()
    {
        EntryPage p;
        p.load(u"麻黄"_s);
        DbMemo *note = p.memo(u"附注"_s);
        typeAtEnd(note, u"，补充"_s);
        p.showPage(TFormMain::SimpleQueryPage);
        p.showPage(TFormMain::CombinedQueryPage);
        p.showPage(TFormMain::DrugEntryPage);
        QCOMPARE(p.f().Edit1->text(), u"麻黄"_s);
        QCOMPARE(note->toPlainText(), u"旧注，补充"_s);
        QCOMPARE(p.f().SQL_ZB.state(), DataSetState::Edit);
        QCOMPARE(p.stored(p.maHuang, u"附注"_s), u"旧注"_s);

        p.save();
        QCOMPARE(p.presenter.texts(), QStringList{u"保存成功！"_s});
        QCOMPARE(p.stored(p.maHuang, u"附注"_s), u"旧注，补充"_s);
    }

    void testEditorsIgnoreInputWithoutRecord()
    {
        EntryPage p;
        QVERIFY(!p.f().SQL_ZB.isActive());
        typeText(p.f().DBEdit1, u"文字"_s);
        QTest::keyClicks(p.f().DBEdit1, "abc");
        DbMemo *note = p.memo(u"附注"_s);
        typeText(note, u"文字"_s);
        QApplication::clipboard()->setText(u"贴上"_s);
        note->paste();
        p.f().DBEdit1->paste();
        p.f().DBLookupComboBox1->setFocus();
        QTest::keyClick(p.f().DBLookupComboBox1, Qt::Key_Down);
        settle();

        QVERIFY(p.blank());
        QVERIFY(!p.f().SQL_ZB.isActive());
        // Nothing typed meanwhile reaches the record loaded next.
        p.load(u"新药"_s);
        QVERIFY(p.blank());
        QVERIFY(p.presenter.messages.isEmpty());
    }

    void testDuplicateNamesOnlyFirstRowIsShownSavedAndDeleted()
    {
        EntryPage p;
        p.load(u"甘草"_s);
        DbMemo *alias = p.memo(u"别名"_s);
        QCOMPARE(alias->toPlainText(), u"国老"_s);
        typeAtEnd(alias, u"甲"_s);
        p.save();
        QCOMPARE(p.presenter.texts(), QStringList{u"保存成功！"_s});
        QCOMPARE(p.stored(p.ganCao1, u"别名"_s), u"国老甲"_s);
        QCOMPARE(p.stored(p.ganCao2, u"别名"_s), u"第二条"_s);

        p.remove();
        QCOMPARE(p.scalar(u"SELECT count(*) FROM DRUG_ZB WHERE ID = ?"_s, {QString::number(p.ganCao1)}), u"0"_s);
        QCOMPARE(p.stored(p.ganCao2, u"别名"_s), u"第二条"_s);
        p.load(u"甘草"_s);
        QCOMPARE(alias->toPlainText(), u"第二条"_s);
    }

    // --- the bound editors ---

    void testFirstChangeStartsEditing_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("stored");
        QTest::addColumn<QString>("column");
        QTest::addColumn<QString>("expected");

        QTest::newRow("typed into DBEdit1") << u"type"_s << true << u"英文名称"_s << u"Ephedrax"_s;
        QTest::newRow("pasted into DBEdit1") << u"paste"_s << true << u"英文名称"_s << u"Ephedra贴"_s;
        QTest::newRow("typed into memo") << u"type"_s << true << u"来源"_s << u"麻黄科植物草麻黄的草质茎x"_s;
        QTest::newRow("pasted into memo") << u"paste"_s << true << u"来源"_s << u"麻黄科植物草麻黄的草质茎贴"_s;
        QTest::newRow("cut from memo") << u"cut"_s << true << u"来源"_s << QString();
        QTest::newRow("typed into memo of new record") << u"type"_s << false << u"来源"_s << u"x"_s;
        QTest::newRow("pasted into DBEdit1 of new record") << u"paste"_s << false << u"英文名称"_s << u"贴"_s;
    }

    void testFirstChangeStartsEditing()
    {
        QFETCH(QString, how);
        QFETCH(bool, stored);
        QFETCH(QString, column);
        QFETCH(QString, expected);
        EntryPage p;
        p.load(stored ? u"麻黄"_s : u"新药"_s);
        QCOMPARE(p.f().SQL_ZB.state(), stored ? DataSetState::Browse : DataSetState::Insert);
        const QString old = p.editing(column);

        QWidget *editor = p.editor(column);
        focusAtEnd(editor);
        if (how == QLatin1String("type")) {
            QTest::keyClick(editor, Qt::Key_X);
        } else if (how == QLatin1String("paste")) {
            QApplication::clipboard()->setText(u"贴"_s);
            QMetaObject::invokeMethod(editor, "paste");
        } else {
            auto *memo = static_cast<DbMemo *>(editor);
            memo->selectAll();
            memo->cut();
        }
        QCOMPARE(p.f().SQL_ZB.state(), stored ? DataSetState::Edit : DataSetState::Insert);
        // The change is kept, not overwritten by the record it started editing.
        QCOMPARE(shownText(editor), expected);
        QCOMPARE(p.editing(column), old); // not yet written

        p.f().Edit1->setFocus();
        settle();
        QCOMPARE(p.editing(column), expected);
    }

    void testSaveTakesTextOfFocusedEditor_data()
    {
        QTest::addColumn<QString>("column");
        QTest::newRow("DBEdit1") << "英文名称";
        QTest::newRow("first memo") << "别名";
        QTest::newRow("last memo") << "附注";
    }

    void testSaveTakesTextOfFocusedEditor()
    {
        QFETCH(QString, column);
        EntryPage p;
        p.load(u"麻黄"_s);
        QWidget *editor = p.editor(column);
        typeAtEnd(editor, u"尚在编辑"_s);
        const QString expected = p.stored(p.maHuang, column) + u"尚在编辑"_s;
        p.save();
        QCOMPARE(QApplication::focusWidget(), editor); // the toolbar takes no focus
        QCOMPARE(p.presenter.texts(), QStringList{u"保存成功！"_s});
        QCOMPARE(p.stored(p.maHuang, column), expected);
    }

    void testDropDownListsCategoriesAndStoresCode()
    {
        EntryPage p;
        DbLookupComboBox *box = p.f().DBLookupComboBox1;
        QCOMPARE(box->maxVisibleItems(), 20);
        QStringList names;
        for (int i = 0; i < box->count(); ++i)
            names << box->itemText(i);
        QCOMPARE(names, (QStringList{u"解表药"_s, u"清热药"_s, u"补虚药"_s}));

        p.load(u"麻黄"_s);
        QCOMPARE(box->currentText(), u"解表药"_s);
        // Chosen by keyboard: the code goes into LB at once.
        box->setFocus();
        settle();
        QTest::keyClick(box, Qt::Key_Down);
        QCOMPARE(box->currentText(), u"清热药"_s);
        QCOMPARE(p.f().SQL_ZB.state(), DataSetState::Edit);
        QCOMPARE(p.editing(u"LB"_s), u"02"_s);
        p.save();
        QCOMPARE(p.stored(p.maHuang, u"LB"_s), u"02"_s);
        QCOMPARE(p.stored(p.maHuang, u"类别"_s), u"清热药"_s);
        QCOMPARE(box->currentText(), u"清热药"_s);

        p.load(u"黄连"_s);
        QCOMPARE(box->currentText(), u"清热药"_s);
    }

    void testUnknownCategoryShowsBlankAndKeepsCode()
    {
        EntryPage p;
        p.load(u"孤药"_s);
        QCOMPARE(p.f().DBLookupComboBox1->currentIndex(), -1);
        QVERIFY(p.f().DBLookupComboBox1->currentText().isEmpty());
        QCOMPARE(p.memo(u"别名"_s)->toPlainText(), u"无类"_s);
        QCOMPARE(p.editing(u"LB"_s), u"99"_s);

        typeAtEnd(p.memo(u"别名"_s), u"二"_s);
        p.save();
        QCOMPARE(p.presenter.texts(), QStringList{u"保存成功！"_s});
        QCOMPARE(p.stored(p.orphan, u"LB"_s), u"99"_s);
        QCOMPARE(p.stored(p.orphan, u"别名"_s), u"无类二"_s);
        QVERIFY(p.f().DBLookupComboBox1->currentText().isEmpty());
    }

    // --- save and delete ---

    void testSaveOnQueryPageDoesNothing_data()
    {
        QTest::addColumn<int>("page");
        QTest::newRow("simple query page") << int(TFormMain::SimpleQueryPage);
        QTest::newRow("combined query page") << int(TFormMain::CombinedQueryPage);
    }

    void testSaveOnQueryPageDoesNothing()
    {
        QFETCH(int, page);
        EntryPage p;
        p.load(u"麻黄"_s);
        typeAtEnd(p.memo(u"别名"_s), u"未存"_s);
        p.showPage(page);
        p.f().tbSaveClick();
        QVERIFY(p.presenter.messages.isEmpty());
        QVERIFY(!p.f().MainConnection.inTransaction());
        QCOMPARE(p.stored(p.maHuang, u"别名"_s), u"龙沙"_s);
        QVERIFY(p.f().SQL_ZB.updatesPending());
    }

    void testSaveAndDeleteWithoutRecordDoNothing_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("nothing typed") << QString();
        QTest::newRow("name still in the box") << u"新药"_s;
    }

    void testSaveAndDeleteWithoutRecordDoNothing()
    {
        QFETCH(QString, name);
        EntryPage p;
        const int before = p.rows();
        if (!name.isEmpty())
            p.enterName(name);
        p.save();
        if (!name.isEmpty())
            QCOMPARE(QApplication::focusWidget(), p.f().Edit1); // the lookup has not run
        p.remove();
        QVERIFY(p.presenter.messages.isEmpty());
        QVERIFY(!p.f().MainConnection.inTransaction());
        QVERIFY(!p.f().SQL_ZB.isActive());
        QCOMPARE(p.rows(), before);
        QCOMPARE(p.f().Edit1->text(), name);
    }

    void testSaveWithoutCategoryKeepsEditsThenSavesWithOne()
    {
        EntryPage p;
        const int before = p.rows();
        p.load(u"新药"_s);
        typeAtEnd(p.f().DBEdit1, u"New herb"_s);
        typeAtEnd(p.memo(u"功能主治"_s), u"清热解毒"_s);
        bool lockedWhileShown = true;
        p.presenter.onShow = [&](const app::Message &) { lockedWhileShown = p.f().MainConnection.inTransaction(); };
        p.save();

        QCOMPARE(p.presenter.messages.size(), 1);
        QCOMPARE(p.presenter.messages.first().text, u"类别还没有输呢！"_s);
        checkMessage(p.presenter.messages.first(), app::MessageForm::Direct, app::MessageIcon::Exclamation, u"提示："_s);
        QVERIFY(!lockedWhileShown);
        QVERIFY(!p.f().MainConnection.inTransaction());
        QCOMPARE(p.rows(), before);
        QCOMPARE(p.f().SQL_ZB.state(), DataSetState::Insert);
        QCOMPARE(p.f().DBEdit1->text(), u"New herb"_s);
        QCOMPARE(p.memo(u"功能主治"_s)->toPlainText(), u"清热解毒"_s);

        p.presenter.clear();
        p.chooseCategory(1);
        p.save();
        QCOMPARE(p.presenter.messages.size(), 1);
        QCOMPARE(p.presenter.messages.first().text, u"保存成功！"_s);
        checkMessage(p.presenter.messages.first(), app::MessageForm::Framework, app::MessageIcon::None, u"提示："_s);
        QCOMPARE(p.rows(), before + 1);
        const qint64 id = p.scalar(u"SELECT ID FROM DRUG_ZB WHERE 药物名称 = ?"_s, {u"新药"_s}).toLongLong();
        QVERIFY(id > 0);
        QCOMPARE(p.stored(id, u"类别"_s), u"清热药"_s);
        QCOMPARE(p.stored(id, u"LB"_s), u"02"_s);
        QCOMPARE(p.stored(id, u"英文名称"_s), u"New herb"_s);
        QCOMPARE(p.stored(id, u"功能主治"_s), u"清热解毒"_s);
        QCOMPARE(p.f().SQL_ZB.state(), DataSetState::Browse);
        QCOMPARE(p.editing(u"ID"_s), QString::number(id));

        // Now a stored record: saving again updates that row, it adds none.
        typeAtEnd(p.memo(u"功能主治"_s), u"，消肿"_s);
        p.save();
        QCOMPARE(p.rows(), before + 1);
        QCOMPARE(p.stored(id, u"功能主治"_s), u"清热解毒，消肿"_s);
    }

    void testSaveOfUnchangedStoredRecordSucceeds()
    {
        EntryPage p;
        const QString all =
            QStringLiteral("SELECT quote(LB)||quote(药物名称)||quote(类别)||quote(英文名称)||quote(别名)||"
                           "quote(来源)||quote(附注)||quote(性味) FROM DRUG_ZB WHERE ID = ?");
        const QString before = p.scalar(all, {QString::number(p.maHuang)});
        p.load(u"麻黄"_s);
        p.save();
        QCOMPARE(p.presenter.texts(), QStringList{u"保存成功！"_s});
        QCOMPARE(p.scalar(all, {QString::number(p.maHuang)}), before);
        QVERIFY(!p.f().MainConnection.inTransaction());
        QCOMPARE(p.f().SQL_ZB.state(), DataSetState::Browse);
    }

    void testSearchesSeeSavedChangesAtOnce()
    {
        EntryPage p;
        p.load(u"新药"_s);
        p.chooseCategory(2);
        typeAtEnd(p.memo(u"功能主治"_s), u"独一无二的功效"_s);
        p.save();
        p.load(u"麻黄"_s);
        p.chooseCategory(2);
        p.save();
        QCOMPARE(p.presenter.texts(), (QStringList{u"保存成功！"_s, u"保存成功！"_s}));
        p.presenter.clear();

        p.showPage(TFormMain::SimpleQueryPage);
        p.f().LabeledEdit_mc->setText(u"新药"_s);
        p.f().BitBtn1Click();
        QVERIFY(p.presenter.messages.isEmpty());
        QVERIFY(p.f().Memo1->toPlainText().contains(u"独一无二的功效"_s));

        p.showPage(TFormMain::CombinedQueryPage);
        p.f().LabeledEdits[9]->setText(u"补虚"_s); // 类别
        p.f().BitBtn2Click();
        // The two 甘草 rows, the new drug, and 麻黄 moved into the category.
        QCOMPARE(p.f().tv2->nodeCount(), 4);
        p.f().LabeledEdits[1]->setText(u"麻黄"_s); // 药物名称
        p.f().BitBtn2Click();
        QCOMPARE(p.f().tv2->nodeCount(), 1);
    }

    void testDeleteOfStoredRecordRemovesItAndClearsPage()
    {
        EntryPage p;
        const int before = p.rows();
        p.load(u"麻黄"_s);
        typeAtEnd(p.memo(u"别名"_s), u"未存"_s);
        p.remove();
        QVERIFY(p.presenter.messages.isEmpty());
        QCOMPARE(p.rows(), before - 1);
        QVERIFY(p.stored(p.maHuang, u"ID"_s).isEmpty());
        QVERIFY(p.f().Edit1->text().isEmpty());
        QCOMPARE(p.f().Edit1->Tag, 1);
        QVERIFY(!p.f().SQL_ZB.isActive());
        QVERIFY(p.blank());
        QVERIFY(!p.f().MainConnection.inTransaction());

        p.showPage(TFormMain::SimpleQueryPage);
        p.f().LabeledEdit_mc->setText(u"麻黄"_s);
        p.f().BitBtn1Click();
        QCOMPARE(p.presenter.texts(), QStringList{u"无此药物！"_s});
    }

    void testDeleteRightAfterSavingNewRecordRemovesIt()
    {
        EntryPage p;
        const int before = p.rows();
        p.load(u"麻黄"_s); // same name as a stored row, which must stay
        p.enterName(u"新药"_s);
        p.leaveName();
        p.chooseCategory(0);
        p.save();
        QCOMPARE(p.rows(), before + 1);
        p.remove();
        QCOMPARE(p.presenter.texts(), QStringList{u"保存成功！"_s});
        QCOMPARE(p.rows(), before);
        QCOMPARE(p.scalar(u"SELECT count(*) FROM DRUG_ZB WHERE 药物名称 = ?"_s, {u"新药"_s}), u"0"_s);
        QCOMPARE(p.stored(p.maHuang, u"药物名称"_s), u"麻黄"_s);
        QVERIFY(!p.f().SQL_ZB.isActive());
    }

    void testDeleteOfUnsavedRecordReportsAndKeepsIt()
    {
        EntryPage p;
        const int before = p.rows();
        p.load(u"新药"_s);
        typeAtEnd(p.memo(u"附注"_s), u"草稿"_s);
        p.remove();
        QCOMPARE(p.presenter.messages.size(), 1);
        QCOMPARE(p.presenter.messages.first().form, app::MessageForm::ErrorReport);
        QVERIFY2(p.presenter.messages.first().text.contains(u"还没有保存"_s),
                 qPrintable(p.presenter.messages.first().text));
        QCOMPARE(p.rows(), before);
        QCOMPARE(p.f().Edit1->text(), u"新药"_s);
        QCOMPARE(p.f().SQL_ZB.state(), DataSetState::Insert);
        QCOMPARE(p.memo(u"附注"_s)->toPlainText(), u"草稿"_s);

        // The kept record can still be saved.
        p.presenter.clear();
        p.chooseCategory(0);
        p.save();
        QCOMPARE(p.presenter.texts(), QStringList{u"保存成功！"_s});
        QCOMPARE(p.rows(), before + 1);
    }

    // --- stored values come back exactly ---

    // A stored value is edited as the user does it and saved twice. Only
    // what the user changed may differ: not what the text areas fold (CR LF,
    // CR, U+2028, U+00A0), not a leading byte order mark, not text cut by an
    // edit box; bytes that are no UTF-8, or a blob, are repaired by typing
    // over them, and none of these makes the optimistic check fail.
    void testStoredValueChangesOnlyWhereEdited_data()
    {
        QTest::addColumn<QString>("column");
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<bool>("blob");
        QTest::addColumn<QString>("edit");
        QTest::addColumn<QString>("expected"); // stored as text

        const QByteArray old = u"旧注"_s.toUtf8();
        QTest::newRow("byte order mark") << u"附注"_s << "\xEF\xBB\xBF" + old << false << u"type"_s << u"\uFEFF旧注改"_s;
        QTest::newRow("GBK bytes typed over") << u"附注"_s << QByteArray("\xC2\xE9\xBB\xC6") << false << u"retype"_s << u"改"_s;
        QTest::newRow("blob") << u"附注"_s << old << true << u"type"_s << u"旧注改"_s;
        const QString folded = u"甲\r\n乙\r丙\u2028丁\u00A0戊"_s;
        QTest::newRow("memo with CR LF: line break added after 乙")
            << u"来源"_s << folded.toUtf8() << false << u"break at 3"_s << u"甲\r\n乙\r\n改\r丙\u2028丁\u00A0戊"_s;
        QTest::newRow("memo with CR LF: typed and erased")
            << u"来源"_s << folded.toUtf8() << false << u"erase"_s << folded;
        QTest::newRow("memo with lone CR") << u"来源"_s << QByteArray("a\rb") << false << u"break"_s << u"a\rb\r改"_s;
        QTest::newRow("100000 characters in DBEdit1")
            << u"英文名称"_s << QByteArray(99999, 'e') + 'Z' << false << u"backspace"_s << QString(99999, u'e');
    }

    void testStoredValueChangesOnlyWhereEdited()
    {
        QFETCH(QString, column);
        QFETCH(QByteArray, stored);
        QFETCH(bool, blob);
        QFETCH(QString, edit);
        QFETCH(QString, expected);
        EntryPage p(false);
        {
            data::Connection other(p.db.path());
            data::Statement update(other.handle(), u"UPDATE DRUG_ZB SET \"%1\" = CAST(? AS %2) WHERE ID = ?"_s
                                                        .arg(column, blob ? u"BLOB"_s : u"TEXT"_s));
            update.bindBlob(1, stored);
            update.bind(2, p.maHuang);
            update.step();
        }
        p.start();
        p.load(u"麻黄"_s);
        QWidget *editor = p.editor(column);
        focusAtEnd(editor);
        if (edit == u"type") {
            typeText(editor, u"改"_s);
        } else if (edit == u"retype") {
            static_cast<QPlainTextEdit *>(editor)->selectAll();
            typeText(editor, u"改"_s);
        } else if (edit.startsWith(u"break")) {
            if (edit == u"break at 3") {
                auto *memo = static_cast<QPlainTextEdit *>(editor);
                QTextCursor cursor = memo->textCursor();
                cursor.setPosition(3);
                memo->setTextCursor(cursor);
            }
            QTest::keyClick(editor, Qt::Key_Return, Qt::ControlModifier);
            typeText(editor, u"改"_s);
        } else if (edit == u"erase") {
            typeText(editor, u"改"_s);
            QTest::keyClick(editor, Qt::Key_Backspace);
        } else {
            QTest::keyClick(editor, Qt::Key_End);
            QTest::keyClick(editor, Qt::Key_Backspace);
        }
        p.save();
        QCOMPARE(p.presenter.texts(), QStringList{u"保存成功！"_s});
        const QString exact = u"SELECT typeof(\"%1\") || ' ' || hex(\"%1\") FROM DRUG_ZB WHERE ID = ?"_s.arg(column);
        QCOMPARE(p.scalar(exact, {QString::number(p.maHuang)}), u"text "_s + expected.toUtf8().toHex().toUpper());

        // A line break stored as CR LF shows as one, on the sheet too.
        p.f().ShowDrug(QString::number(p.maHuang), p.f().Memo1);
        if (column == u"来源"_s && stored.contains("\r\n"))
            QCOMPARE(p.f().Memo1->lines().mid(8, 2), (QStringList{u"【来    源】： 甲"_s, u"乙"_s}));

        // And saved again.
        typeAtEnd(editor, u"再"_s);
        p.save();
        QCOMPARE(p.presenter.texts(), (QStringList{u"保存成功！"_s, u"保存成功！"_s}));
        QCOMPARE(p.stored(p.maHuang, column), expected + u"再"_s);
    }

    // --- faults ---

    void testSaveFailsWhenRowChangedElsewhere_data()
    {
        QTest::addColumn<QString>("statement");
        QTest::addColumn<QString>("aliasAfter"); // as the other program left it; empty: row gone
        QTest::newRow("same column changed") << u"UPDATE DRUG_ZB SET 别名 = '他改' WHERE ID = ?"_s << u"他改"_s;
        QTest::newRow("name changed") << u"UPDATE DRUG_ZB SET 药物名称 = '改名' WHERE ID = ?"_s << u"龙沙"_s;
        QTest::newRow("row deleted") << u"DELETE FROM DRUG_ZB WHERE ID = ?"_s << QString();
    }

    void testSaveFailsWhenRowChangedElsewhere()
    {
        QFETCH(QString, statement);
        QFETCH(QString, aliasAfter);
        EntryPage p;
        p.load(u"麻黄"_s);
        typeAtEnd(p.memo(u"别名"_s), u"我改"_s);
        p.db.exec(statement, {QString::number(p.maHuang)}); // another program's connection

        p.save();
        checkFailedSave(p, u"龙沙我改"_s, u"修改或删除"_s);
        QCOMPARE(p.stored(p.maHuang, u"别名"_s), aliasAfter);
        QCOMPARE(p.scalar(u"SELECT count(*) FROM DRUG_ZB WHERE 别名 = ?"_s, {u"龙沙我改"_s}), u"0"_s);
    }

    void testSaveKeepsColumnsChangedElsewhere()
    {
        EntryPage p;
        p.load(u"麻黄"_s);
        typeAtEnd(p.memo(u"别名"_s), u"我改"_s);
        p.db.exec(u"UPDATE DRUG_ZB SET 来源 = '他改' WHERE ID = ?"_s, {QString::number(p.maHuang)});
        p.save();
        QCOMPARE(p.presenter.texts(), QStringList{u"保存成功！"_s});
        QCOMPARE(p.stored(p.maHuang, u"别名"_s), u"龙沙我改"_s);
        QCOMPARE(p.stored(p.maHuang, u"来源"_s), u"他改"_s);
    }

    void testSaveFailsWhileDatabaseLockedThenWorks()
    {
        EntryPage p;
        p.load(u"麻黄"_s);
        typeAtEnd(p.memo(u"别名"_s), u"我改"_s);
        data::Connection other(p.db.path());
        other.open();
        other.beginTransaction(); // BEGIN IMMEDIATE: holds the write lock

        QElapsedTimer clock;
        clock.start();
        p.save();
        QVERIFY2(clock.elapsed() >= data::Connection::BusyTimeoutMs - 500, "the busy timeout was not waited for");
        checkFailedSave(p, u"龙沙我改"_s, u"locked"_s);
        other.rollbackTransaction();
        QCOMPARE(p.stored(p.maHuang, u"别名"_s), u"龙沙"_s);

        p.presenter.clear();
        p.save();
        QCOMPARE(p.presenter.texts(), QStringList{u"保存成功！"_s});
        QCOMPARE(p.stored(p.maHuang, u"别名"_s), u"龙沙我改"_s);
    }

    void testSaveFailsWhenDiskFullThenWorks()
    {
        EntryPage p;
        const int before = p.rows();
        p.load(u"新药"_s);
        p.chooseCategory(0);
        const QString big = u"草"_s.repeated(10000);
        p.memo(u"附注"_s)->setFocus();
        typeAtEnd(p.memo(u"附注"_s), big);
        typeAtEnd(p.memo(u"别名"_s), u"满"_s);
        // The file may not grow: as full a disk as a write can meet.
        const QString pages = p.scalar(u"PRAGMA page_count"_s);
        p.f().MainConnection.execute(u"PRAGMA max_page_count = %1"_s.arg(pages));

        p.save();
        checkFailedSave(p, u"满"_s, u"full"_s);
        QCOMPARE(p.memo(u"附注"_s)->toPlainText(), big);
        QCOMPARE(p.rows(), before);

        p.f().MainConnection.execute(u"PRAGMA max_page_count = 1073741823"_s);
        p.presenter.clear();
        p.save();
        QCOMPARE(p.presenter.texts(), QStringList{u"保存成功！"_s});
        QCOMPARE(p.rows(), before + 1);
        QCOMPARE(p.scalar(u"SELECT 附注 FROM DRUG_ZB WHERE 药物名称 = ?"_s, {u"新药"_s}), big);
        QCOMPARE(p.scalar(u"PRAGMA integrity_check"_s), u"ok"_s);
    }

    void testSaveFailsOnReadOnlyFile()
    {
        EntryPage p(false);
        const QString path = p.db.path();
        bool immutable = false;
#ifdef Q_OS_UNIX
        if (geteuid() == 0) {
            // Permissions do not stop root; the immutable flag does, where the
            // file system has it.
            immutable = QProcess::execute(u"chattr"_s, {u"+i"_s, path}) == 0;
        }
#endif
        const auto restore = qScopeGuard([&] {
            if (immutable)
                QProcess::execute(u"chattr"_s, {u"-i"_s, path});
            QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
        });
        QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
        {
            QFile probe(path);
            if (probe.open(QIODevice::ReadWrite))
                QSKIP("the database file stays writable (running as root without chattr +i)");
        }

        p.start();
        QVERIFY(p.running());
        p.load(u"麻黄"_s);
        QCOMPARE(p.memo(u"别名"_s)->toPlainText(), u"龙沙"_s);
        typeAtEnd(p.memo(u"别名"_s), u"我改"_s);
        p.save();
        checkFailedSave(p, u"龙沙我改"_s, u"readonly"_s);
        QCOMPARE(p.stored(p.maHuang, u"别名"_s), u"龙沙"_s);
    }

    void testKilledSaveLeavesRecordWholeOrUnwritten()
    {
        TestDatabase db;
        db.addCategory(u"01"_s, u"解表药"_s);
        QCOMPARE(db.addDrug({{u"药物名称"_s, u"计数"_s}, {u"LB"_s, u"01"_s}}), 1);

        const QString row = u"SELECT %1 FROM DRUG_ZB WHERE ID = 1"_s;
        // Every saved row carries one number in all its counter columns, and the
        // padding is that number repeated.
        const QString torn = QStringLiteral(
            "SELECT count(*) FROM DRUG_ZB WHERE 别名 IS NOT 来源 OR 来源 IS NOT 性味 OR 性味 IS NOT 附注 "
            "OR replace(化学成分, 别名, '') <> '' OR length(化学成分) <> 1000 * length(别名)");
        QRandomGenerator random(20240611);
        QElapsedTimer clock;
        clock.start();
        int last = 0;
        for (int round = 0; round < 6; ++round) {
            QProcess child;
            child.start(QStringLiteral(KILL_SAVER_PATH), {db.path()});
            QVERIFY2(child.waitForStarted(5000), qPrintable(child.errorString()));
            QVERIFY(child.waitForReadyRead(10000));
            QCOMPARE(child.readLine().trimmed(), QByteArray("saving"));
            QThread::msleep(random.bounded(30, 400));
            child.kill();
            QVERIFY(child.waitForFinished(5000));
            QVERIFY2(child.exitStatus() == QProcess::CrashExit, child.readAllStandardError().constData());

            QCOMPARE(db.scalar(u"PRAGMA integrity_check"_s), u"ok"_s);
            QCOMPARE(db.scalar(torn), u"0"_s);
            const int counter = db.scalar(row.arg(u"coalesce(别名, 0)"_s)).toInt();
            // The record and the inserted rows come from the same transactions:
            // rows 1 .. counter, each once.
            QCOMPARE(db.scalar(u"SELECT count(*) || ' ' || count(DISTINCT 别名) || ' ' || "
                               "coalesce(max(CAST(别名 AS INTEGER)), 0) FROM DRUG_ZB WHERE 药物名称 = 'kill'"_s),
                     u"%1 %1 %1"_s.arg(counter));
            QVERIFY(counter >= last);
            last = counter;
        }
        QVERIFY2(last > 0, "the child never committed a save");
        QVERIFY2(clock.elapsed() < 20000, "the kill test took too long");
    }

    // --- whatever a person can type ---

    void testBadInputSurvivesSaveAndReload_data()
    {
        QTest::addColumn<QString>("column");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("asName");
        QTest::addColumn<bool>("pasted");

        QTest::newRow("double quotes") << "附注" << u"他说\"好\"，\"\""_s << true << false;
        QTest::newRow("quotes and semicolon") << "英文名称" << u"O'Brien'; DROP TABLE DRUG_ZB; --"_s << true << false;
        QTest::newRow("backslashes") << "来源" << u"C:\\新\\药\\n\\t\\"_s << true << false;
        QTest::newRow("LIKE wildcards") << "性味" << u"100%_纯"_s << true << false;
        QTest::newRow("non-BMP characters") << "别名" << u"𠀀𪚥🌿草"_s << true << false;
        QTest::newRow("10000 characters in DBEdit1")
            << "英文名称" << (u"药"_s.repeated(5000) + u"ab"_s.repeated(2500)) << false << false;
        QTest::newRow("10000 characters in memo") << "功能主治" << u"清热𠀀"_s.repeated(2500) << false << false;
        QTest::newRow("line breaks from Ctrl+Enter") << "附注" << u"第一行\n\n第三行 \n"_s << false << false;
        // Kept as entered, not as the text area draws them (a blank, a line break).
        const QString separators = u"甲\u00A0乙\u2028丙\u2029丁\u2029"_s;
        QTest::newRow("no-break space and separators typed") << "来源" << separators + u"\n戊"_s << false << false;
        QTest::newRow("no-break space and separators pasted") << "附注" << u"\u2029"_s + separators << false << true;
    }

    void testBadInputSurvivesSaveAndReload()
    {
        QFETCH(QString, column);
        QFETCH(QString, text);
        QFETCH(bool, asName);
        QFETCH(bool, pasted);
        EntryPage p;
        const QString name = asName ? u"名"_s + text : u"新药"_s;
        p.load(name);
        QCOMPARE(p.f().SQL_ZB.state(), DataSetState::Insert);
        p.chooseCategory(0);
        QWidget *editor = p.editor(column);
        if (pasted) {
            editor->setFocus();
            QApplication::clipboard()->setText(text);
            QMetaObject::invokeMethod(editor, "paste");
        } else {
            typeLines(editor, text.split(QLatin1Char('\n')));
        }
        p.save();
        QCOMPARE(p.presenter.texts(), QStringList{u"保存成功！"_s});

        const QString id = p.editing(u"ID"_s);
        QVERIFY(!id.isEmpty());
        QCOMPARE(p.stored(id.toLongLong(), column), text);
        QCOMPARE(p.stored(id.toLongLong(), u"药物名称"_s), name);

        p.load(name);
        QCOMPARE(p.f().SQL_ZB.state(), DataSetState::Browse);
        QCOMPARE(p.editing(u"ID"_s), id);
        QCOMPARE(shownText(editor), text);

        p.remove();
        QVERIFY(p.stored(id.toLongLong(), u"ID"_s).isEmpty());
        QCOMPARE(p.presenter.messages.size(), 1);
    }
};

QTEST_MAIN(TestMaintenance)
#include "test_maintenance.moc"
