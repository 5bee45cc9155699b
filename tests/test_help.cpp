// The help page: topic tree, the bound text area and the save of its edits.
#include "GuiFixture.h"
#include "data/DbError.h"
#include "widgets/DbMemo.h"
#include "widgets/PageControl.h"
#include "widgets/TreeView.h"

#include <QApplication>
#include <QScrollBar>
#include <QTest>
#include <QToolButton>

#include <memory>

class TestHelp : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void testEmptyTopicListLeavesTextAreaDead();
    void testTopicsTrimmedCodesExactFirstLoadedAtStartUp();
    void testTopicWithoutTextGainsOneRowOnSave_data();
    void testTopicWithoutTextGainsOneRowOnSave();
    void testSeveralRowsShowAndWriteOnlyTheFirst();
    void testSelectingAnotherTopicDropsEdits();
    void testEditsSurvivePageVisitsAndOnlyHelpSaveWritesThem();
    void testEnterMovesOnCtrlEnterBreaksLine_data();
    void testEnterMovesOnCtrlEnterBreaksLine();
    void testTextAreaWrapsWithoutScrollBars();

private:
    TFormMain &start();
    QString stored(const QString &code) const { return m_window->help.stored(code); }
    int rows(const QString &code) const { return m_window->help.rows(code); }
    int allRows() const { return m_window->help.allRows(); }

    std::unique_ptr<TestDatabase> m_db;
    std::unique_ptr<GuiFixture> m_window;
    RecordingPresenter *m_presenter = nullptr;
};

void TestHelp::init()
{
    m_db = std::make_unique<TestDatabase>();
    m_window = std::make_unique<GuiFixture>(m_db->path(), false);
    m_presenter = &m_window->presenter;
}

void TestHelp::cleanup()
{
    m_window.reset();
    m_db.reset();
}

// The window on the topics the test has put in, or again after a restart.
TFormMain &TestHelp::start()
{
    m_window->start();
    if (!m_window->running())
        qFatal("the window did not start");
    return m_window->f();
}

void TestHelp::testEmptyTopicListLeavesTextAreaDead()
{
    TFormMain &form = start();
    QVERIFY(m_presenter->messages.isEmpty());
    QCOMPARE(form.tv4->nodeCount(), 0);
    QVERIFY(!form.tv4->selectedNode());
    QVERIFY(!form.SQL_HELP_ZB.isActive());

    m_window->showPage(TFormMain::HelpPage);
    typeText(form.DBMemo1, QStringLiteral("没有主题时输入"));
    QTest::keyClicks(form.DBMemo1, QStringLiteral("abc"));
    QVERIFY(form.DBMemo1->toPlainText().isEmpty());
    QVERIFY(!form.SQL_HELP_ZB.isActive());

    form.tbSave->click();
    QString closedText;
    try {
        form.SQL_HELP_ZB.applyUpdates();
    } catch (const data::DbError &e) {
        closedText = e.message();
    }
    QVERIFY(!closedText.isEmpty());
    QCOMPARE(m_presenter->messages.size(), 1);
    QCOMPARE(m_presenter->messages[0].form, app::MessageForm::Direct);
    QCOMPARE(m_presenter->messages[0].title, QStringLiteral("提示："));
    QCOMPARE(m_presenter->messages[0].text, QStringLiteral("保存失败！原因：") + closedText);
    QVERIFY(!form.MainConnection.inTransaction());
    QCOMPARE(allRows(), 0);
}

