#include "widgets/TreeView.h"
#include "widgets/Icons.h"

#include <QHeaderView>

namespace {

// The nodes the tree makes keep their text and their icon in members
// rather than in the item's lists of role values, which saves three
// allocations per node: with 100,000 drugs in a tree that is about 20 MB
// and a good part of the filling time. Whatever else is set on a node is
// kept by the item as usual, and text or an icon set from outside replaces
// these.
class StoredNode final : public TreeNode
{
public:
    explicit StoredNode(const QString &text) : m_text(text) {}

    QVariant data(int column, int role) const override
    {
        if (column == 0) {
            if (role == Qt::DisplayRole || role == Qt::EditRole)
                return m_text;
            if (role == Qt::DecorationRole && !m_icon.isNull())
                return m_icon;
        }
        return TreeNode::data(column, role);
    }

    void setData(int column, int role, const QVariant &value) override
    {
        if (column == 0 && (role == Qt::DisplayRole || role == Qt::EditRole)) {
            m_text = value.toString();
            emitDataChanged();
            return;
        }
        if (column == 0 && role == Qt::DecorationRole)
            m_icon = QIcon();
        TreeNode::setData(column, role, value);
    }

    // The image list's icon for the pair, shared, not copied.
    void setStoredIcon(const QIcon &icon)
    {
        m_icon = icon;
        emitDataChanged();
    }

private:
    // Two members only, so that a node fits the allocator's 144-byte class.
    QString m_text;
    QIcon m_icon;
};

// The trees never show their header, but sizing the column to its contents
// still measures the header's own label, in bold: that alone loads a second
// face of the CJK font at start-up, some 8 ms. A hidden header takes no room.
class HiddenHeader final : public QHeaderView
{
public:
    using QHeaderView::QHeaderView;

protected:
    QSize sectionSizeFromContents(int logicalIndex) const override
    {
        return isHidden() ? QSize(0, 0) : QHeaderView::sectionSizeFromContents(logicalIndex);
    }
};

} // namespace

TreeView::TreeView(QWidget *parent) : QTreeWidget(parent)
{
    setHeader(new HiddenHeader(Qt::Horizontal, this));
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

TreeNode *TreeView::addTopLevel(const QString &text, int index)
{
    auto *node = new StoredNode(text);
    if (index >= 0) {
        flush();
        insertTopLevelItem(index, node);
    } else if (m_bulkDepth > 0) {
        m_pending << node;
    } else {
        addTopLevelItem(node);
    }
    return node;
}

TreeNode *TreeView::addChild(TreeNode *parent, const QString &text, int index)
{
    auto *node = new StoredNode(text);
    if (index < 0)
        parent->addChild(node);
    else
        parent->insertChild(index, node);
    return node;
}

void TreeView::setNodeImages(TreeNode *node, int normal, int selected) const
{
    if (!m_images)
        return;
    if (auto *stored = dynamic_cast<StoredNode *>(node))
        stored->setStoredIcon(m_images->icon(normal, selected));
    else
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
