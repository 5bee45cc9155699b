// The help page: topic tree and the editable topic text.
#include "core/Guard.h"
#include "app/MainForm.h"
#include "data/WindowSql.h"
#include "widgets/Bevel.h"
#include "widgets/DbMemo.h"
#include "widgets/PageControl.h"
#include "widgets/TreeView.h"

#include <QHBoxLayout>
#include <QVBoxLayout>
#include <memory>

void TFormMain::buildHelpPage()
{
    auto *page = new QVBoxLayout(TabSheet4);
    page->setContentsMargins(0, 0, 0, 0);
    page->setSpacing(0);
    Bevel4 = new Bevel(TabSheet4);
    page->addWidget(Bevel4);
    auto *body = new QHBoxLayout;
    body->setSpacing(0);
    tv4 = new TreeView(TabSheet4);
    tv4->setFixedWidth(193);
    tv4->setRootIsDecorated(false);
    tv4->setImages(&ImageList_TreeView);
    tv4->setAccessibleName(QStringLiteral("帮助主题"));
    connect(tv4, &TreeView::nodeChanged, this, core::guard([this](TreeNode *node) { tv4Change(node); }));
    DBMemo1 = new DbMemo(TabSheet4);
    DBMemo1->setObjectName(QStringLiteral("DBMemo1"));
    DBMemo1->setToolTip(QStringLiteral("Ctrl+Enter 换行"));
    DBMemo1->setAccessibleName(QStringLiteral("帮助内容"));
    DBMemo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    DBMemo1->setDataField(QStringLiteral("CONTENT"));
    DBMemo1->setDataSource(&DS_HELP_ZB);
    body->addWidget(tv4);
    body->addWidget(DBMemo1, 1);
    page->addLayout(body, 1);
    Pc->setFirstControl(HelpPage, DBMemo1);
}

void TFormMain::ShowTv4()
{
    TreeNode *first = nullptr;
    {
        TreeView::BulkUpdate bulk(*tv4);
        tv4->clearNodes();
        SQL_1.close();
        SQL_1.setSql(data::sql::helpTopics());
        SQL_1.open();
        SQL_1.first();
        while (!SQL_1.eof()) {
            TreeNode *node = tv4->addTopLevel(trimText(SQL_1.asString(1)));
            if (SQL_1.recNo() == 1)
                first = node;
            node->setNodeKey(std::make_unique<NodeKey>(NodeKey{SQL_1.asString(0)}));
            tv4->setNodeImages(node, Icons::BlueBookClosed, Icons::BlueBookOpen);
            SQL_1.next();
        }
    }
    if (first)
        tv4->selectNode(first);
}

void TFormMain::tv4Change(TreeNode *node)
{
    if (!node || !node->nodeKey())
        return;
    HelpLB = node->nodeKey()->key;
    SQL_HELP_ZB.close();
    SQL_HELP_ZB.setParameter(QStringLiteral("lb"), HelpLB);
    SQL_HELP_ZB.open();
}

void TFormMain::SQL_HELP_ZBAfterInsert(data::DataSet &dataSet)
{
    dataSet.setField(QStringLiteral("LB"), HelpLB);
}