void TestHelp::testTopicsTrimmedCodesExactFirstLoadedAtStartUp()
{
    m_db->addHelpTopic(QStringLiteral("B2"), QStringLiteral("  第二个主题 \t"));
    m_db->addHelpTopic(QStringLiteral("A1"), QStringLiteral("第一个主题"));
    m_db->addHelpTopic(QStringLiteral(" c3 "), QStringLiteral("\t第三个主题\r\n"));
    m_db->addHelpText(QStringLiteral("A1"), QStringLiteral("甲的说明"));
    m_db->addHelpText(QStringLiteral("c3"), QStringLiteral("不带空格的代码"));
    m_db->addHelpText(QStringLiteral(" c3 "), QStringLiteral("带空格的代码"));
    m_db->addHelpText(QStringLiteral("B2"), QStringLiteral("乙的说明"));
    TFormMain &form = start();

    QStringList titles, codes;
    for (int i = 0; i < form.tv4->topLevelItemCount(); ++i) {
        titles << m_window->help.topic(i)->text(0);
        QVERIFY(m_window->help.topic(i)->nodeKey());
        codes << m_window->help.topic(i)->nodeKey()->key;
    }
    QCOMPARE(titles, (QStringList{QStringLiteral("第二个主题"), QStringLiteral("第一个主题"), QStringLiteral("第三个主题")}));
    QCOMPARE(codes, (QStringList{QStringLiteral("B2"), QStringLiteral("A1"), QStringLiteral(" c3 ")}));

    // Loaded at start-up although the help page is not shown.
    QCOMPARE(form.Pc->activePage(), int(TFormMain::SimpleQueryPage));
    QCOMPARE(form.tv4->selectedNode(), m_window->help.topic(0));
    QCOMPARE(form.HelpLB, QStringLiteral("B2"));
    QCOMPARE(form.DBMemo1->toPlainText(), QStringLiteral("乙的说明"));

    form.tv4->selectNode(m_window->help.topic(2));
    QCOMPARE(form.HelpLB, QStringLiteral(" c3 "));
    QCOMPARE(form.DBMemo1->toPlainText(), QStringLiteral("带空格的代码"));
    QVERIFY(m_presenter->messages.isEmpty());
}

void TestHelp::testTopicWithoutTextGainsOneRowOnSave_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("emptiedAgain");
    QTest::newRow("text typed") << QStringLiteral("新的帮助文字") << false;
    QTest::newRow("text typed and erased") << QStringLiteral("写了又删") << true;
    QTest::newRow("no-break space and separators typed") << QStringLiteral("甲\u00A0乙\u2028丙\u2029丁") << false;
}

void TestHelp::testTopicWithoutTextGainsOneRowOnSave()
{
    QFETCH(QString, typed);
    QFETCH(bool, emptiedAgain);
    const QString code = QStringLiteral(" 帮助2 ");
    m_db->addHelpTopic(QStringLiteral("H1"), QStringLiteral("有文字的主题"));
    m_db->addHelpTopic(code, QStringLiteral("没有文字的主题"));
    m_db->addHelpText(QStringLiteral("H1"), QStringLiteral("第一个主题的文字"));
    {
        TFormMain &form = start();
        m_window->showPage(TFormMain::HelpPage);
        form.tv4->selectNode(m_window->help.topic(1));
        QVERIFY(form.SQL_HELP_ZB.isActive());
        QCOMPARE(form.SQL_HELP_ZB.recordCount(), 0);
        QVERIFY(form.DBMemo1->toPlainText().isEmpty());

        m_window->help.typeAtEnd(typed);
        QCOMPARE(form.DBMemo1->enteredText(), typed);
        if (emptiedAgain) {
            form.DBMemo1->selectAll();
            QTest::keyClick(form.DBMemo1, Qt::Key_Backspace);
            QVERIFY(form.DBMemo1->toPlainText().isEmpty());
        }
        form.tbSave->click();
        QCOMPARE(m_presenter->texts(), QStringList{QStringLiteral("保存成功！")});
        QCOMPARE(m_presenter->messages[0].form, app::MessageForm::Framework);
    }
    const QString expected = emptiedAgain ? QString() : typed;
    QCOMPARE(rows(code), 1);
    QCOMPARE(allRows(), 2);
    QCOMPARE(stored(code), expected);
    QCOMPARE(stored(QStringLiteral("H1")), QStringLiteral("第一个主题的文字"));

    // After a restart the topic shows what was saved.
    TFormMain &again = start();
    again.tv4->selectNode(m_window->help.topic(1));
    QCOMPARE(again.DBMemo1->enteredText(), expected);
}

