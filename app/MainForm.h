#pragma once

// The window keeps the names of the program's Windows design, so that a
// control, a dataset or a handler is found under the name its users know:
//
//   Pc                  the page control with its four pages TabSheet1..4:
//                       simple query, combined query, drug entry, help
//   tv1, tv2, tv4       the category tree, the combined search's result
//                       list and the help topic tree
//   Memo1, Memo2        the record sheets of the two query pages
//   BitBtn1, BitBtn2    the search buttons: by name, and combined
//   LabeledEdit_mc      the name to search for on the simple query page
//   LabeledEdit1..12    the twelve criteria of the combined search
//   Edit1               the entry page's drug name box; its Tag is the
//                       name-changed mark
//   DBLookupComboBox1   the entry page's category drop-down (LB from DRUG_LB)
//   DBEdit1             the English name; DBMemo2..11 the ten long fields
//   DBMemo1             the help text
//   tbSave, tbDelete, tbPrint, tbExit
//                       the toolbar commands on ToolBar1
//   Bevel*, Panel*      the separator lines and the top strips
//   MainConnection      the one connection to drug.mdb
//   SQL_1, SQL_2        scratch queries: SQL_2 serves the category tree's
//                       drugs while it fills, SQL_1 everything else
//   SQL_ZB, SQL_LB      the drug being edited (DRUG_ZB) and the category
//                       list (DRUG_LB); _ZB is a main table, _LB a list
//   SQL_HELP_ZB         the help text of the topic shown (HELP_ZB)
//   DS_ZB, DS_LB, DS_HELP_ZB
//                       the data sources the bound editors read through
//   ImageList_TreeView, ImageList_ToolButton
//                       the pictures, by the indices in widgets/Icons.h
//   FormCreate, FormClose, FormKeyPress
//                       start-up, shutdown and the Enter-key rule
//   PcChange            the page rules: which commands each page shows
//   <control><Event>    the handler of a control's event: tv1Change,
//                       BitBtn1Click, BitBtn2Click, Edit1Change, Edit1Exit,
//                       tbSaveClick, SQL_HELP_ZBAfterInsert, ...
//   ShowTv1, ShowTv4, ShowDrug
//                       fill a tree; write a drug's sheet into a memo
//   HelpLB              the code of the help topic shown
//   NodeKey             what a tree node stands for (widgets/NodeKey.h)

#include "data/Connection.h"
#include "data/DataSet.h"
#include "data/DataSource.h"
#include "widgets/EntryEdit.h"
#include "widgets/Icons.h"

#include <QHash>
#include <QMainWindow>
#include <QString>
#include <QTimer>
#include <array>
#include <optional>

class Bevel;
class DbEdit;
class DbLookupComboBox;
class DbMemo;
class LabeledEdit;
class Memo;
class NameCompleter;
class PageControl;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;
class TreeNode;
class TreeView;
class PrinterProvider;

// A row of the combined search's list: ID, 类别, 药物名称 and the category
// code it is listed by.
struct ResultRow {
    QString id, category, name;
    std::optional<QString> code;
    static ResultRow current(const data::DataSet &list);
    QString text() const; // as the list shows it
};

// The program's one window. Every subsystem's methods are members of this
// class; each lives in its subsystem's folder.
class TFormMain : public QMainWindow
{
    Q_OBJECT
public:
    enum class StartResult { Running, MissingDatabase };
    enum class OpenResult { Opened, MissingFile, Failed };

    // databasePath empty: drug.mdb in the executable's folder.
    explicit TFormMain(const QString &databasePath = {}, QWidget *parent = nullptr);
    ~TFormMain() override;

    static QString defaultDatabasePath();
    static inline const QString Caption = QStringLiteral("Zelkano中草药查询大全 Ver5.1105");

    // Page numbers of Pc.
    enum Page { SimpleQueryPage = 0, CombinedQueryPage = 1, DrugEntryPage = 2, HelpPage = 3 };

    // --- application shell (app/) ---
    StartResult FormCreate();
    void FormClose();
    void PcChange();
    void tbExitClick();
    // The Enter-key rule; true when the key was taken.
    bool FormKeyPress(QWidget *target, QKeyEvent *event);

    // --- database (app/) ---
    // The drugs on a PostgreSQL server (a libpq connection string or URI)
    // in place of drug.mdb; before FormCreate.
    void useServer(const QString &conninfo);
    OpenResult OpenDatabase();
    // What another client (or this one) changed on the server, shown anew:
    // the trees, the result list and the sheets, never an unsaved edit.
    void DatabaseChanged(const data::DatabaseChanges &changes);
    void RefreshTv1(const data::DatabaseChanges &changes);
    bool UpdateTv1Drugs(const QSet<qint64> &ids);
    void RefreshTv2(const data::DatabaseChanges &changes);
    bool UpdateResultList(const QSet<qint64> &ids);
    void RefreshSheets(const data::DatabaseChanges &changes);
    void RefreshHelp(const data::DatabaseChanges &changes);
    void CloseDatabase();

