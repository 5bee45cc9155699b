#include "data/sqlite/NewDatabaseFile.h"
#include "data/Connection.h"
#include "data/DbError.h"
#include "data/sqlite/Schema.h"
#include "data/sqlite/Script.h"

#include <QFile>
#include <QFileInfo>
#include <filesystem>
#include <sqlite3.h>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace data {

namespace {

// The files the engine keeps beside a database while it writes to it. One
// left behind by a program killed during a save is played into whatever
// file bears the name next, so it must go with the file it belongs to.
const char *const SideFiles[] = {"-journal", "-wal", "-shm"};

void removeWithSideFiles(const QString &path)
{
    QFile::remove(path);
    for (const char *suffix : SideFiles)
        QFile::remove(path + QLatin1String(suffix));
}

// Holds the engine's locks of an existing database file while it is
// replaced: no other program can begin to read or write it meanwhile, and
// one that is reading or writing it now makes the replacement fail. (The
// locks are POSIX record locks, the engine's own; a program that has the
// file open but is not using it holds none and cannot be seen.)
class ReplaceLock
{
public:
    explicit ReplaceLock(const QString &path)
    {
#ifdef Q_OS_UNIX
        const QByteArray name = QFile::encodeName(path);
        bool writable = true;
        m_fd = ::open(name.constData(), O_RDWR | O_CLOEXEC);
        if (m_fd < 0 && errno == EACCES) {
            writable = false; // a read-only file: a read lock still keeps writers out
            m_fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC);
        }
        if (m_fd < 0)
            return; // no file to guard (or none we can open): the rename decides
        struct flock lock = {};
        lock.l_type = writable ? F_WRLCK : F_RDLCK;
        lock.l_whence = SEEK_SET;
        lock.l_start = 0x40000000; // the engine's lock bytes: pending, reserved, shared
        lock.l_len = 512;
        if (::fcntl(m_fd, F_SETLK, &lock) != 0) {
            ::close(m_fd);
            m_fd = -1;
            throw DbError(QStringLiteral("%1 正被另一个程序读写，没有替换它。请先关闭使用它的程序").arg(path));
        }
#else
        Q_UNUSED(path);
#endif
    }
    ~ReplaceLock()
    {
#ifdef Q_OS_UNIX
        if (m_fd >= 0)
            ::close(m_fd);
#endif
    }
    ReplaceLock(const ReplaceLock &) = delete;
    ReplaceLock &operator=(const ReplaceLock &) = delete;

private:
    int m_fd = -1;
};

} // namespace

void NewDatabaseFile::Closer::operator()(sqlite3 *db) const
{
    sqlite3_close_v2(db);
}

NewDatabaseFile::NewDatabaseFile(const QString &path, bool overwrite) : m_path(QFileInfo(path).absoluteFilePath())
{
    if (QFileInfo::exists(m_path) && !overwrite)
        throw DbError(QStringLiteral("%1 已存在，不会覆盖它").arg(m_path));
    m_temp = m_path + QStringLiteral(".building");
    removeWithSideFiles(m_temp);
    sqlite3 *db = nullptr;
    const int rc = sqlite3_open_v2(m_temp.toUtf8().constData(), &db,
                                   SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    m_db.reset(db);
    if (rc != SQLITE_OK)
        throw DbError(QStringLiteral("无法创建 %1：%2").arg(m_temp, QString::fromUtf8(sqlite3_errmsg(db))));
    Connection::applyKey(db);
    runScript(db, schemaSql());
}

NewDatabaseFile::~NewDatabaseFile()
{
    m_db.reset();
    if (!m_done)
        removeWithSideFiles(m_temp);
}

void NewDatabaseFile::finish()
{
    m_db.reset();
    ReplaceLock lock(m_path);
    for (const char *suffix : SideFiles) {
        const QString side = m_path + QLatin1String(suffix);
        if (QFileInfo::exists(side) && !QFile::remove(side))
            throw DbError(QStringLiteral("无法删除旧数据库留下的 %1，没有替换 %2").arg(side, m_path));
    }
    std::error_code error;
    std::filesystem::rename(std::filesystem::path(m_temp.toStdU16String()),
                            std::filesystem::path(m_path.toStdU16String()), error);
    if (error)
        throw DbError(QStringLiteral("无法把 %1 改名为 %2：%3")
                          .arg(m_temp, m_path, QString::fromLocal8Bit(error.message())));
    m_done = true;
}

} // namespace data