void TestHelp::testSeveralRowsShowAndWriteOnlyTheFirst()
{
    m_db->addHelpTopic(QStringLiteral("T"), QStringLiteral("多行主题"));
    // Two rows alike: only the database's row identity tells them apart.
    for (const char16_t *text : {u"相同的文字", u"相同的文字", u"另一段文字"})
        m_db->addHelpText(QStringLiteral("T"), QString::fromUtf16(text));
    // The first row the program's own statement returns.
    const QString firstRowId = m_db->scalar(QStringLiteral("select rowid, * from HELP_ZB where LB=?"), {QStringLiteral("T")});
    const auto textOf = [this](const QString &rowId) {
        return m_db->scalar(QStringLiteral("SELECT CONTENT FROM HELP_ZB WHERE rowid = ?"), {rowId});
    };
    QStringList before;
    for (int id = 1; id <= 3; ++id)
        before << textOf(QString::number(id));
    const QString first = textOf(firstRowId);

    TFormMain &form = start();
    m_window->showPage(TFormMain::HelpPage);
    QCOMPARE(form.DBMemo1->toPlainText(), first);
    m_window->help.typeAtEnd(QStringLiteral("（修订）"));
    form.tbSave->click();
    QCOMPARE(m_presenter->texts(), QStringList{QStringLiteral("保存成功！")});

    QCOMPARE(allRows(), 3);
    for (int id = 1; id <= 3; ++id) {
        const QString rowId = QString::number(id);
        QCOMPARE(textOf(rowId), rowId == firstRowId ? first + QStringLiteral("（修订）") : before[id - 1]);
    }
    QCOMPARE(form.DBMemo1->toPlainText(), first + QStringLiteral("（修订）"));
    QVERIFY(!form.SQL_HELP_ZB.updatesPending());
}

void TestHelp::testSelectingAnotherTopicDropsEdits()
{
    m_db->addHelpTopic(QStringLiteral("A1"), QStringLiteral("甲"));
    m_db->addHelpTopic(QStringLiteral("B2"), QStringLiteral("乙"));
    m_db->addHelpText(QStringLiteral("A1"), QStringLiteral("甲的说明"));
    m_db->addHelpText(QStringLiteral("B2"), QStringLiteral("乙的说明"));
    TFormMain &form = start();
    m_window->showPage(TFormMain::HelpPage);
    m_window->help.typeAtEnd(QStringLiteral("，未保存的改动"));
    QVERIFY(form.SQL_HELP_ZB.state() == data::DataSetState::Edit);

    // By the keyboard, as the user moves through the tree.
    form.tv4->setFocus();
    QApplication::processEvents();
    QTest::keyClick(form.tv4, Qt::Key_Down);
    QCOMPARE(form.tv4->selectedNode(), m_window->help.topic(1));
    QCOMPARE(form.DBMemo1->toPlainText(), QStringLiteral("乙的说明"));
    QTest::keyClick(form.tv4, Qt::Key_Up);
    QCOMPARE(form.tv4->selectedNode(), m_window->help.topic(0));
    QCOMPARE(form.DBMemo1->toPlainText(), QStringLiteral("甲的说明"));
    QVERIFY(!form.SQL_HELP_ZB.updatesPending());

    form.tbSave->click();
    QCOMPARE(m_presenter->texts(), QStringList{QStringLiteral("保存成功！")});
    QCOMPARE(stored(QStringLiteral("A1")), QStringLiteral("甲的说明"));
    QCOMPARE(stored(QStringLiteral("B2")), QStringLiteral("乙的说明"));
    QCOMPARE(allRows(), 2);
}

