#pragma once

#include "widgets/NodeKey.h"

#include <QTreeWidget>
#include <memory>

class ImageList;

class TreeNode : public QTreeWidgetItem
{
public:
    using QTreeWidgetItem::QTreeWidgetItem;
    // Allocated with the node and gone with it.
    NodeKey *nodeKey() const { return m_key.get(); }
    void setNodeKey(std::unique_ptr<NodeKey> key) { m_key = std::move(key); }

private:
    std::unique_ptr<NodeKey> m_key;
};

// A tree of text nodes with pictures and keys. Filling inside a BulkUpdate
// adds the nodes in one go at its end, without a redraw per node.
class TreeView : public QTreeWidget
{
    Q_OBJECT
public:
    explicit TreeView(QWidget *parent = nullptr);

    void setImages(const ImageList *images) { m_images = images; }

    class BulkUpdate
    {
    public:
        explicit BulkUpdate(TreeView &tree);
        ~BulkUpdate(); // also on failure: what was added so far is shown
        BulkUpdate(const BulkUpdate &) = delete;
        BulkUpdate &operator=(const BulkUpdate &) = delete;

    private:
        TreeView &m_tree;
    };

    void clearNodes();
    TreeNode *addTopLevel(const QString &text, int index = -1);
    // At `index` among the parent's children; -1: after them.
    TreeNode *addChild(TreeNode *parent, const QString &text, int index = -1);
    void setNodeImages(TreeNode *node, int normal, int selected) const;
    TreeNode *selectedNode() const;
    void selectNode(TreeNode *node);
    int nodeCount() const; // every node, at every level

signals:
    // The selection moved to `node` (nullptr when none).
    void nodeChanged(TreeNode *node);

private:
    void flush();

    const ImageList *m_images = nullptr;
    int m_bulkDepth = 0;
    QList<QTreeWidgetItem *> m_pending;
};
