// What the lookup pages show, brought up to date after a change on the
// server, keeping the user's place: the selection, the open categories and
// the scroll position.
#include "app/MainForm.h"
#include "widgets/Memo.h"
#include "widgets/TreeView.h"

#include <QHash>
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

// A category code as the tree matches it: Latin A-Z fold, nothing else.
QString foldedCode(QString code)
{
    for (QChar &c : code) {
        if (c >= u'A' && c <= u'Z')
            c = QChar(c.unicode() + (u'a' - u'A'));
    }
    return code;
}

qint64 drugId(const QTreeWidgetItem *item)
{
    const NodeKey *key = static_cast<const TreeNode *>(item)->nodeKey();
    return key ? key->key.toLongLong() : -1;
}

QString selectedKey(TreeView *tree)
{
    const TreeNode *node = tree->selectedNode();
    return node && node->nodeKey() ? node->nodeKey()->key : QString();
}

} // namespace

void TFormMain::RefreshTv1(const data::DatabaseChanges &changes)
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
        // Rebuilding the tree takes about a second at 100,000 drugs, on
        // every change any client makes: a few drugs are done in place.
        constexpr qsizetype FewDrugs = 200;
        if (changes.everyDrug || changes.categories || changes.drugs.size() > FewDrugs
            || !UpdateTv1Drugs(changes.drugs)) {
            ShowTv1();
            for (int i = 0; i < tv1->topLevelItemCount(); ++i)
                tv1->topLevelItem(i)->setExpanded(open.contains(tv1->topLevelItem(i)->text(0)));
        }
    }
    restore(tv1, key, scroll);
}

// The nodes of the drugs `ids` renamed, moved, added or removed as the tree
// would list them afresh: under the category their code names, by ID.
// False, with nothing changed, where the categories are not the tree's.
bool TFormMain::UpdateTv1Drugs(const QSet<qint64> &ids)
{
    QHash<QString, TreeNode *> categories;
    SQL_2.close();
    SQL_2.setSql(MainConnection.sql(data::Sql::Categories));
    SQL_2.open();
    int count = 0;
    for (SQL_2.first(); !SQL_2.eof(); SQL_2.next(), ++count) {
        auto *node = static_cast<TreeNode *>(tv1->topLevelItem(count));
        const QString code = foldedCode(SQL_2.asString(0));
        if (!node || node->text(0) != trimText(SQL_2.asString(1)) || categories.contains(code))
            return false;
        categories.insert(code, node);
    }
    if (count != tv1->topLevelItemCount())
        return false;

    QHash<qint64, TreeNode *> shown;
    for (int c = 0; c < count; ++c) {
        const QTreeWidgetItem *category = tv1->topLevelItem(c);
        for (int d = 0; d < category->childCount(); ++d) {
            if (ids.contains(drugId(category->child(d))))
                shown.insert(drugId(category->child(d)), static_cast<TreeNode *>(category->child(d)));
        }
    }
    SQL_2.close();
    SQL_2.setSql(QStringLiteral("select ID,药物名称,LB from DRUG_ZB where ID=:id"));
    for (const qint64 id : ids) {
        SQL_2.close();
        SQL_2.setParameter(QStringLiteral("id"), id);
        SQL_2.open();
        const std::optional<QString> code = SQL_2.recordCount() ? SQL_2.value(QStringLiteral("LB")) : std::nullopt;
        TreeNode *category = code ? categories.value(foldedCode(*code)) : nullptr;
        TreeNode *node = shown.value(id);
        if (node && node->parent() != category) {
            delete node;
            node = nullptr;
        }
        if (!category)
            continue;
        const QString name = trimText(SQL_2.asString(1));
        if (node) {
            node->setText(0, name);
            continue;
        }
        int at = 0;
        while (at < category->childCount() && drugId(category->child(at)) < id)
            ++at;
        node = tv1->addChild(category, name, at);
        node->setNodeKey(std::make_unique<NodeKey>(NodeKey{QString::number(id)}));
        tv1->setNodeImages(node, Icons::BlueBookClosed, Icons::BlueBookOpen);
    }
    SQL_2.close();
    return true;
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
