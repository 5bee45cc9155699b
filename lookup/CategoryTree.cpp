// The category tree of the simple query page.
#include "app/MainForm.h"
#include "widgets/LabeledEdit.h"
#include "widgets/TreeView.h"

#include <memory>

void TFormMain::ShowTv1()
{
    // Ended on every path, so that the nodes added before a failure are drawn.
    TreeView::BulkUpdate bulk(*tv1);
    tv1->clearNodes();
    // A server answers the whole tree in one statement: a statement per
    // category is some 500 round trips at start-up.
    const QString whole = MainConnection.sql(data::Sql::CategoryTree);
    if (!whole.isEmpty()) {
        SQL_1.close();
        SQL_1.setSql(whole);
        SQL_1.open();
        TreeNode *category = nullptr;
        QString categoryKey;
        for (SQL_1.first(); !SQL_1.eof(); SQL_1.next()) {
            if (!category || SQL_1.asString(0) != categoryKey) {
                categoryKey = SQL_1.asString(0);
                category = tv1->addTopLevel(trimText(SQL_1.asString(2)));
                tv1->setNodeImages(category, Icons::GreenBook, Icons::GreenBook);
            }
            if (const std::optional<QString> id = SQL_1.value(QStringLiteral("ID")))
                addTv1Drug(category, *id, SQL_1.asString(4));
        }
        SQL_1.close();
        return;
    }
    SQL_1.close();
    SQL_1.setSql(MainConnection.sql(data::Sql::Categories));
    SQL_1.open();
    SQL_1.first();
    // One statement per category, the code bound as it was read.
    SQL_2.close();
    SQL_2.setSql(MainConnection.sql(data::Sql::DrugsOfCategory));
    while (!SQL_1.eof()) {
        TreeNode *category = tv1->addTopLevel(trimText(SQL_1.asString(1)));
        const QString code = SQL_1.asString(0);
        tv1->setNodeImages(category, Icons::GreenBook, Icons::GreenBook);
        SQL_2.close();
        SQL_2.setParameter(QStringLiteral("lb"), code);
        SQL_2.open();
        for (SQL_2.first(); !SQL_2.eof(); SQL_2.next())
            addTv1Drug(category, SQL_2.asString(0), SQL_2.asString(1));
        SQL_1.next();
    }
}

void TFormMain::addTv1Drug(TreeNode *category, const QString &id, const QString &name)
{
    TreeNode *drug = tv1->addChild(category, trimText(name));
    drug->setNodeKey(std::make_unique<NodeKey>(NodeKey{id}));
    tv1->setNodeImages(drug, Icons::BlueBookClosed, Icons::BlueBookOpen);
}

void TFormMain::tv1Change(TreeNode *node)
{
    if (!node || !node->nodeKey())
        return;
    ShowDrug(node->nodeKey()->key, Memo1);
    LabeledEdit_mc->setText(node->text(0));
}