void TestHelp::testEditsSurvivePageVisitsAndOnlyHelpSaveWritesThem()
{
    m_db->addCategory(QStringLiteral("01"), QStringLiteral("补虚药"));
    m_db->addDrug({{QStringLiteral("LB"), QStringLiteral("01")}, {QStringLiteral("药物名称"), QStringLiteral("甘草")}});
    m_db->addHelpTopic(QStringLiteral("A1"), QStringLiteral("使用说明"));
    m_db->addHelpText(QStringLiteral("A1"), QStringLiteral("旧文字"));
    TFormMain &form = start();
    m_window->showPage(TFormMain::HelpPage);
    m_window->help.typeAtEnd(QStringLiteral("和新文字"));
    const QString edited = QStringLiteral("旧文字和新文字");

    // A save on the drug entry page writes the drug, not the help text.
    m_window->showPage(TFormMain::DrugEntryPage);
    form.Edit1->setText(QStringLiteral("甘草"));
    form.Edit1Exit();
    QVERIFY(form.SQL_ZB.isActive());
    QCOMPARE(form.SQL_ZB.recordCount(), 1);
    form.tbSave->click();
    QCOMPARE(m_presenter->texts(), QStringList{QStringLiteral("保存成功！")});
    QCOMPARE(stored(QStringLiteral("A1")), QStringLiteral("旧文字"));

    m_window->showPage(TFormMain::SimpleQueryPage);
    m_window->showPage(TFormMain::HelpPage);
    QCOMPARE(form.DBMemo1->toPlainText(), edited);
    QCOMPARE(stored(QStringLiteral("A1")), QStringLiteral("旧文字"));

    m_presenter->clear();
    form.tbSave->click();
    QCOMPARE(m_presenter->texts(), QStringList{QStringLiteral("保存成功！")});
    QCOMPARE(stored(QStringLiteral("A1")), edited);
    QCOMPARE(allRows(), 1);
    // Shown again, on the same topic, with the stored text.
    QVERIFY(form.SQL_HELP_ZB.state() == data::DataSetState::Browse);
    QVERIFY(!form.SQL_HELP_ZB.updatesPending());
    QCOMPARE(form.HelpLB, QStringLiteral("A1"));
    QCOMPARE(form.DBMemo1->toPlainText(), edited);
}

void TestHelp::testEnterMovesOnCtrlEnterBreaksLine_data()
{
    QTest::addColumn<int>("key");
    QTest::newRow("Return") << int(Qt::Key_Return);
    QTest::newRow("keypad Enter") << int(Qt::Key_Enter);
}

void TestHelp::testEnterMovesOnCtrlEnterBreaksLine()
{
    QFETCH(int, key);
    m_db->addHelpTopic(QStringLiteral("A1"), QStringLiteral("使用说明"));
    m_db->addHelpText(QStringLiteral("A1"), QStringLiteral("第一行"));
    TFormMain &form = start();
    m_window->showPage(TFormMain::HelpPage);
    form.DBMemo1->setFocus();
    QApplication::processEvents();
    form.DBMemo1->moveCursor(QTextCursor::End);

    QTest::keyClick(form.DBMemo1, Qt::Key(key));
    QApplication::processEvents();
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(form.tv4));
    QCOMPARE(form.DBMemo1->toPlainText(), QStringLiteral("第一行"));
    QVERIFY(form.SQL_HELP_ZB.state() == data::DataSetState::Browse);

    form.DBMemo1->setFocus();
    QApplication::processEvents();
    form.DBMemo1->moveCursor(QTextCursor::End);
    QTest::keyClick(form.DBMemo1, Qt::Key(key), Qt::ControlModifier);
    typeText(form.DBMemo1, QStringLiteral("第二行"));
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(form.DBMemo1));
    QCOMPARE(form.DBMemo1->toPlainText(), QStringLiteral("第一行\n第二行"));
    QVERIFY(form.SQL_HELP_ZB.state() == data::DataSetState::Edit);

    form.tbSave->click();
    QCOMPARE(stored(QStringLiteral("A1")), QStringLiteral("第一行\n第二行"));
}

void TestHelp::testTextAreaWrapsWithoutScrollBars()
{
    m_db->addHelpTopic(QStringLiteral("A1"), QStringLiteral("使用说明"));
    m_db->addHelpText(QStringLiteral("A1"), QString(400, QChar(u'说')));
    TFormMain &form = start();
    m_window->showPage(TFormMain::HelpPage);
    DbMemo *memo = form.DBMemo1;
    QCOMPARE(memo->toolTip(), QStringLiteral("Ctrl+Enter 换行"));
    QCOMPARE(memo->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    QCOMPARE(memo->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    QVERIFY(!memo->verticalScrollBar()->isVisible());
    QVERIFY(!memo->horizontalScrollBar()->isVisible());
    // One paragraph, shown as several lines within the area's width.
    QCOMPARE(memo->lines().size(), 1);
    QVERIFY(memo->displayLines().size() > 1);
    QCOMPARE(memo->displayLines().join(QString()), QString(400, QChar(u'说')));
}

QTEST_MAIN(TestHelp)
#include "test_help.moc"
