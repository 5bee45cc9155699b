#include "app/AccessConversion.h"
#include "data/ChildProcess.h"
#include "data/Connection.h"
#include "data/DbError.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>

namespace app {

namespace {

using data::DbError;

constexpr int TimeLimitMs = 5 * 60 * 1000;

// Removes a file on every way out unless told to keep it, with the
// ".building" file drugdb writes first, which a killed drugdb leaves behind.
class FileGuard
{
public:
    explicit FileGuard(QString path) : m_path(std::move(path)) {}
    ~FileGuard()
    {
        QFile::remove(m_path + QStringLiteral(".building"));
        if (!m_kept)
            QFile::remove(m_path);
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
        throw DbError(QStringLiteral("程序文件夹中缺少转换程序 drugdb"));
    const QByteArray output = data::runChild(
        importer, {QStringLiteral("import"), source, QStringLiteral("--out"), target, QStringLiteral("--force")},
        TimeLimitMs,
        {QStringLiteral("无法启动转换程序 drugdb：%1"), QStringLiteral("转换超过 %1 分钟，已中止"),
         QStringLiteral("转换程序 drugdb 异常终止"), QStringLiteral("转换程序 drugdb 以状态 %1 结束")});
    rows = reportedRows(QString::fromUtf8(output));
    if (rows.size() != 4)
        throw DbError(QStringLiteral("转换程序 drugdb 没有报告读到的行数"));
}

// The new file must open with our key and hold every row that was read.
void verify(const QString &path, const QMap<QString, qint64> &rows)
{
    data::Connection connection(path);
    connection.open();
    for (auto it = rows.cbegin(); it != rows.cend(); ++it) {
        const qint64 held = connection.tableRows(it.key());
        if (held != it.value())
            throw DbError(QStringLiteral("转换后的表 %1 有 %2 行，原来有 %3 行").arg(it.key()).arg(held).arg(it.value()));
    }
}

// Renames the Access file to the first free backup name. Qt's rename never
// replaces an existing file.
QString moveAside(const QString &path)
{
    const QString base = path + QStringLiteral(".access-backup");
    for (int n = 0; n < 1000; ++n) {
        const QString candidate = n == 0 ? base : base + QLatin1Char('.') + QString::number(n);
        const QFileInfo info(candidate);
        if (info.exists() || info.isSymLink())
            continue;
        QFile file(path);
        if (file.rename(candidate))
            return candidate;
        if (!QFileInfo(candidate).exists())
            throw DbError(QStringLiteral("无法把原文件改名为 %1：%2").arg(info.fileName(), file.errorString()));
    }
    throw DbError(QStringLiteral("找不到空闲的备份文件名"));
}

} // namespace

QString convertAccessDatabase(const QString &path)
{
    const QString temp = path + QStringLiteral(".converting");
    FileGuard tempGuard(temp);
    QMap<QString, qint64> rows;
    runImporter(path, temp, rows);
    verify(temp, rows);

    // In this order, so that an interruption leaves the Access file, or it
    // and the new one, but never neither.
    const QString backup = moveAside(path);
    QFile converted(temp);
    if (!converted.rename(path)) {
        const QString reason = converted.errorString();
        QFile::rename(backup, path);
        throw DbError(QStringLiteral("无法把转换后的文件改名为 %1：%2").arg(QFileInfo(path).fileName(), reason));
    }
    tempGuard.keep();
    return QFileInfo(backup).fileName();
}

} // namespace app
