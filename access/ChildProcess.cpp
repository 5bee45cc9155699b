#include "access/ChildProcess.h"
#include "core/Error.h"

#include <QProcess>

#ifdef Q_OS_LINUX
#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>
#endif

namespace msaccess {

QByteArray runChild(const QString &program, const QStringList &arguments, int timeLimitMs,
                    const ChildFailureTexts &texts)
{
    QProcess process;
#ifdef Q_OS_LINUX
    // A helper outlives a killed parent otherwise, and goes on writing
    // beside a file the next start is already working on.
    const pid_t parent = ::getpid();
    process.setChildProcessModifier([parent] {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent)
            ::_exit(127);
    });
#endif
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
