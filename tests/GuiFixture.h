#pragma once

#include "TestSupport.h"
#include "data/Connection.h"

#include <QMap>
#include <QString>
#include <memory>
#include <optional>

class DbMemo;
class GuiFixture;
class TreeNode;

// One object per page of the window, driving it as the user does.
namespace pages {

// The simple query page: the category tree, the search by name and the sheet.
class SimpleQuery
{
public:
    explicit SimpleQuery(GuiFixture &fixture) : m_fixture(fixture) {}
    // The name into its box, then the search button.
    void search(const QString &name);

private:
    GuiFixture &m_fixture;
};

// The combined query page: twelve boxes, the search button and the results.
class CombinedQuery
{
public:
    explicit CombinedQuery(GuiFixture &fixture) : m_fixture(fixture) {}
    // The boxes by number, 1 to 12 (those not given emptied), then the
    // search button.
    void search(const QMap<int, QString> &boxes);

private:
    GuiFixture &m_fixture;
};

// The drug entry page: the name box, the bound editors, save and delete.
class Entry
{
public:
    explicit Entry(GuiFixture &fixture) : m_fixture(fixture) {}

    // The memo bound to `column`; the editor of 英文名称 is DBEdit1.
    DbMemo *memo(const QString &column);
    QWidget *editor(const QString &column);

    void enterName(const QString &name);
    // Leaving the box by moving the focus on runs Edit1Exit.
    void leaveName();
    void load(const QString &name);
    // What the opened list does when a row is picked.
    void chooseCategory(int index);
    void save();
    void remove();

    // A column of a stored row, read as another program would.
    QString stored(qint64 id, const QString &column);
    int rows();
    // A column of the record being edited.
    QString editing(const QString &column);
    // Every bound editor and the drop-down show nothing.
    bool blank();

private:
    GuiFixture &m_fixture;
};

// The help page: the topic tree and the text area.
class Help
{
public:
    explicit Help(GuiFixture &fixture) : m_fixture(fixture) {}

    TreeNode *topic(int index);
    // Types at the end of the text, where a click after it puts the cursor.
    void typeAtEnd(const QString &text);

    // The text of the topic's first row, its rows, and all rows, read as
    // another program would.
    QString stored(const QString &code);
    int rows(const QString &code);
    int allRows();

private:
    GuiFixture &m_fixture;
};

} // namespace pages

// The main window on a test database, started as the program starts it:
// shown, activated and with its events processed. The messages it shows are
// recorded. The database belongs to the test and must outlive the fixture.
class GuiFixture
{
public:
    explicit GuiFixture(const QString &databasePath, bool start = true);
    virtual ~GuiFixture();
    GuiFixture(const GuiFixture &) = delete;
    GuiFixture &operator=(const GuiFixture &) = delete;

    // A new window in place of the one there is (a restart).
    void start();
    bool running() const { return m_form && m_result == TFormMain::StartResult::Running; }
    TFormMain::StartResult startResult() const { return m_result; }
    TFormMain &f() { return *m_form; }
    const QString &databasePath() const { return m_path; }

    // As the user does it: the page's tab.
    void showPage(int page);
    // Read through a connection of its own, as another program would; kept
    // open because proving the key on every open is slow.
    QString scalar(const QString &sql, const QStringList &params = {});

    RecordingPresenter presenter;
    pages::SimpleQuery simpleQuery{*this};
    pages::CombinedQuery combinedQuery{*this};
    pages::Entry entry{*this};
    pages::Help help{*this};

private:
    void close();

    QString m_path;
    std::unique_ptr<TFormMain> m_form;
    TFormMain::StartResult m_result = TFormMain::StartResult::MissingDatabase;
    std::optional<data::Connection> m_reader;
};

// The focus on `editor`, the cursor after its text.
void focusAtEnd(QWidget *editor);
void typeAtEnd(QWidget *editor, const QString &text);
