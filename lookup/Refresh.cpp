// What the lookup pages show, brought up to date after a change on the
// server, keeping the user's place: the selection, the open categories and
// the scroll position.
#include "app/MainForm.h"
#include "widgets/Memo.h"
#include "widgets/TreeView.h"

#include <QScrollBar>
#include <QSet>
#include <QSignalBlocker>

namespace {

TreeNode *nodeWithKey(TreeView *tree, const QString &key)
{
    for (QTreeWidgetItemIterator it(tree); *it; ++it) {
        auto *node = static_cast<TreeNode *>(*it);
        if (node->nodeKey() && node->nodeKey()->key == key)
            return node;
    }
    return nullptr;
}

// Reselects the node of `key` and the scroll position, without the
// selection's handler: nothing is fetched again for it.
void restore(TreeView *tree, const QString &key, int scroll)
{
    if (TreeNode *node = key.isNull() ? nullptr : nodeWithKey(tree, key)) {
        const QSignalBlocker quiet(tree);
        tree->selectNode(node);
    }
    tree->verticalScrollBar()->setValue(scroll);
}

QString selectedKey(TreeView *tree)
{
    const TreeNode *node = tree->selectedNode();
    return node && node->nodeKey() ? node->nodeKey()->key : QString();
}

} // namespace

void TFormMain::RefreshTv1()
{
    const QString key = selectedKey(tv1);
    const int scroll = tv1->verticalScrollBar()->value();
    QSet<QString> open;
    for (int i = 0; i < tv1->topLevelItemCount(); ++i) {
        if (tv1->topLevelItem(i)->isExpanded())
            open << tv1->topLevelItem(i)->text(0);
    }
    {
        const QSignalBlocker quiet(tv1);
        ShowTv1();
        for (int i = 0; i < tv1->topLevelItemCount(); ++i)
            tv1->topLevelItem(i)->setExpanded(open.contains(tv1->topLevelItem(i)->text(0)));
    }
    restore(tv1, key, scroll);
}

void TFormMain::RefreshTv2()
{
    if (!LastSearch)
        return;
    const QString key = selectedKey(tv2);
    const int scroll = tv2->verticalScrollBar()->value();
    {
        const QSignalBlocker quiet(tv2);
        fillResultList(*LastSearch);
    }
    restore(tv2, key, scroll);
}

void TFormMain::RefreshSheets(const data::DatabaseChanges &changes)
{
    for (Memo *memo : {Memo1, Memo2}) {
        const QString id = SheetDrug.value(memo);
        if (id.isEmpty() || !changes.drugChanged(id.toLongLong()))
            continue;
        const int scroll = memo->verticalScrollBar()->value();
        ShowDrug(id, memo);
        memo->verticalScrollBar()->setValue(scroll);
    }
}
