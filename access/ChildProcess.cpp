#include "access/ChildProcess.h"
#include "core/Error.h"

#include <QProcess>

namespace msaccess {

QByteArray runChild(const QString &program, const QStringList &arguments, int timeLimitMs,
                    const ChildFailureTexts &texts)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForStarted())
        throw core::Error(texts.cannotStart.arg(process.errorString()));
    if (!process.waitForFinished(timeLimitMs)) {
        process.kill();
        process.waitForFinished();
        throw core::Error(texts.timedOut.arg(timeLimitMs / 60000));
    }
    if (process.exitStatus() == QProcess::CrashExit)
        throw core::Error(texts.crashed);
    if (process.exitCode() != 0) {
        const QString prefix = QStringLiteral("drugdb: ");
        const QStringList lines = QString::fromUtf8(process.readAllStandardError()).split(QLatin1Char('\n'));
        for (auto line = lines.crbegin(); line != lines.crend(); ++line) {
            if (line->startsWith(prefix))
                throw core::Error(line->mid(prefix.size()));
        }
        throw core::Error(texts.exitStatus.arg(process.exitCode()));
    }
    return process.readAllStandardOutput();
}

} // namespace msaccess
