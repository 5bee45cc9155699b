#include "GuiFixture.h"
#include "data/Statement.h"
#include "widgets/DbEdit.h"
#include "widgets/DbLookupComboBox.h"
#include "widgets/DbMemo.h"
#include "widgets/LabeledEdit.h"
#include "widgets/PageControl.h"
#include "widgets/TreeView.h"

#include <QApplication>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

namespace {

void settle()
{
    QApplication::processEvents();
}

} // namespace

void focusAtEnd(QWidget *editor)
{
    editor->setFocus();
    settle();
    if (auto *line = qobject_cast<QLineEdit *>(editor))
        line->end(false);
    else if (auto *memo = qobject_cast<QPlainTextEdit *>(editor))
        memo->moveCursor(QTextCursor::End);
}

void typeAtEnd(QWidget *editor, const QString &text)
{
    focusAtEnd(editor);
    typeText(editor, text);
}

GuiFixture::GuiFixture(const QString &databasePath, bool start) : m_path(databasePath)
{
    if (start)
        this->start();
}

GuiFixture::~GuiFixture()
{
    close();
}

void GuiFixture::close()
{
    if (m_form)
        m_form->close();
    m_form.reset();
}

void GuiFixture::start()
{
    close();
    m_form = std::make_unique<TFormMain>(m_path);
    m_result = m_form->FormCreate();
    if (m_result == TFormMain::StartResult::Running) {
        m_form->show();
        m_form->activateWindow();
        QApplication::setActiveWindow(m_form.get());
        if (!QTest::qWaitForWindowExposed(m_form.get()))
            qWarning("main window was not exposed");
        settle();
    }
}

void GuiFixture::showPage(int page)
{
    f().Pc->tabBar()->setCurrentIndex(page);
    settle();
}

QString GuiFixture::scalar(const QString &sql, const QStringList &params)
{
    if (!m_reader) {
        m_reader.emplace(m_path);
        m_reader->open();
    }
    data::Statement statement(m_reader->handle(), sql);
    for (int i = 0; i < params.size(); ++i)
        statement.bind(i + 1, params[i]);
    return statement.step() ? statement.text(0) : QString();
}

namespace pages {

void SimpleQuery::search(const QString &name)
{
    m_fixture.f().LabeledEdit_mc->setText(name);
    m_fixture.f().BitBtn1->click();
}

void CombinedQuery::search(const QMap<int, QString> &boxes)
{
    for (int i = 0; i < 12; ++i)
        m_fixture.f().LabeledEdits[size_t(i)]->setText(boxes.value(i + 1));
    m_fixture.f().BitBtn2->click();
}

DbMemo *Entry::memo(const QString &column)
{
    for (DbMemo *memo : m_fixture.f().DBMemos)
        if (memo->link().fieldName() == column)
            return memo;
    qFatal("no memo is bound to %s", qPrintable(column));
}

QWidget *Entry::editor(const QString &column)
{
    if (m_fixture.f().DBEdit1->link().fieldName() == column)
        return m_fixture.f().DBEdit1;
    return memo(column);
}

void Entry::enterName(const QString &name)
{
    TFormMain &f = m_fixture.f();
    f.Edit1->setFocus();
    settle();
    f.Edit1->clear();
    typeText(f.Edit1, name);
}

void Entry::leaveName()
{
    m_fixture.f().DBEdit1->setFocus();
    settle();
}

void Entry::load(const QString &name)
{
    enterName(name);
    leaveName();
}

void Entry::chooseCategory(int index)
{
    DbLookupComboBox *box = m_fixture.f().DBLookupComboBox1;
    box->setCurrentIndex(index);
    emit box->activated(index);
    settle();
}

void Entry::save()
{
    m_fixture.f().tbSave->click();
    settle();
}

void Entry::remove()
{
    m_fixture.f().tbDelete->click();
    settle();
}

QString Entry::stored(qint64 id, const QString &column)
{
    return m_fixture.scalar(QStringLiteral("SELECT \"%1\" FROM DRUG_ZB WHERE ID = ?").arg(column), {QString::number(id)});
}

int Entry::rows()
{
    return m_fixture.scalar(QStringLiteral("SELECT count(*) FROM DRUG_ZB")).toInt();
}

QString Entry::editing(const QString &column)
{
    return m_fixture.f().SQL_ZB.asString(column);
}

bool Entry::blank()
{
    TFormMain &f = m_fixture.f();
    bool empty = f.DBEdit1->text().isEmpty() && f.DBLookupComboBox1->currentIndex() == -1
        && f.DBLookupComboBox1->currentText().isEmpty();
    for (DbMemo *m : f.DBMemos)
        empty = empty && m->toPlainText().isEmpty();
    return empty;
}

TreeNode *Help::topic(int index)
{
    return static_cast<TreeNode *>(m_fixture.f().tv4->topLevelItem(index));
}

void Help::typeAtEnd(const QString &text)
{
    ::typeAtEnd(m_fixture.f().DBMemo1, text);
}

QString Help::stored(const QString &code)
{
    return m_fixture.scalar(QStringLiteral("SELECT CONTENT FROM HELP_ZB WHERE LB = ? COLLATE BINARY"), {code});
}

int Help::rows(const QString &code)
{
    return m_fixture.scalar(QStringLiteral("SELECT count(*) FROM HELP_ZB WHERE LB = ? COLLATE BINARY"), {code}).toInt();
}

int Help::allRows()
{
    return m_fixture.scalar(QStringLiteral("SELECT count(*) FROM HELP_ZB")).toInt();
}

} // namespace pages
