#pragma once

#include <QHash>
#include <QIcon>
#include <QList>
#include <QPixmap>
#include <QString>

// A numbered list of 16x16 pictures, as the trees and the toolbar use them.
class ImageList
{
public:
    ImageList() = default;
    explicit ImageList(const QStringList &resources);

    int count() const { return int(m_pixmaps.size()); }
    QPixmap pixmap(int index) const { return m_pixmaps.value(index); }
    QIcon icon(int index) const;
    // One icon showing `normal`, and `selected` while its item is selected.
    QIcon icon(int normal, int selected) const;

private:
    QList<QPixmap> m_pixmaps;
    mutable QHash<int, QIcon> m_pairs;
};

namespace Icons {
QIcon binoculars();
QIcon application();
ImageList treeViewImages();   // house, green book, blue book closed, blue book open
ImageList toolButtonImages(); // floppy, cross, printer, door
} // namespace Icons
