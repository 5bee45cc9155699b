#include "data/ChildProcess.h"
#include "data/DbError.h"

#include <QProcess>

namespace data {

QByteArray runChild(const QString &program, const QStringList &arguments, int timeLimitMs,
                    const ChildFailureTexts &texts)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForStarted())
        throw DbError(texts.cannotStart.arg(process.errorString()));
    if (!process.waitForFinished(timeLimitMs)) {
        process.kill();
        process.waitForFinished();
        throw DbError(texts.timedOut.arg(timeLimitMs / 60000));
    }
    if (process.exitStatus() == QProcess::CrashExit)
        throw DbError(texts.crashed);
    if (process.exitCode() != 0) {
        const QString prefix = QStringLiteral("drugdb: ");
        const QStringList lines = QString::fromUtf8(process.readAllStandardError()).split(QLatin1Char('\n'));
        for (auto line = lines.crbegin(); line != lines.crend(); ++line) {
            if (line->startsWith(prefix))
                throw DbError(line->mid(prefix.size()));
        }
        throw DbError(texts.exitStatus.arg(process.exitCode()));
    }
    return process.readAllStandardOutput();
}

} // namespace data
