#include "access/AccessFile.h"

#include <QFile>

namespace msaccess {

AccessFormat accessFormat(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return AccessFormat::None;
    const QByteArray head = file.read(0x15);
    if (head.size() < 0x15 || !head.startsWith(QByteArrayView("\x00\x01\x00\x00", 4)))
        return AccessFormat::None;
    const QByteArray signature = head.mid(4, 16);
    if (signature == QByteArrayView("Standard ACE DB\0", 16))
        return AccessFormat::Accdb;
    if (signature != QByteArrayView("Standard Jet DB\0", 16))
        return AccessFormat::None;
    switch (head[0x14]) {
    case 0: return AccessFormat::Jet3;
    case 1: return AccessFormat::Jet4;
    default: return AccessFormat::Accdb;
    }
}

} // namespace msaccess
