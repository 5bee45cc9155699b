#include "ProcessStarts.h"
#include "BenchSupport.h"
#include "Console.h"
#include "app/MainForm.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <algorithm>
#include <cmath>

namespace bench {

namespace {

struct ProcessRun {
    double shownMs = 0;
    long long peakKb = -1;
};

// Wall time from starting the process to its report of a shown window.
ProcessRun startProcess(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.setReadChannel(QProcess::StandardOutput);
    const double start = nowMs();
    process.start(program, arguments);
    if (!process.waitForStarted(10000))
        fail(QStringLiteral("%1 did not start").arg(program));
    QByteArray line;
    while (!line.contains('\n')) {
        if (!process.waitForReadyRead(30000))
            break;
        line += process.readAllStandardOutput();
    }
    const double shown = nowMs();
    process.waitForFinished(30000);
    if (!line.startsWith("shown") || process.exitCode() != 0)
        fail(QStringLiteral("%1 failed (exit %2): %3").arg(program).arg(process.exitCode())
                 .arg(QString::fromLocal8Bit(process.readAllStandardError())));
    return {shown - start, line.mid(6).trimmed().toLongLong()};
}

QSize mainWindowSize()
{
    TFormMain form(QStringLiteral("/nonexistent/drug.mdb"));
    return form.size();
}

void processStarts(const QString &size, const QString &database, int count, QList<Result> &results,
                   QJsonObject &memory)
{
    const QString bin = QCoreApplication::applicationDirPath();
    const QString probe = QDir(bin).filePath(QStringLiteral("zelkano_start_probe"));
    const QString floorWindow = QDir(bin).filePath(QStringLiteral("zelkano_floor_window"));
    const QSize window = mainWindowSize();
    // The sample database is the one beside the program: the probe opens it
    // exactly as the program does, with no argument.
    const QStringList probeArguments = size == QLatin1String("sample") ? QStringList() : QStringList{database};
    const QStringList floorArguments{database, QString::number(window.width()), QString::number(window.height())};
    progress(QStringLiteral("[%1] process start (%2 runs)").arg(size).arg(count));
    std::vector<double> program, floor;
    long long peak = 0;
    for (int i = 0; i <= count; ++i) {
        // Alternating which goes first evens out what the one leaves to the other.
        ProcessRun p, f;
        if (i % 2) {
            p = startProcess(probe, probeArguments);
            f = startProcess(floorWindow, floorArguments);
        } else {
            f = startProcess(floorWindow, floorArguments);
            p = startProcess(probe, probeArguments);
        }
        peak = std::max(peak, p.peakKb);
        if (i > 0) {
            program.push_back(p.shownMs);
            floor.push_back(f.shownMs);
        }
    }
    results << Result{QStringLiteral("process start to shown window"), size, statsOf(program), statsOf(floor),
                      QStringLiteral("toolkit + engine"),
                      QStringLiteral("zelkano_start_probe vs zelkano_floor_window")};
    memory.insert(size, QJsonObject{{QStringLiteral("start_probe_peak_rss_kb"), peak}});
}

} // namespace

void runProcessStarts(const QMap<int, QString> &databases, double scale, QList<Result> &results, QJsonObject &memory)
{
    const QString sample = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("drug.mdb"));
    if (!QFileInfo::exists(sample))
        fail(QStringLiteral("no sample database at %1 (build the sample_db target)").arg(sample));
    // The floor of a start is short and the machine's timing of it jumps
    // between two levels now and then: many runs, both alternating, give a
    // median that holds.
    processStarts(QStringLiteral("sample"), sample, std::max(5, int(std::lround(41 * scale))), results, memory);
    if (!databases.contains(100000))
        return;
    QJsonObject big = memory.value(QStringLiteral("100000")).toObject();
    QJsonObject probeMemory;
    processStarts(QStringLiteral("100000"), databases[100000], std::max(3, int(std::lround(5 * scale))), results, probeMemory);
    big.insert(QStringLiteral("start_probe_peak_rss_kb"),
               probeMemory.value(QStringLiteral("100000")).toObject().value(QStringLiteral("start_probe_peak_rss_kb")));
    memory.insert(QStringLiteral("100000"), big);
}

} // namespace bench
