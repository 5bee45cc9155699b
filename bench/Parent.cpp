#include "Parent.h"
#include "Anchors.h"
#include "Console.h"
#include "Corpus.h"
#include "Options.h"
#include "ProcessStarts.h"
#include "Report.h"
#include "Targets.h"
#include "data/Connection.h"
#include "data/DatabaseCopy.h"
#include "data/DbError.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonDocument>
#include <QProcess>
#include <QTemporaryDir>

namespace bench {

namespace {

// The worker's run of one size; gives what it wrote.
QJsonObject workerResult(const Options &options, int drugs, const QString &database)
{
    QTemporaryDir out;
    WorkerOptions worker;
    worker.drugs = drugs;
    worker.database = database;
    worker.resultFile = out.filePath(QStringLiteral("result.json"));
    worker.scale = options.scale;
    worker.trace = options.trace;
    worker.server = options.server;
    if (options.server.isEmpty())
        worker.previous = previousLayout(database);
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.start(QCoreApplication::applicationFilePath(), workerArguments(worker));
    if (!process.waitForFinished(-1) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        fail(QStringLiteral("the run for %1 drugs failed").arg(drugs));
    QFile file(worker.resultFile);
    if (!file.open(QIODevice::ReadOnly))
        fail(QStringLiteral("no result for %1 drugs").arg(drugs));
    return QJsonDocument::fromJson(file.readAll()).object();
}

// The server's database holds exactly the synthetic drugs: copied there
// (replacing what it held, and building its search index) unless it holds
// them already from an earlier run.
void onServer(const QString &server, const QString &database, int drugs, bool rebuild)
{
    if (!rebuild) {
        try {
            data::Connection connection;
            connection.setServer(server);
            connection.open();
            if (connection.tableRows(QStringLiteral("DRUG_ZB")) == drugs)
                return;
        } catch (const data::DbError &) {
            // No tables yet.
        }
    }
    progress(QStringLiteral("copying %1 drugs to the server (its search index takes minutes)").arg(drugs));
    data::writeDatabase(server, data::readDatabase(database), true);
}

// The session's peak is read before it ends, so it is its own.
long long sessionPeak(int drugs, const QString &database)
{
    QProcess session;
    session.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    session.start(QCoreApplication::applicationFilePath(),
                  {QStringLiteral("--user-session"), QString::number(drugs), database});
    if (!session.waitForFinished(-1) || session.exitCode() != 0)
        fail(QStringLiteral("the session for %1 drugs failed").arg(drugs));
    return session.readAllStandardOutput().trimmed().toLongLong();
}

void runSize(const Options &options, int drugs, const QString &database, RunRecord &run)
{
    const QJsonObject o = workerResult(options, drugs, database);
    for (const QJsonValue &v : o.value(QStringLiteral("results")).toArray())
        run.results << resultFromJson(v.toObject());
    for (const QJsonValue &v : o.value(QStringLiteral("warnings")).toArray())
        run.warnings << v;
    QJsonObject memory;
    if (options.server.isEmpty()) {
        memory.insert(QStringLiteral("session_peak_rss_kb"), sessionPeak(drugs, database));
        runAnchors(plainCopy(database), drugs, options.scale, run.results);
    } else {
        // On a server each search's anchor is its floor: the same search
        // as a plain full scan there.
        const QJsonObject load = o.value(QStringLiteral("workstations")).toObject();
        for (auto it = load.begin(); it != load.end(); ++it)
            memory.insert(QStringLiteral("workstations_") + it.key(), it.value());
    }
    for (const char *key : {"peak_rss_kb", "peak_rss_after_startup_kb", "file_bytes", "search_index_bytes", "name_key_bytes"})
        memory.insert(QLatin1String(key), o.value(QLatin1String(key)));
    run.memory.insert(QString::number(drugs), memory);
}

} // namespace

int runParent(const QStringList &args)
{
    const std::optional<Options> options = parseOptions(args);
    if (!options)
        return 2;
    RunRecord run;
    run.loadBefore = loadAverage();
    QMap<int, QString> databases;
    for (int drugs : options->sizes) {
        databases[drugs] = syntheticDatabase(options->cache, drugs, options->rebuild);
        if (!options->server.isEmpty())
            onServer(options->server, databases[drugs], drugs, options->rebuild);
        runSize(*options, drugs, databases[drugs], run);
    }
    if (options->processes)
        runProcessStarts(databases, options->scale, run.results, run.memory);

    printTable(run.results);
    printMemory(run.memory);
    const QJsonArray targets = checkTargets(run.results, run.memory, !options->server.isEmpty());
    run.loadAfter = loadAverage();
    printFooter(run);
    writeDocument(options->json, args, run, targets);
    return run.warnings.isEmpty() ? 0 : 3;
}

} // namespace bench
