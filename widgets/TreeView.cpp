#include "widgets/TreeView.h"
#include "widgets/Icons.h"

#include <QHeaderView>

TreeView::TreeView(QWidget *parent) : QTreeWidget(parent)
{
    setHeaderHidden(true);
    setColumnCount(1);
    setIndentation(25);
    setIconSize(QSize(16, 16));
    setUniformRowHeights(true);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setFocusPolicy(Qt::StrongFocus);
    header()->setStretchLastSection(false);
    header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    connect(this, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem *current, QTreeWidgetItem *) { emit nodeChanged(static_cast<TreeNode *>(current)); });
}

TreeView::BulkUpdate::BulkUpdate(TreeView &tree) : m_tree(tree)
{
    if (m_tree.m_bulkDepth++ == 0)
        m_tree.setUpdatesEnabled(false);
}

TreeView::BulkUpdate::~BulkUpdate()
{
    if (--m_tree.m_bulkDepth == 0) {
        m_tree.flush();
        m_tree.setUpdatesEnabled(true);
    }
}

void TreeView::flush()
{
    if (!m_pending.isEmpty()) {
        addTopLevelItems(m_pending);
        m_pending.clear();
    }
}

void TreeView::clearNodes()
{
    qDeleteAll(m_pending);
    m_pending.clear();
    clear();
}

TreeNode *TreeView::addTopLevel(const QString &text)
{
    auto *node = new TreeNode(QStringList(text));
    if (m_bulkDepth > 0)
        m_pending << node;
    else
        addTopLevelItem(node);
    return node;
}

TreeNode *TreeView::addChild(TreeNode *parent, const QString &text)
{
    auto *node = new TreeNode(QStringList(text));
    parent->addChild(node);
    return node;
}

void TreeView::setNodeImages(TreeNode *node, int normal, int selected) const
{
    if (m_images)
        node->setIcon(0, m_images->icon(normal, selected));
}

TreeNode *TreeView::selectedNode() const
{
    return static_cast<TreeNode *>(currentItem());
}

void TreeView::selectNode(TreeNode *node)
{
    if (node)
        setCurrentItem(node);
    else
        setCurrentItem(nullptr);
}

int TreeView::nodeCount() const
{
    int count = 0;
    for (int i = 0; i < topLevelItemCount(); ++i)
        count += 1 + topLevelItem(i)->childCount();
    return count;
}
