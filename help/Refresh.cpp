// The help page brought up to date after a change on the server. A text
// with unsaved edits is never replaced: its save meets the optimistic rule.
#include "app/MainForm.h"
#include "widgets/TreeView.h"

#include <QSignalBlocker>

void TFormMain::RefreshHelp(const data::DatabaseChanges &changes)
{
    const bool editing = SQL_HELP_ZB.isActive() && SQL_HELP_ZB.updatesPending();
    if (changes.helpTopics) {
        const TreeNode *selected = tv4->selectedNode();
        const QString key = selected && selected->nodeKey() ? selected->nodeKey()->key : QString();
        {
            const QSignalBlocker quiet(tv4);
            ShowTv4();
        }
        for (QTreeWidgetItemIterator it(tv4); *it; ++it) {
            auto *node = static_cast<TreeNode *>(*it);
            if (!key.isNull() && node->nodeKey() && node->nodeKey()->key == key) {
                const QSignalBlocker quiet(tv4);
                tv4->selectNode(node);
                break;
            }
        }
    }
    if ((changes.helpTexts || changes.helpTopics) && !editing && !HelpLB.isNull()) {
        SQL_HELP_ZB.close();
        SQL_HELP_ZB.setParameter(QStringLiteral("lb"), HelpLB);
        SQL_HELP_ZB.open();
    }
}
