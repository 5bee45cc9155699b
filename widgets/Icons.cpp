#include "widgets/Icons.h"

#include <QHash>

ImageList::ImageList(const QStringList &resources)
{
    for (const QString &resource : resources)
        m_pixmaps << QIcon(resource).pixmap(16, 16);
}

QIcon ImageList::icon(int index) const
{
    return icon(index, index);
}

QIcon ImageList::icon(int normal, int selected) const
{
    const int key = normal * 1000 + selected;
    auto it = m_pairs.find(key);
    if (it == m_pairs.end()) {
        QIcon icon;
        icon.addPixmap(pixmap(normal), QIcon::Normal);
        icon.addPixmap(pixmap(selected), QIcon::Selected);
        it = m_pairs.insert(key, icon);
    }
    return *it;
}

namespace Icons {

QIcon binoculars()
{
    return QIcon(QStringLiteral(":/icons/binoculars.svg"));
}

QIcon application()
{
    QIcon icon;
    const QIcon svg(QStringLiteral(":/icons/app.svg"));
    icon.addPixmap(svg.pixmap(32, 32));
    icon.addPixmap(svg.pixmap(16, 16));
    return icon;
}

ImageList treeViewImages()
{
    return ImageList({QStringLiteral(":/icons/house.svg"), QStringLiteral(":/icons/book-green.svg"),
                      QStringLiteral(":/icons/book-blue-closed.svg"), QStringLiteral(":/icons/book-blue-open.svg")});
}

ImageList toolButtonImages()
{
    return ImageList({QStringLiteral(":/icons/floppy.svg"), QStringLiteral(":/icons/cross.svg"),
                      QStringLiteral(":/icons/printer.svg"), QStringLiteral(":/icons/exit.svg")});
}

} // namespace Icons
