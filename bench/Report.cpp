#include "Report.h"
#include "Console.h"

#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QJsonDocument>
#include <QSysInfo>
#include <QThread>
#include <sqlite3.h>

namespace bench {

QString loadAverage()
{
    QFile file(QStringLiteral("/proc/loadavg"));
    return file.open(QIODevice::ReadOnly) ? QString::fromLatin1(file.readAll()).section(QLatin1Char(' '), 0, 2)
                                          : QString();
}

namespace {

void printAnchors(const QList<Result> &results)
{
    for (const Result &r : results) {
        for (const QJsonValue &v : r.anchors) {
            const QJsonObject a = v.toObject();
            std::printf("  anchor %-44s %7s %-13s %9.2f ms, %d rows%s\n", r.operation.toUtf8().constData(), r.size.toUtf8().constData(),
                        a.value(QStringLiteral("kind")).toString().toUtf8().constData(),
                        a.value(QStringLiteral("stats")).toObject().value(QStringLiteral("median_ms")).toDouble(),
                        a.value(QStringLiteral("rows")).toInt(), a.value(QStringLiteral("correct")).toBool() ? "" : " (wrong)");
        }
    }
}

} // namespace

void printTable(const QList<Result> &results)
{
    std::printf("\n%-44s %7s %9s %9s %9s %9s %7s %9s %7s | %8s %8s\n", "operation", "size", "median", "min", "max", "floor",
                "ratio", "anchor", "p/anch", "cpu", "floorcpu");
    std::printf("%s\n", QString(140, QLatin1Char('-')).toLatin1().constData());
    for (const Result &r : results) {
        const QByteArray floor = r.floor ? QByteArray::number(r.floor->median, 'f', 2) : QByteArray("-");
        const QByteArray ratio = r.floor && r.floor->median > 0
            ? QByteArray::number(r.program.median / r.floor->median, 'f', 2) + 'x' : QByteArray("-");
        const QByteArray anchor = r.anchor ? QByteArray::number(r.anchor->median, 'f', 2) : QByteArray("-");
        const QByteArray overAnchor = r.anchor && r.anchor->median > 0
            ? QByteArray::number(r.program.median / r.anchor->median, 'f', 2) + 'x' : QByteArray("-");
        auto cpu = [](const Stats &s) { return s.cpuMedian >= 0 ? QByteArray::number(s.cpuMedian, 'f', 2) : QByteArray("-"); };
        // Padded by characters, not bytes: the names are ASCII.
        std::printf("%-44s %7s %9.2f %9.2f %9.2f %9s %7s %9s %7s | %8s %8s\n", r.operation.toUtf8().constData(),
                    r.size.toUtf8().constData(), r.program.median, r.program.min, r.program.max,
                    floor.constData(), ratio.constData(), anchor.constData(), overAnchor.constData(),
                    cpu(r.program).constData(), r.floor ? cpu(*r.floor).constData() : "-");
    }
    std::printf("(wall-clock times in ms: median, min, max; floor = median of the same statements through the\n"
                " sqlite3 API, or for a process start a window with one label that opens the same file with the\n"
                " same key; ratio = median / floor; anchor = the best correct anchor, the same search on a plain\n"
                " copy through the system's SQLite (full scan, or FTS5 trigram), p/anch = median / anchor;\n"
                " cpu = median CPU time of the process over the same runs)\n");
    printAnchors(results);
}

void printMemory(const QJsonObject &memory)
{
    std::printf("\npeak RSS (MB):\n");
    for (auto it = memory.begin(); it != memory.end(); ++it) {
        const QJsonObject m = it.value().toObject();
        auto mb = [&](const char *key) { return m.value(QLatin1String(key)).toDouble() / 1024; };
        std::printf("  %-8s", it.key().toUtf8().constData());
        if (m.contains(QStringLiteral("session_peak_rss_kb")))
            std::printf("  session %.1f", mb("session_peak_rss_kb"));
        if (m.contains(QStringLiteral("peak_rss_kb")))
            std::printf("  benchmark run %.1f (after start-up %.1f; file %.1f MB, of which search index %.1f MB)",
                        mb("peak_rss_kb"), mb("peak_rss_after_startup_kb"), mb("file_bytes") / 1024,
                        mb("search_index_bytes") / 1024);
        if (m.contains(QStringLiteral("start_probe_peak_rss_kb")))
            std::printf("  process start %.1f", mb("start_probe_peak_rss_kb"));
        std::printf("\n");
    }
}

void printFooter(const RunRecord &run)
{
    for (const QJsonValue &w : run.warnings)
        std::printf("warning: %s\n", w.toString().toUtf8().constData());
    std::printf("load average before %s, after %s; %d CPUs; platform %s\n", qPrintable(run.loadBefore),
                qPrintable(run.loadAfter), QThread::idealThreadCount(), qPrintable(QGuiApplication::platformName()));
}

void writeDocument(const QString &path, const QStringList &args, const RunRecord &run, const QJsonArray &targets)
{
    QJsonArray results;
    for (const Result &r : run.results)
        results << toJson(r);
    const QJsonObject document{
        {QStringLiteral("machine"), QJsonObject{{QStringLiteral("cpus"), QThread::idealThreadCount()},
                                                {QStringLiteral("kernel"), QSysInfo::kernelVersion()},
                                                {QStringLiteral("qt"), QString::fromLatin1(qVersion())},
                                                {QStringLiteral("sqlite"), QString::fromLatin1(sqlite3_libversion())},
                                                {QStringLiteral("platform"), QGuiApplication::platformName()},
                                                {QStringLiteral("load_before"), run.loadBefore},
                                                {QStringLiteral("load_after"), run.loadAfter}}},
        {QStringLiteral("command"), args.join(QLatin1Char(' '))},
        {QStringLiteral("results"), results},
        {QStringLiteral("memory"), run.memory},
        {QStringLiteral("targets"), targets},
        {QStringLiteral("warnings"), run.warnings}};
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        fail(QStringLiteral("cannot write %1").arg(path));
    out.write(QJsonDocument(document).toJson());
    std::printf("results written to %s\n", qPrintable(QFileInfo(path).canonicalFilePath()));
}

} // namespace bench
