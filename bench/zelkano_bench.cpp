// Benchmark of the real main window on large synthetic drug databases,
// beside the floor of the engine itself: every operation is also run as the
// bare SQL statements the window runs, through the sqlite3 API on the same
// file, so each result reads as a ratio "program / engine".
//
//   zelkano_bench [--sizes 1000,10000,100000] [--reps-scale X] [--json FILE]
//                 [--cache DIR] [--rebuild] [--no-process] [--trace]
//
// Each size runs in a child process of its own (the same executable with
// --worker), then a user's session once more in another (--user-session:
// one start, each operation once), whose peak memory is the one quoted. The
// synthetic databases are built once and kept in the cache folder, keyed by
// size, seed and schema. The process starts (zelkano_start_probe, the
// program's start that quits once shown, against the toolkit + engine floor
// zelkano_floor_window) run from this process. The results go to
// bench_results.json in the build folder unless --json says otherwise.
//
// The files, by phase: Options (the command lines), Parent (the run of every
// size), Corpus (the synthetic databases), Worker with Startup, Lookups,
// Searches, Maintenance and Upgrade (the operations), Floor and SqliteFloor
// (the engine alone), Session, Anchors, ProcessStarts, Stats, Report and
// Targets. A new combined search is a row of SearchCases.cpp; a new target
// a row of Targets.cpp.
#include "BenchSupport.h"
#include "Options.h"
#include "Parent.h"
#include "Session.h"
#include "Worker.h"

#include <QApplication>
#include <QFile>
#include <QJsonDocument>
#include <cstdio>
#include <exception>

namespace {

// --worker DRUGS DATABASE RESULT SCALE [--trace] [--phases a,b] [--no-floor] [--previous FILE]
// Run by hand, under a profiler, it times one phase of the window alone:
//   zelkano_bench --worker 100000 FILE.mdb /tmp/r.json 0.2 --phases searches --no-floor
int runWorker(const QStringList &args)
{
    const std::optional<bench::WorkerOptions> options = bench::parseWorkerOptions(args);
    if (!options)
        return 2;
    bench::Worker worker(*options);
    const QJsonObject result = worker.run();
    QFile out(options->resultFile);
    if (!out.open(QIODevice::WriteOnly))
        return 1;
    out.write(QJsonDocument(result).toJson());
    return 0;
}

// The offscreen platform's notes about what it cannot do would drown the
// progress lines.
void quietMessages(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (message.contains(QLatin1String("propagateSizeHints")) || message.startsWith(QLatin1String("QStandardPaths:")))
        return;
    std::fprintf(stderr, "%s%s\n", type == QtDebugMsg ? "" : "qt: ", qPrintable(message));
}

} // namespace

int main(int argc, char *argv[])
{
    bench::useOffscreenUnlessSet();
    qInstallMessageHandler(quietMessages);
    QApplication application(argc, argv);
    const QStringList args = application.arguments();
    try {
        if (args.size() > 1 && args[1] == QLatin1String("--worker"))
            return runWorker(args);
        if (args.size() > 3 && args[1] == QLatin1String("--user-session")) {
            std::printf("%lld\n", bench::runSession(args[2].toInt(), args[3]));
            return 0;
        }
        return bench::runParent(args);
    } catch (const std::exception &e) {
        // data::DbError is one too; its what() is the UTF-8 message.
        std::fprintf(stderr, "zelkano_bench: %s\n", e.what());
    }
    return 1;
}
