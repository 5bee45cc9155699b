// What the lookup pages show, brought up to date after a change on the
// server, keeping the user's place: the selection, the open categories and
// the scroll position.
#include "app/MainForm.h"
#include "lookup/CombinedQuery.h"
#include "widgets/Memo.h"
#include "widgets/TreeView.h"

#include <QHash>
#include <QScrollBar>
#include <QSet>
#include <QSignalBlocker>

namespace {

// Reading afresh costs about a second for the tree and up to 400 ms for a
// list of every drug at 100,000, on every change any client makes: a few
// changed drugs are done in place.
constexpr qsizetype FewDrugs = 200;

bool fewDrugsChanged(const data::DatabaseChanges &changes)
{
    return !changes.everyDrug && !changes.categories && changes.drugs.size() <= FewDrugs;
}

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

// The result list's order on both engines: by category code with Latin
// letters folded (the file's NOCASE, the server's zelkano_fold), NULL
// first, byte for byte; then by ID.
bool listedBefore(const std::optional<QString> &code, qint64 id, const std::optional<QString> &otherCode, qint64 otherId)
{
    if (code.has_value() != otherCode.has_value())
        return !code;
    if (code) {
        const QByteArray a = foldedCode(*code).toUtf8(), b = foldedCode(*otherCode).toUtf8();
        if (a != b)
            return a < b;
    }
    return id < otherId;
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
        if (!fewDrugsChanged(changes) || !UpdateTv1Drugs(changes.drugs)) {
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

void TFormMain::RefreshTv2(const data::DatabaseChanges &changes)
{
    if (!LastSearch)
        return;
    const QString key = selectedKey(tv2);
    const int scroll = tv2->verticalScrollBar()->value();
    {
        const QSignalBlocker quiet(tv2);
        if (!fewDrugsChanged(changes) || !UpdateResultList(changes.drugs))
            fillResultList(*LastSearch);
    }
    restore(tv2, key, scroll);
}

// The last search's test run on the drugs `ids` alone; those that no longer
// match leave the list, those that now match come in where the full search
// would list them, the others keep their nodes. False where the list is not
// the last search's whole answer.
bool TFormMain::UpdateResultList(const QSet<qint64> &ids)
{
    if (!ResultListFilled)
        return false;
    if (ids.isEmpty())
        return true;
    CombinedQuery query(*LastSearch);
    QStringList marks;
    for (qsizetype i = 0; i < ids.size(); ++i)
        marks << QStringLiteral(":id%1").arg(i);
    SQL_2.close();
    SQL_2.setSql(query.fullSql(MainConnection, QStringLiteral("ID in (%1)").arg(marks.join(u','))));
    SQL_2.clearParameters();
    for (const auto &[name, value] : query.parameters())
        SQL_2.setParameter(name, value);
    qsizetype mark = 0;
    for (const qint64 id : ids)
        SQL_2.setParameter(QStringLiteral("id%1").arg(mark++), id);
    SQL_2.open();
    QHash<qint64, ResultRow> matching;
    for (SQL_2.first(); !SQL_2.eof(); SQL_2.next())
        matching.insert(SQL_2.asString(0).toLongLong(), ResultRow::current(SQL_2));
    SQL_2.close();

    // A node whose drug still matches in the same place is renamed; the
    // others go, and those that match come back where they now belong.
    for (int i = tv2->topLevelItemCount() - 1; i >= 0; --i) {
        auto *node = static_cast<TreeNode *>(tv2->topLevelItem(i));
        const qint64 id = drugId(node);
        if (!ids.contains(id))
            continue;
        const auto found = matching.constFind(id);
        if (found != matching.cend() && found->code == node->nodeKey()->order) {
            node->setText(0, found->text());
            matching.erase(found);
        } else {
            delete node;
        }
    }
    for (auto row = matching.cbegin(); row != matching.cend(); ++row) {
        int low = 0, high = tv2->topLevelItemCount();
        while (low < high) {
            const int middle = (low + high) / 2;
            const auto *node = static_cast<TreeNode *>(tv2->topLevelItem(middle));
            if (listedBefore(node->nodeKey()->order, drugId(node), row->code, row.key()))
                low = middle + 1;
            else
                high = middle;
        }
        addResultNode(*row, low);
    }
    return true;
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
