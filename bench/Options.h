#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

// The command lines: the benchmark's own, and the one it starts a run of
// one size with (the same executable with --worker).
namespace bench {

struct Options {
    QList<int> sizes{1000, 10000, 100000};
    double scale = 1;
    QString json;  // the results' file
    QString cache; // the synthetic databases' folder
    bool rebuild = false;
    bool processes = true;
    bool trace = false;
};

// Null, with the reason printed, for a command line that is no good.
std::optional<Options> parseOptions(const QStringList &args);

struct WorkerOptions {
    int drugs = 0;
    QString database;
    QString resultFile;
    double scale = 1;
    bool trace = false;
    QStringList phases; // empty: all; for profiling one phase
    bool floors = true; // false: the window only, for profiling
    QString previous;   // the same drugs in the previous layout; empty: no upgrade timed
};

// --worker DRUGS DATABASE RESULT SCALE [--trace] [--phases a,b] [--no-floor] [--previous FILE]
std::optional<WorkerOptions> parseWorkerOptions(const QStringList &args);
QStringList workerArguments(const WorkerOptions &options);

} // namespace bench
