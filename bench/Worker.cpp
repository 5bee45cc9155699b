#include "Worker.h"
#include "BenchSupport.h"
#include "Corpus.h"
#include "PgFloor.h"
#include "SqliteFloor.h"
#include "app/MainForm.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <algorithm>
#include <cmath>

namespace bench {

Worker::Worker(const WorkerOptions &options) : m_options(options), m_size(QString::number(options.drugs))
{
    if (!m_dir.isValid())
        fail(QStringLiteral("no temporary folder"));
    app::MessagePresenter::setCurrent(&m_presenter);
    if (onServer()) {
        // The parent put the drugs there; saves and deletes leave it as it was.
        m_floor = std::make_unique<PgFloor>(options.server);
        return;
    }
    m_path = m_dir.filePath(QStringLiteral("drug.mdb"));
    // Saves and deletes change the file: work on a copy of the cached one.
    if (!QFile::copy(options.database, m_path))
        fail(QStringLiteral("cannot copy %1").arg(options.database));
    QFile(m_path).setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    m_floor = std::make_unique<SqliteFloor>(m_path);
}

std::unique_ptr<TFormMain> Worker::newForm() const
{
    if (!onServer())
        return std::make_unique<TFormMain>(m_path);
    auto form = std::make_unique<TFormMain>(QString());
    form->useServer(m_options.server);
    return form;
}

Worker::~Worker()
{
    app::MessagePresenter::setCurrent(nullptr);
}

int Worker::reps(Reps reps) const
{
    const int drugs = m_options.drugs;
    const int base = drugs >= 100000 ? reps.at100k : drugs >= 10000 ? reps.at10k : reps.at1k;
    return std::max(3, int(std::lround(base * m_options.scale)));
}

void Worker::settle()
{
    QApplication::processEvents();
}

void Worker::warn(const QString &warning)
{
    progress(warning);
    m_warnings << warning;
}

void Worker::measure(const QString &operation, int count, const std::function<void(int)> &prepare,
                     const std::function<void(int)> &program, const std::function<void(int)> &floor,
                     bool interleave, const QString &note)
{
    progress(QStringLiteral("[%1] %2 (%3 runs)").arg(m_size, operation).arg(count));
    std::vector<double> programTimes, floorTimes, programCpu, floorCpu;
    auto runProgram = [&](int i, bool keep) {
        if (prepare)
            prepare(i);
        const double cpu = cpuMs();
        const double start = nowMs();
        program(i);
        settle();
        if (keep) {
            programTimes.push_back(nowMs() - start);
            programCpu.push_back(cpuMs() - cpu);
        }
    };
    auto runFloor = [&](int i, bool keep) {
        const double cpu = cpuMs();
        const double start = nowMs();
        floor(i);
        if (keep) {
            floorTimes.push_back(nowMs() - start);
            floorCpu.push_back(cpuMs() - cpu);
        }
    };
    const bool floors = floor && m_options.floors;
    if (interleave) {
        for (int i = 0; i <= count; ++i) {
            runProgram(i, i > 0);
            if (floors)
                runFloor(i, i > 0);
        }
    } else {
        // Writes from one connection make the other drop its page cache, so
        // write operations run as two separate series.
        for (int i = 0; i <= count; ++i)
            runProgram(i, i > 0);
        for (int i = 0; floors && i <= count; ++i)
            runFloor(i, i > 0);
    }
    Result r{operation, m_size, statsOf(programTimes, programCpu), {}, QStringLiteral("engine"), note};
    if (floors)
        r.floor = statsOf(floorTimes, floorCpu);
    m_results << r;
}

QStringList Worker::tracedProgram(const std::function<void()> &program)
{
    return m_floor->traceWindow(*m_form, [&] {
        program();
        settle();
    });
}

// The statements in order of first use. How often the search index's
// statements repeat, and whether a save empties one of its rows, depends on
// the texts written, which the window and the floor choose apart, so
// repeats and the index's deletes are not compared.
static QStringList distinctInOrder(const QStringList &statements)
{
    QStringList out;
    for (const QString &s : statements) {
        if (!out.contains(s) && !s.startsWith(QLatin1String("delete from DRUG_SEARCH_INDEX ")))
            out << s;
    }
    return out;
}

void Worker::verifyStatements(const QString &operation, const std::function<void()> &program,
                              const std::function<void()> &floor)
{
    const QStringList ran = tracedProgram(program);
    const QStringList floorRan = m_floor->traceFloor(floor);
    if (!m_floor->traces())
        return; // both ran, as the callers expect; what ran is not known
    if (m_options.trace)
        progress(QStringLiteral("[%1] %2 runs:\n    %3").arg(m_size, operation, ran.join(QStringLiteral("\n    "))));
    const QStringList distinct = distinctInOrder(ran), floorDistinct = distinctInOrder(floorRan);
    if (distinct != floorDistinct)
        warn(QStringLiteral("%1: the floor's statements differ from the window's:\n  window: %2\n  floor:  %3")
                 .arg(operation, distinct.join(QStringLiteral(" | ")), floorDistinct.join(QStringLiteral(" | "))));
}

QJsonObject Worker::run()
{
    auto wanted = [this](const char *phase) {
        return m_options.phases.isEmpty() || m_options.phases.contains(QLatin1String(phase));
    };
    startup();
    if (wanted("lookups"))
        lookups();
    if (wanted("searches"))
        searches();
    if (wanted("names"))
        names();
    if (wanted("maintenance"))
        maintenance();
    if (wanted("upgrade") && !m_options.previous.isEmpty() && !onServer())
        upgrade();
    if (wanted("workstations") && onServer())
        workstations();
    const long long peak = peakRssKb();
    const unsigned sink = m_floor->sink();
    m_form->close();
    m_form.reset();
    const qint64 fileBytes = onServer() ? -1 : QFileInfo(m_path).size();
    // The copy is thrown away after the run.
    m_floor.reset();
    const qint64 indexBytes = onServer() ? -1 : searchIndexBytes(m_path);
    const qint64 keyBytes = indexBytes < 0 ? -1 : nameKeyBytes(m_path) - indexBytes;

    QJsonArray results;
    for (const Result &r : m_results)
        results << toJson(r);
    return {{QStringLiteral("size"), m_options.drugs},
            {QStringLiteral("categories"), categoriesFor(m_options.drugs)},
            {QStringLiteral("file_bytes"), fileBytes},
            {QStringLiteral("search_index_bytes"), indexBytes},
            {QStringLiteral("name_key_bytes"), keyBytes},
            {QStringLiteral("peak_rss_kb"), peak},
            {QStringLiteral("peak_rss_after_startup_kb"), m_rssAfterStartup},
            {QStringLiteral("results"), results},
            {QStringLiteral("warnings"), QJsonArray::fromStringList(m_warnings)},
            {QStringLiteral("workstations"), m_workstations},
            {QStringLiteral("sink"), qint64(sink)}};
}

} // namespace bench
