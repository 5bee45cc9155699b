#include "access/AccessFile.h"

#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace msaccess {

namespace {

// Opens `path` for reading only if it is a regular file (or a link to one).
// A FIFO or a device would block the read, or the open itself, so the open
// does not wait and the check is on what was opened, not on the name.
bool openRegularFile(const QString &path, QFile &file)
{
#ifdef Q_OS_UNIX
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return false;
    }
    struct stat info;
    return ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
#else
    file.setFileName(path);
    return QFileInfo(path).isFile() && file.open(QIODevice::ReadOnly);
#endif
}

} // namespace

AccessFormat accessFormat(const QString &path)
{
    QFile file;
    if (!openRegularFile(path, file))
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
