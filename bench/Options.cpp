#include "Options.h"

#include <QCoreApplication>
#include <QDir>
#include <cstdio>

namespace bench {

std::optional<Options> parseOptions(const QStringList &args)
{
    Options o;
    // Beside the build: bin/ is the build folder's output folder.
    o.json = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("../bench_results.json"));
    o.cache = QDir(QDir::tempPath()).filePath(QStringLiteral("zelkano-bench-cache"));
    for (int i = 1; i < args.size(); ++i) {
        const QString &a = args[i];
        auto next = [&]() -> QString { return i + 1 < args.size() ? args[++i] : QString(); };
        if (a == QLatin1String("--sizes")) {
            o.sizes.clear();
            for (const QString &s : next().split(QLatin1Char(','), Qt::SkipEmptyParts))
                o.sizes << s.toInt();
        } else if (a == QLatin1String("--reps-scale")) {
            o.scale = next().toDouble();
        } else if (a == QLatin1String("--json")) {
            o.json = next();
        } else if (a == QLatin1String("--cache")) {
            o.cache = next();
        } else if (a == QLatin1String("--rebuild")) {
            o.rebuild = true;
        } else if (a == QLatin1String("--no-process")) {
            o.processes = false;
        } else if (a == QLatin1String("--trace")) {
            o.trace = true;
        } else {
            std::fprintf(stderr, "usage: zelkano_bench [--sizes 1000,10000,100000] [--reps-scale X] [--json FILE]\n"
                                 "                     [--cache DIR] [--rebuild] [--no-process] [--trace]\n");
            return std::nullopt;
        }
    }
    if (o.scale <= 0 || o.sizes.contains(0)) {
        std::fprintf(stderr, "zelkano_bench: bad --sizes or --reps-scale\n");
        return std::nullopt;
    }
    return o;
}

std::optional<WorkerOptions> parseWorkerOptions(const QStringList &args)
{
    if (args.size() < 6)
        return std::nullopt;
    WorkerOptions o;
    o.drugs = args[2].toInt();
    o.database = args[3];
    o.resultFile = args[4];
    o.scale = args[5].toDouble();
    o.trace = args.contains(QStringLiteral("--trace"));
    const int phases = int(args.indexOf(QStringLiteral("--phases")));
    if (phases > 0)
        o.phases = args.value(phases + 1).split(QLatin1Char(','), Qt::SkipEmptyParts);
    o.floors = !args.contains(QStringLiteral("--no-floor"));
    const int previous = int(args.indexOf(QStringLiteral("--previous")));
    if (previous > 0)
        o.previous = args.value(previous + 1);
    return o;
}

QStringList workerArguments(const WorkerOptions &o)
{
    QStringList args{QStringLiteral("--worker"), QString::number(o.drugs), o.database, o.resultFile,
                     QString::number(o.scale)};
    if (!o.previous.isEmpty())
        args << QStringLiteral("--previous") << o.previous;
    if (o.trace)
        args << QStringLiteral("--trace");
    if (!o.phases.isEmpty())
        args << QStringLiteral("--phases") << o.phases.join(QLatin1Char(','));
    if (!o.floors)
        args << QStringLiteral("--no-floor");
    return args;
}

} // namespace bench
