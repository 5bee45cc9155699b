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
    const CombinedQuery query(texts);
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
            // Built to its exact size: the list may hold every drug.
            const QString category = trimText(SQL_1.asString(1));
            const QString name = trimText(SQL_1.asString(2));
            QString text;
            text.reserve(category.size() + 1 + name.size());
            text.append(category).append(u'：').append(name);
            TreeNode *node = tv2->addTopLevel(text);
            if (SQL_1.recNo() == 1)
                firstNode = node;
            node->setNodeKey(std::make_unique<NodeKey>(NodeKey{SQL_1.asString(0)}));
            tv2->setNodeImages(node, Icons::BlueBookClosed, Icons::BlueBookOpen);
            SQL_1.next();
        }
        // The nodes hold all that the list shows now. With every drug listed
        // the rows are some 30 MB, so they go before the list is laid out
        // rather than after; showing the first entry opens SQL_1 again.
        if (firstNode)
            SQL_1.close();
    }
    ResultListFilled = true;
    if (firstNode)
        tv2->selectNode(firstNode);
}

void TFormMain::tv2Change(TreeNode *node)
{
    if (ResultListFilled && node && node->nodeKey())
        ShowDrug(node->nodeKey()->key, Memo2);
}
