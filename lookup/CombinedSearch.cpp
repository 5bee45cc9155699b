// The combined-criteria search of the second page.
#include "app/MainForm.h"
#include "lookup/CombinedQuery.h"
#include "widgets/LabeledEdit.h"
#include "widgets/Memo.h"
#include "widgets/TreeView.h"

#include <memory>

void TFormMain::BitBtn2Click()
{
    QStringList texts;
    for (const LabeledEdit *edit : LabeledEdits)
        texts << edit->text();
    LastSearch = texts;
    if (TreeNode *first = fillResultList(texts))
        tv2->selectNode(first);
}

TreeNode *TFormMain::fillResultList(const QStringList &texts)
{
    CombinedQuery query(texts);
    const QString sql = query.sql(MainConnection);

    ResultListFilled = false;
    TreeNode *firstNode = nullptr;
    {
        TreeView::BulkUpdate bulk(*tv2);
        tv2->clearNodes();
        SQL_1.close();
        SQL_1.setSql(sql);
        SQL_1.clearParameters();
        for (const auto &[name, value] : query.parameters())
            SQL_1.setParameter(name, value);
        SQL_1.open();
        SQL_1.first();
        while (!SQL_1.eof()) {
            TreeNode *node = addResultNode(ResultRow::current(SQL_1));
            if (SQL_1.recNo() == 1)
                firstNode = node;
            SQL_1.next();
        }
        // The nodes hold all that the list shows now. With every drug listed
        // the rows are some 30 MB, so they go before the list is laid out
        // rather than after; showing the first entry opens SQL_1 again.
        if (firstNode)
            SQL_1.close();
    }
    ResultListFilled = true;
    return firstNode;
}

ResultRow ResultRow::current(const data::DataSet &list)
{
    return {list.asString(0), list.asString(1), list.asString(2), list.value(3)};
}

QString ResultRow::text() const
{
    // Built to its exact size: the list may hold every drug.
    const QString c = trimText(category), n = trimText(name);
    QString text;
    text.reserve(c.size() + 1 + n.size());
    return text.append(c).append(u'：').append(n);
}

TreeNode *TFormMain::addResultNode(const ResultRow &row, int at)
{
    TreeNode *node = tv2->addTopLevel(row.text(), at);
    node->setNodeKey(std::make_unique<NodeKey>(NodeKey{row.id, row.code}));
    tv2->setNodeImages(node, Icons::BlueBookClosed, Icons::BlueBookOpen);
    return node;
}

void TFormMain::tv2Change(TreeNode *node)
{
    if (ResultListFilled && node && node->nodeKey())
        ShowDrug(node->nodeKey()->key, Memo2);
}
