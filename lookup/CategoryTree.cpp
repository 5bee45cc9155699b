// The category tree of the simple query page.
#include "app/MainForm.h"
#include "data/WindowSql.h"
#include "widgets/LabeledEdit.h"
#include "widgets/TreeView.h"

#include <memory>

void TFormMain::ShowTv1()
{
    // Ended on every path, so that the nodes added before a failure are drawn.
    TreeView::BulkUpdate bulk(*tv1);
    tv1->clearNodes();
    SQL_1.close();
    SQL_1.setSql(data::sql::categories());
    SQL_1.open();
    SQL_1.first();
    // One statement per category, the code bound as it was read.
    SQL_2.close();
    SQL_2.setSql(data::sql::categoryDrugs());
    while (!SQL_1.eof()) {
        TreeNode *category = tv1->addTopLevel(trimText(SQL_1.asString(1)));
        const QString code = SQL_1.asString(0);
        tv1->setNodeImages(category, Icons::GreenBook, Icons::GreenBook);
        SQL_2.close();
        SQL_2.setParameter(QStringLiteral("lb"), code);
        SQL_2.open();
        SQL_2.first();
        while (!SQL_2.eof()) {
            TreeNode *drug = tv1->addChild(category, trimText(SQL_2.asString(1)));
            drug->setNodeKey(std::make_unique<NodeKey>(NodeKey{SQL_2.asString(0)}));
            tv1->setNodeImages(drug, Icons::BlueBookClosed, Icons::BlueBookOpen);
            SQL_2.next();
        }
        SQL_1.next();
    }
}

void TFormMain::tv1Change(TreeNode *node)
{
    if (!node || !node->nodeKey())
        return;
    ShowDrug(node->nodeKey()->key, Memo1);
    LabeledEdit_mc->setText(node->text(0));
}