    // --- drug lookup (lookup/) ---
    void ShowTv1();
    void addTv1Drug(TreeNode *category, const QString &id, const QString &name);
    void tv1Change(TreeNode *node);
    void ShowDrug(const QString &id, Memo *target);
    void BitBtn1Click();
    void BitBtn2Click();
    void tv2Change(TreeNode *node);
    // The combined search's list for these box texts; gives its first entry.
    TreeNode *fillResultList(const QStringList &texts);
    TreeNode *addResultNode(const ResultRow &row, int at = -1);

    // --- drug maintenance (maintenance/) ---
    void Edit1Change();
    void Edit1Exit();
    void tbSaveClick();
    void tbDeleteClick();

    // --- help topics (help/) ---
    void ShowTv4();
    void tv4Change(TreeNode *node);
    void SQL_HELP_ZBAfterInsert(data::DataSet &dataSet);

    // --- printing (print/) ---
    void tbPrintClick();
    void PrintMemo(Memo *memo);
    // Where PrintMemo prints; the default is the system's default printer.
    void setPrinterProvider(PrinterProvider *provider);
    PrinterProvider &printerProvider() const;

    // Database and datasets.
    data::Connection MainConnection;
    data::DataSet SQL_1;
    data::DataSet SQL_2;
    data::DataSet SQL_ZB;
    data::DataSet SQL_LB;
    data::DataSet SQL_HELP_ZB;
    data::DataSource DS_ZB;
    data::DataSource DS_LB;
    data::DataSource DS_HELP_ZB;

    ImageList ImageList_TreeView;
    ImageList ImageList_ToolButton;

    // Frame.
    Bevel *Bevel6 = nullptr;
    PageControl *Pc = nullptr;
    QWidget *ToolBar1 = nullptr;
    QToolButton *tbSave = nullptr;
    QToolButton *tbDelete = nullptr;
    QToolButton *tbPrint = nullptr;
    QToolButton *tbExit = nullptr;

    // Simple query page.
    QWidget *TabSheet1 = nullptr;
    QWidget *Panel1 = nullptr;
    Bevel *Bevel1 = nullptr;
    LabeledEdit *LabeledEdit_mc = nullptr;
    // The drugs that match LabeledEdit_mc's text, dropped down under it.
    NameCompleter *NameList = nullptr;
    QPushButton *BitBtn1 = nullptr;
    TreeView *tv1 = nullptr;
    Memo *Memo1 = nullptr;

    // Combined query page.
    QWidget *TabSheet2 = nullptr;
    Bevel *Bevel2 = nullptr;
    QWidget *Panel2 = nullptr;
    std::array<LabeledEdit *, 12> LabeledEdits{}; // LabeledEdit1 .. LabeledEdit12
    QPushButton *BitBtn2 = nullptr;
    TreeView *tv2 = nullptr;
    Memo *Memo2 = nullptr;
    bool ResultListFilled = false;
    // The texts of the last combined search, run again when drugs change.
    std::optional<QStringList> LastSearch;
    // The drug each sheet shows.
    QHash<Memo *, QString> SheetDrug;

    // Drug entry page.
    QWidget *TabSheet3 = nullptr;
    Bevel *Bevel7 = nullptr;
    EntryEdit *Edit1 = nullptr;
    DbLookupComboBox *DBLookupComboBox1 = nullptr;
    DbEdit *DBEdit1 = nullptr;
    std::array<DbMemo *, 10> DBMemos{}; // DBMemo2 .. DBMemo11

    // Help page.
    QWidget *TabSheet4 = nullptr;
    Bevel *Bevel4 = nullptr;
    TreeView *tv4 = nullptr;
    DbMemo *DBMemo1 = nullptr;
    QString HelpLB;

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void setStatements();
    void buildFrame();
    void buildSimpleQueryPage();   // lookup/
    void buildCombinedQueryPage(); // lookup/
    void buildDrugEntryPage();     // maintenance/
    void buildHelpPage();          // help/
    void buildTabOrder();
    // Centres the window's outer frame on its screen.
    void centreFrame();
    void watchFrame();

    PrinterProvider *m_printer = nullptr;
    data::DatabaseChanges m_changes;
    QTimer m_changeTimer;
    bool m_closed = false;
    QTimer m_frameWatch;
    int m_frameTries = 0;
    bool m_frameCentred = false;
};
