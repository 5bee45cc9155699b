// The combined-criteria search of the second page.
#include "app/MainForm.h"
#include "data/DrugFields.h"
#include "data/SearchIndex.h"
#include "widgets/LabeledEdit.h"
#include "widgets/Memo.h"
#include "widgets/TreeView.h"

#include <memory>

namespace {

constexpr int LikePatternLimit = 50000;

} // namespace

void TFormMain::BitBtn2Click()
{
    // Each filled box asks that its column contain the text; % and _ typed
    // into a box keep their pattern meaning. Values are bound, never pasted.
    QString criteria = QStringLiteral("1=1");
    QStringList patterns;
    std::vector<data::SearchIndex::Criterion> filled;
    for (int i = 0; i < 12; ++i) {
        const QString text = LabeledEdits[i]->text();
        if (text.isEmpty())
            continue;
        const QString parameter = QStringLiteral(":p%1").arg(i + 1);
        QString pattern = QLatin1Char('%') + text + QLatin1Char('%');
        // The engine refuses LIKE patterns over 50,000 bytes. A text that
        // long without wildcards is searched as a plain substring, with the
        // same case rule for Latin letters; one with wildcards by our own
        // matcher of LIKE's meaning, registered on the connection.
        const bool tooLong = pattern.toUtf8().size() > LikePatternLimit;
        const bool substring = tooLong && !text.contains(QLatin1Char('%')) && !text.contains(QLatin1Char('_'));
        const auto test = [&](const QString &column) {
            if (substring)
                return QStringLiteral("instr(lower(%1), lower(%2)) > 0").arg(column, parameter);
            return tooLong ? QStringLiteral("long_like(%2, %1)").arg(column, parameter)
                           : QStringLiteral("%1 like %2").arg(column, parameter);
        };
        if (substring)
            pattern = text;
        // The box's columns are the ones the search index files it under;
        // the plant-form box tests either of its two.
        const QStringList columns = data::boxColumns(i + 1);
        if (columns.size() == 2)
            criteria += QStringLiteral(" and ( %1   or  %2)").arg(test(columns[0]), test(columns[1]));
        else
            criteria += QStringLiteral(" and  ") + test(columns[0]);
        patterns << QStringLiteral("p%1").arg(i + 1) << pattern;
        filled.push_back({data::boxIndexField(i + 1), text});
    }
    // The search index names the rows that can match, and for short texts
    // the rows that do; only the rest are tested.
    const QString where = data::SearchIndex(MainConnection).narrow(filled, criteria);
    const QString sql = QStringLiteral("select ID,类别,药物名称 from DRUG_ZB  where ") + where +
                        QStringLiteral(" order by LB,ID");

    ResultListFilled = false;
    TreeNode *firstNode = nullptr;
    {
        TreeView::BulkUpdate bulk(*tv2);
        tv2->clearNodes();
        SQL_1.close();
        SQL_1.setSql(sql);
        SQL_1.clearParameters();
        for (int i = 0; i < patterns.size(); i += 2)
            SQL_1.setParameter(patterns[i], patterns[i + 1]);
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
            tv2->setNodeImages(node, 2, 3);
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
