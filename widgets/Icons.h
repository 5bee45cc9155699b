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

// The pictures of treeViewImages() by index. Category nodes show the green
// book; drug and help-topic nodes the closed blue book, and the open one
// while selected. The house is shown nowhere.
enum TreeImage : int { House = 0, GreenBook = 1, BlueBookClosed = 2, BlueBookOpen = 3 };
// The pictures of toolButtonImages() by index, one per toolbar command.
enum ToolImage : int { Floppy = 0, Cross = 1, Printer = 2, Door = 3 };

QIcon binoculars();
QIcon application();
ImageList treeViewImages();
ImageList toolButtonImages();

} // namespace Icons
