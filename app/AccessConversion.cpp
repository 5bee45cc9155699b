#include "app/AccessConversion.h"
#include "access/ChildProcess.h"
#include "data/Connection.h"
#include "core/Error.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>
#include <filesystem>

namespace app {

namespace {

using core::Error;

constexpr int TimeLimitMs = 5 * 60 * 1000;

// The name as Qt passes it to the system.
std::filesystem::path fsPath(const QString &path)
{
#ifdef Q_OS_WIN
    return std::filesystem::path(path.toStdWString());
#else
    return std::filesystem::path(QFile::encodeName(path).toStdString());
#endif
}

QString convertingName(const QString &path)
{
    return path + QStringLiteral(".converting");
}

QString backupName(const QString &path, int n)
{
    const QString base = path + QStringLiteral(".access-backup");
    return n == 0 ? base : base + QLatin1Char('.') + QString::number(n);
}

// The new file and what the engine and drugdb leave beside it.
void removeConvertingFiles(const QString &path)
{
    for (const QString &name : {convertingName(path), convertingName(path) + QStringLiteral(".building")})
        for (const char *suffix : {"", "-journal", "-wal", "-shm"})
            QFile::remove(name + QLatin1String(suffix));
}

// Removes the new file on every way out unless told to keep it.
class ConvertingGuard
{
public:
    explicit ConvertingGuard(QString path) : m_path(std::move(path)) {}
    ~ConvertingGuard()
    {
        if (!m_kept)
            removeConvertingFiles(m_path);
    }
    void keep() { m_kept = true; }

private:
    QString m_path;
    bool m_kept = false;
};

// The rows per table that drugdb reports having read.
QMap<QString, qint64> reportedRows(const QString &output)
{
    static const QRegularExpression line(QStringLiteral("^(DRUG_LB|DRUG_ZB|HELP_LB|HELP_ZB): (\\d+) rows$"),
                                         QRegularExpression::MultilineOption);
    QMap<QString, qint64> rows;
    for (auto match = line.globalMatch(output); match.hasNext();) {
        const auto m = match.next();
        rows.insert(m.captured(1), m.captured(2).toLongLong());
    }
    return rows;
}

void runImporter(const QString &source, const QString &target, QMap<QString, qint64> &rows)
{
    const QString importer = QStandardPaths::findExecutable(QStringLiteral("drugdb"),
                                                            {QCoreApplication::applicationDirPath()});
    if (importer.isEmpty())
        throw Error(QStringLiteral("程序文件夹中缺少转换程序 drugdb"));
    const QByteArray output = msaccess::runChild(
        importer, {QStringLiteral("import"), source, QStringLiteral("--out"), target, QStringLiteral("--force")},
        TimeLimitMs,
        {QStringLiteral("无法启动转换程序 drugdb：%1"), QStringLiteral("转换超过 %1 分钟，已中止"),
         QStringLiteral("转换程序 drugdb 异常终止"), QStringLiteral("转换程序 drugdb 以状态 %1 结束")});
    rows = reportedRows(QString::fromUtf8(output));
    if (rows.size() != 4)
        throw Error(QStringLiteral("转换程序 drugdb 没有报告读到的行数"));
}

// The new file must open with our key and hold every row that was read.
void verify(const QString &path, const QMap<QString, qint64> &rows)
{
    data::Connection connection(path);
    connection.open();
    for (auto it = rows.cbegin(); it != rows.cend(); ++it) {
        const qint64 held = connection.tableRows(it.key());
        if (held != it.value())
            throw Error(QStringLiteral("转换后的表 %1 有 %2 行，原来有 %3 行").arg(it.key()).arg(held).arg(it.value()));
    }
}

struct Backup {
    QString path;
    bool made = false; // by this conversion, so a failure takes it away again
};

// Gives the Access file its first free backup name as a second name, or
// finds the one a cut-off conversion gave it. Where the file system has no
// hard links the backup is a copy, which QFile writes under a temporary
// name first.
Backup backUp(const QString &path)
{
    for (int n = 0; n < 1000; ++n) {
        const QString candidate = backupName(path, n);
        const QFileInfo info(candidate);
        std::error_code error;
        if (info.exists() || info.isSymLink()) {
            if (!info.isSymLink() && std::filesystem::equivalent(fsPath(path), fsPath(candidate), error))
                return {candidate, false};
            continue;
        }
        std::filesystem::create_hard_link(fsPath(path), fsPath(candidate), error);
        if (!error)
            return {candidate, true};
        if (error == std::errc::file_exists)
            continue;
        QFile file(path);
        if (file.copy(candidate))
            return {candidate, true};
        if (!QFileInfo::exists(candidate))
            throw Error(QStringLiteral("无法把原文件备份为 %1：%2").arg(info.fileName(), file.errorString()));
    }
    throw Error(QStringLiteral("找不到空闲的备份文件名"));
}

} // namespace

QString convertAccessDatabase(const QString &path, const std::function<void(ConversionStep)> &reached)
{
    const auto step = [&](ConversionStep s) {
        if (reached)
            reached(s);
    };
    step(ConversionStep::Importing);
    const QString temp = convertingName(path);
    ConvertingGuard tempGuard(path);
    QMap<QString, qint64> rows;
    runImporter(path, temp, rows);
    step(ConversionStep::Imported);
    verify(temp, rows);
    step(ConversionStep::Verified);

    const Backup backup = backUp(path);
    step(ConversionStep::BackedUp);
    std::error_code error;
    std::filesystem::rename(fsPath(temp), fsPath(path), error);
    if (error) {
        if (backup.made)
            QFile::remove(backup.path);
        throw Error(QStringLiteral("无法把转换后的文件改名为 %1：%2")
                        .arg(QFileInfo(path).fileName(), QString::fromLocal8Bit(error.message())));
    }
    tempGuard.keep();
    step(ConversionStep::Replaced);
    return QFileInfo(backup.path).fileName();
}

void settleAccessConversion(const QString &path)
{
    const QString temp = convertingName(path);
    if (QFileInfo::exists(path)) {
        // Cut off before the new file took the name: the start converts
        // again, and finds the backup name already given.
        removeConvertingFiles(path);
        return;
    }
    // An earlier build renamed the Access file to its backup name before
    // the new file took drug.mdb's; cut off between the two, it left
    // neither. The new file had been checked by then.
    if (QFileInfo(temp).isFile() && QFileInfo::exists(backupName(path, 0))) {
        std::error_code error;
        std::filesystem::rename(fsPath(temp), fsPath(path), error);
    }
}

} // namespace app
