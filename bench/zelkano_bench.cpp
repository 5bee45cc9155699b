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
#include "BenchSupport.h"
#include "app/MainForm.h"
#include "app/Messages.h"
#include "data/Connection.h"
#include "data/SearchIndex.h"
#include "data/DatabaseBuilder.h"
#include "data/DataSet.h"
#include "data/DrugFile.h"
#include "data/DbError.h"
#include "data/DrugFields.h"
#include "data/sqlite/Schema.h"
#include "lookup/CombinedQuery.h"
#include "tools/SyntheticData.h"
#include "widgets/DbMemo.h"
#include "widgets/LabeledEdit.h"
#include "widgets/Memo.h"
#include "widgets/PageControl.h"
#include "widgets/TreeView.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSysInfo>
#include <QThread>
#include <QTemporaryDir>
#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <sqlite3.h>
#include <stdexcept>
#include <vector>

namespace {

constexpr unsigned Seed = 20261208;
const QString SelectiveCriterion = QStringLiteral("证型0042");

// The combined searches timed beside an anchor: the operation, the box
// (LabeledEdits' index) and the text typed into it.
struct SearchCase {
    QString operation;
    int box;
    QString text;
};
const QList<SearchCase> &searchCases()
{
    static const QList<SearchCase> cases{
        {QStringLiteral("combined search, selective"), 0, SelectiveCriterion},
        {QStringLiteral("combined search, one common character"), 0, QStringLiteral("热")},
        {QStringLiteral("combined search, one absent character"), 0, QStringLiteral("龙")},
        {QStringLiteral("combined search, two characters"), 0, QStringLiteral("清热")},
        {QStringLiteral("combined search, wildcard between characters"), 0, QStringLiteral("热%寒")},
        {QStringLiteral("combined search, Latin pattern"), 10, QStringLiteral("a%b")},
    };
    return cases;
}

int categoriesFor(int drugs)
{
    return drugs >= 100000 ? 500 : drugs >= 10000 ? 100 : 20;
}

[[noreturn]] void fail(const QString &what)
{
    throw std::runtime_error(what.toStdString());
}

void progress(const QString &text)
{
    std::fprintf(stderr, "%s\n", qPrintable(text));
    std::fflush(stderr);
}

// ---------------------------------------------------------------- statistics

// Wall-clock times; beside them the median of the process's CPU time over
// the same runs, which tells how far other load on the machine stretched
// the wall clock (-1 where not measured).
struct Stats {
    double median = 0, min = 0, max = 0;
    double cpuMedian = -1;
    int count = 0;
};

double medianOf(std::vector<double> samples)
{
    if (samples.empty())
        return -1;
    std::sort(samples.begin(), samples.end());
    const size_t n = samples.size();
    return n % 2 ? samples[n / 2] : (samples[n / 2 - 1] + samples[n / 2]) / 2;
}

Stats statsOf(const std::vector<double> &samples, const std::vector<double> &cpu = {})
{
    Stats s;
    if (samples.empty())
        return s;
    s.median = medianOf(samples);
    s.min = *std::min_element(samples.begin(), samples.end());
    s.max = *std::max_element(samples.begin(), samples.end());
    s.cpuMedian = medianOf(cpu);
    s.count = int(samples.size());
    return s;
}

QJsonObject toJson(const Stats &s)
{
    return {{QStringLiteral("median_ms"), s.median}, {QStringLiteral("min_ms"), s.min},
            {QStringLiteral("max_ms"), s.max}, {QStringLiteral("cpu_median_ms"), s.cpuMedian},
            {QStringLiteral("samples"), s.count}};
}

Stats statsFromJson(const QJsonObject &o)
{
    Stats s;
    s.median = o.value(QStringLiteral("median_ms")).toDouble();
    s.min = o.value(QStringLiteral("min_ms")).toDouble();
    s.max = o.value(QStringLiteral("max_ms")).toDouble();
    s.cpuMedian = o.value(QStringLiteral("cpu_median_ms")).toDouble(-1);
    s.count = o.value(QStringLiteral("samples")).toInt();
    return s;
}

struct Result {
    QString operation;
    QString size;
    Stats program;
    std::optional<Stats> floor;
    QString floorKind; // what the floor is: engine, or toolkit + engine
    QString note;
    // The best correct anchor of a search (plain SQLite on a plain copy),
    // and every anchor run, correct or not.
    std::optional<Stats> anchor = {};
    QString anchorKind = {};
    QJsonArray anchors = {};
};

QJsonObject toJson(const Result &r)
{
    QJsonObject o{{QStringLiteral("operation"), r.operation}, {QStringLiteral("size"), r.size},
                  {QStringLiteral("program"), toJson(r.program)}};
    if (r.floor) {
        o.insert(QStringLiteral("floor"), toJson(*r.floor));
        o.insert(QStringLiteral("floor_kind"), r.floorKind);
        o.insert(QStringLiteral("ratio"), r.floor->median > 0 ? r.program.median / r.floor->median : 0.0);
    }
    if (!r.note.isEmpty())
        o.insert(QStringLiteral("note"), r.note);
    if (r.anchor) {
        o.insert(QStringLiteral("anchor"), toJson(*r.anchor));
        o.insert(QStringLiteral("anchor_kind"), r.anchorKind);
        o.insert(QStringLiteral("program_over_anchor"), r.anchor->median > 0 ? r.program.median / r.anchor->median : 0.0);
        o.insert(QStringLiteral("anchors"), r.anchors);
    }
    return o;
}

Result resultFromJson(const QJsonObject &o)
{
    Result r;
    r.operation = o.value(QStringLiteral("operation")).toString();
    r.size = o.value(QStringLiteral("size")).toString();
    r.program = statsFromJson(o.value(QStringLiteral("program")).toObject());
    if (o.contains(QStringLiteral("floor"))) {
        r.floor = statsFromJson(o.value(QStringLiteral("floor")).toObject());
        r.floorKind = o.value(QStringLiteral("floor_kind")).toString();
    }
    r.note = o.value(QStringLiteral("note")).toString();
    if (o.contains(QStringLiteral("anchor"))) {
        r.anchor = statsFromJson(o.value(QStringLiteral("anchor")).toObject());
        r.anchorKind = o.value(QStringLiteral("anchor_kind")).toString();
        r.anchors = o.value(QStringLiteral("anchors")).toArray();
    }
    return r;
}

// ------------------------------------------------------------------- tracing
// The statements a connection runs, as the engine reports them. Used once per
// operation to prove that the floor runs exactly the statements the window
// ran; never while timing.

QStringList g_traced;

int traceStatement(unsigned, void *, void *, void *sql)
{
    const QString text = QString::fromUtf8(static_cast<const char *>(sql));
    // Trigger bodies are reported as comments; the floor runs them too.
    if (!text.startsWith(QStringLiteral("--")))
        g_traced << text;
    return 0;
}

void setTracing(sqlite3 *db, bool on)
{
    sqlite3_trace_v2(db, on ? SQLITE_TRACE_STMT : 0, on ? traceStatement : nullptr, nullptr);
}

// Every connection opened while it is set is traced from its first statement.
bool g_traceNewConnections = false;

int traceOnOpen(sqlite3 *db, char **, const void *)
{
    if (g_traceNewConnections)
        setTracing(db, true);
    return SQLITE_OK;
}

// --------------------------------------------------------------- the floor
// The engine alone: the window's statements through the sqlite3 API, reading
// every column of every row as text, as the window's record sets do. The
// connection is opened by data::Connection::open(), the program's own thin
// open (key, cipher settings, schema read). Statements the window keeps
// prepared are kept prepared here too; those it prepares for one use are
// prepared for one use.

class Engine
{
public:
    explicit Engine(const QString &path) : m_connection(path)
    {
        data::useDrugFile(m_connection);
        m_connection.open();
    }
    ~Engine()
    {
        for (auto &entry : m_cache)
            sqlite3_finalize(entry.second);
    }
    Engine(const Engine &) = delete;
    Engine &operator=(const Engine &) = delete;

    sqlite3 *db() { return m_connection.handle(); }
    // The search index's statements go through the program's own SearchIndex
    // on this connection: they are SQL plus a loop over a few bitmaps.
    data::Connection &connection() { return m_connection; }

    sqlite3_stmt *cached(const QString &sql)
    {
        auto it = m_cache.find(sql);
        if (it == m_cache.end())
            it = m_cache.emplace(sql, prepare(sql)).first;
        return it->second;
    }

    sqlite3_stmt *prepare(const QString &sql)
    {
        const QByteArray utf8 = sql.toUtf8();
        sqlite3_stmt *statement = nullptr;
        if (sqlite3_prepare_v2(db(), utf8.constData(), int(utf8.size()), &statement, nullptr) != SQLITE_OK)
            fail(QStringLiteral("prepare failed: %1: %2").arg(sql, QString::fromUtf8(sqlite3_errmsg(db()))));
        return statement;
    }

    static void bind(sqlite3_stmt *s, int index, const QString &value)
    {
        const QByteArray utf8 = value.toUtf8();
        sqlite3_bind_text(s, index, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
    }
    static void bind(sqlite3_stmt *s, int index, qint64 value) { sqlite3_bind_int64(s, index, value); }

    // Steps through every row, reading each column as text; gives the row
    // count and the first row's first column.
    int readAll(sqlite3_stmt *s, QByteArray *firstValue = nullptr)
    {
        int rows = 0;
        int rc;
        while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
            const int columns = sqlite3_column_count(s);
            for (int c = 0; c < columns; ++c) {
                const unsigned char *text = sqlite3_column_text(s, c);
                const int bytes = sqlite3_column_bytes(s, c);
                m_sink += unsigned(bytes) + (text && bytes ? text[0] : 0u);
                if (rows == 0 && c == 0 && firstValue)
                    *firstValue = QByteArray(reinterpret_cast<const char *>(text), bytes);
            }
            ++rows;
        }
        if (rc != SQLITE_DONE)
            fail(QStringLiteral("step failed: %1").arg(QString::fromUtf8(sqlite3_errmsg(db()))));
        sqlite3_reset(s);
        sqlite3_clear_bindings(s);
        return rows;
    }

    // A statement prepared, run and finalized, as the window runs commands.
    void once(const QString &sql, const std::function<void(sqlite3_stmt *)> &binds = {})
    {
        sqlite3_stmt *s = prepare(sql);
        if (binds)
            binds(s);
        const int rc = sqlite3_step(s);
        sqlite3_finalize(s);
        if (rc != SQLITE_DONE && rc != SQLITE_ROW)
            fail(QStringLiteral("%1 failed: %2").arg(sql, QString::fromUtf8(sqlite3_errmsg(db()))));
    }

    qint64 scalar(const QString &sql, const std::function<void(sqlite3_stmt *)> &binds = {})
    {
        sqlite3_stmt *s = prepare(sql);
        if (binds)
            binds(s);
        const qint64 value = sqlite3_step(s) == SQLITE_ROW ? sqlite3_column_int64(s, 0) : -1;
        sqlite3_finalize(s);
        return value;
    }

    unsigned sink() const { return m_sink; }

private:
    data::Connection m_connection;
    std::map<QString, sqlite3_stmt *> m_cache;
    unsigned m_sink = 0;
};

// The statements of the window's operations, word for word.
namespace Sql {
const QString Categories = QStringLiteral("select BM,MC from DRUG_LB");
const QString CategoryDrugs = QStringLiteral("select ID,药物名称 from DRUG_ZB where LB=:lb");
const QString HelpTopics = QStringLiteral("select BM,MC from HELP_LB");
const QString HelpText = QStringLiteral("select rowid AS __rowid__,  *  from HELP_ZB where LB=:lb");
const QString CategoryList = QStringLiteral("select * from DRUG_LB");
const QString Sheet = QStringLiteral("select * from  DRUG_ZB where ID=:id");
const QString ByName = QStringLiteral("select ID from DRUG_ZB where 药物名称=:name");
const QString Record = QStringLiteral("select rowid AS __rowid__, * from DRUG_ZB  where 药物名称=:name");
const QString Begin = QStringLiteral("BEGIN IMMEDIATE");
const QString Commit = QStringLiteral("COMMIT");
const QString Delete = QStringLiteral("delete from DRUG_ZB where ID=:id");
} // namespace Sql

// Start-up's statements: the open, both trees and the category list.
void floorStartup(const QString &path)
{
    Engine engine(path);
    QList<QByteArray> codes;
    {
        sqlite3_stmt *s = engine.cached(Sql::Categories);
        while (sqlite3_step(s) == SQLITE_ROW) {
            codes << QByteArray(reinterpret_cast<const char *>(sqlite3_column_text(s, 0)), sqlite3_column_bytes(s, 0));
            sqlite3_column_text(s, 1);
        }
        sqlite3_reset(s);
    }
    sqlite3_stmt *drugs = engine.cached(Sql::CategoryDrugs);
    for (const QByteArray &code : codes) {
        sqlite3_bind_text(drugs, 1, code.constData(), int(code.size()), SQLITE_TRANSIENT);
        engine.readAll(drugs);
    }
    QByteArray firstTopic;
    engine.readAll(engine.cached(Sql::HelpTopics), &firstTopic);
    if (!firstTopic.isNull()) {
        sqlite3_stmt *help = engine.cached(Sql::HelpText);
        sqlite3_bind_text(help, 1, firstTopic.constData(), int(firstTopic.size()), SQLITE_TRANSIENT);
        engine.readAll(help);
    }
    engine.readAll(engine.cached(Sql::CategoryList));
}

int floorSheet(Engine &engine, qint64 id)
{
    sqlite3_stmt *s = engine.cached(Sql::Sheet);
    Engine::bind(s, 1, id);
    return engine.readAll(s);
}

int floorNameSearch(Engine &engine, const QString &name)
{
    sqlite3_stmt *s = engine.cached(Sql::ByName);
    Engine::bind(s, 1, name);
    QByteArray id;
    if (engine.readAll(s, &id) == 0)
        return 0;
    return floorSheet(engine, id.toLongLong());
}

// The list's statement and the first entry's sheet; gives the row count.
// The search index's part goes through the program's own SearchIndex.
int floorSearch(Engine &engine, const QString *typed, int box = 0)
{
    QStringList texts(data::SearchBoxCount);
    if (typed)
        texts[box] = *typed;
    const CombinedQuery query(texts);
    sqlite3_stmt *s = engine.cached(query.sql(engine.connection()));
    for (const auto &[name, value] : query.parameters()) {
        if (const int index = sqlite3_bind_parameter_index(s, (QLatin1Char(':') + name).toUtf8().constData()))
            Engine::bind(s, index, value);
    }
    QByteArray first;
    const int rows = engine.readAll(s, &first);
    if (rows > 0)
        floorSheet(engine, first.toLongLong());
    return rows;
}

// ------------------------------------------------------------ the window

class QuietPresenter : public app::MessagePresenter
{
public:
    void show(const app::Message &message) override { messages << message.text; }
    // The messages since the last call; anything but `expected` fails.
    void expect(const QStringList &expected, const QString &operation)
    {
        if (messages != expected)
            fail(QStringLiteral("%1: expected messages [%2], got [%3]")
                     .arg(operation, expected.join(QStringLiteral(", ")), messages.join(QStringLiteral(", "))));
        messages.clear();
    }
    QStringList messages;
};

struct Drug {
    qint64 id;
    QString name;
};

class Worker
{
public:
    Worker(int drugs, const QString &database, double repsScale, bool trace, QStringList phases, bool floors,
           QString previous)
        : m_drugs(drugs), m_size(QString::number(drugs)), m_scale(repsScale), m_trace(trace),
          m_phases(std::move(phases)), m_floors(floors), m_previous(std::move(previous))
    {
        if (!m_dir.isValid())
            fail(QStringLiteral("no temporary folder"));
        m_path = m_dir.filePath(QStringLiteral("drug.mdb"));
        // Saves and deletes change the file: work on a copy of the cached one.
        if (!QFile::copy(database, m_path))
            fail(QStringLiteral("cannot copy %1").arg(database));
        QFile(m_path).setPermissions(QFile::ReadOwner | QFile::WriteOwner);
        app::MessagePresenter::setCurrent(&m_presenter);
    }
    ~Worker() { app::MessagePresenter::setCurrent(nullptr); }

    QJsonObject run();

private:
    int reps(int at1k, int at10k, int at100k) const
    {
        const int base = m_drugs >= 100000 ? at100k : m_drugs >= 10000 ? at10k : at1k;
        return std::max(3, int(std::lround(base * m_scale)));
    }

    // One untimed warm-up, then `count` timed runs of the window's operation
    // (with the events it leaves behind: layout and paint) and, interleaved,
    // of the floor. `prepare` runs untimed before each.
    void measure(const QString &operation, int count, const std::function<void(int)> &prepare,
                 const std::function<void(int)> &program, const std::function<void(int)> &floor,
                 bool interleave = true, const QString &note = {});

    void startup();
    void lookups();
    void searches();
    void maintenance();
    void upgrade();
    void verifyStatements(const QString &operation, const std::function<void()> &program,
                          const std::function<void()> &floor);
    QStringList tracedProgram(const std::function<void()> &program);

    static void settle() { QApplication::processEvents(); }

    int m_drugs;
    QString m_size;
    double m_scale;
    bool m_trace;
    QStringList m_phases; // empty: all; for profiling one phase
    bool m_floors;        // false: the window only, for profiling
    QString m_previous;   // the same drugs in the previous layout; empty: no upgrade timed
    QTemporaryDir m_dir;
    QString m_path;
    QuietPresenter m_presenter;
    std::unique_ptr<TFormMain> m_form;
    std::unique_ptr<Engine> m_engine;
    unsigned m_sink = 0;
    std::vector<Drug> m_sample; // drugs picked for lookups
    QList<Result> m_results;
    QStringList m_warnings;
    long long m_rssAfterStartup = -1;
};

void Worker::measure(const QString &operation, int count, const std::function<void(int)> &prepare,
                     const std::function<void(int)> &program, const std::function<void(int)> &floor,
                     bool interleave, const QString &note)
{
    progress(QStringLiteral("[%1] %2 (%3 runs)").arg(m_size, operation).arg(count));
    std::vector<double> programTimes, floorTimes, programCpu, floorCpu;
    auto runProgram = [&](int i, bool keep) {
        if (prepare)
            prepare(i);
        const double cpu = bench::cpuMs();
        const double start = bench::nowMs();
        program(i);
        settle();
        if (keep) {
            programTimes.push_back(bench::nowMs() - start);
            programCpu.push_back(bench::cpuMs() - cpu);
        }
    };
    auto runFloor = [&](int i, bool keep) {
        const double cpu = bench::cpuMs();
        const double start = bench::nowMs();
        floor(i);
        if (keep) {
            floorTimes.push_back(bench::nowMs() - start);
            floorCpu.push_back(bench::cpuMs() - cpu);
        }
    };
    if (interleave) {
        for (int i = 0; i <= count; ++i) {
            runProgram(i, i > 0);
            if (floor && m_floors)
                runFloor(i, i > 0);
        }
    } else {
        // Writes from one connection make the other drop its page cache, so
        // write operations run as two separate series.
        for (int i = 0; i <= count; ++i)
            runProgram(i, i > 0);
        if (floor && m_floors) {
            for (int i = 0; i <= count; ++i)
                runFloor(i, i > 0);
        }
    }
    Result r{operation, m_size, statsOf(programTimes, programCpu), {}, QStringLiteral("engine"), note};
    if (floor && m_floors)
        r.floor = statsOf(floorTimes, floorCpu);
    m_results << r;
}

// Runs the window's operation and its floor once each with tracing on and
// compares the statements they ran.
QStringList Worker::tracedProgram(const std::function<void()> &program)
{
    sqlite3 *programDb = m_form->MainConnection.handle();
    g_traced.clear();
    setTracing(programDb, true);
    program();
    settle();
    setTracing(programDb, false);
    const QStringList ran = g_traced;
    g_traced.clear();
    return ran;
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
    setTracing(m_engine->db(), true);
    floor();
    setTracing(m_engine->db(), false);
    const QStringList floorRan = g_traced;
    g_traced.clear();
    if (m_trace)
        progress(QStringLiteral("[%1] %2 runs:\n    %3").arg(m_size, operation, ran.join(QStringLiteral("\n    "))));
    if (distinctInOrder(ran) != distinctInOrder(floorRan)) {
        const QString warning = QStringLiteral("%1: the floor's statements differ from the window's:\n  window: %2\n  floor:  %3")
                                    .arg(operation, distinctInOrder(ran).join(QStringLiteral(" | ")),
                                         distinctInOrder(floorRan).join(QStringLiteral(" | ")));
        progress(warning);
        m_warnings << warning;
    }
}

void Worker::startup()
{
    // The statements of one start, traced from the open on.
    {
        g_traced.clear();
        g_traceNewConnections = true;
        {
            TFormMain form(m_path);
            form.FormCreate();
            form.close();
        }
        const QStringList ran = g_traced;
        g_traced.clear();
        floorStartup(m_path);
        const QStringList floorRan = g_traced;
        g_traceNewConnections = false;
        g_traced.clear();
        m_presenter.expect({}, QStringLiteral("start-up"));
        if (ran != floorRan) {
            // Only the count and the first difference: the tree runs one
            // statement per category.
            int i = 0;
            while (i < ran.size() && i < floorRan.size() && ran[i] == floorRan[i])
                ++i;
            const QString warning = QStringLiteral("start-up: the floor's statements differ from the window's at #%1 (%2 vs %3): %4 | %5")
                                        .arg(i).arg(ran.size()).arg(floorRan.size())
                                        .arg(ran.value(i), floorRan.value(i));
            progress(warning);
            m_warnings << warning;
        } else if (m_trace) {
            progress(QStringLiteral("[%1] start-up runs %2 statements, the same as its floor").arg(m_size).arg(ran.size()));
        }
    }

    const int count = reps(15, 9, 5);
    std::vector<double> shown, created, floorTimes, shownCpu, floorCpu;
    progress(QStringLiteral("[%1] start-up (%2 runs)").arg(m_size).arg(count));
    for (int i = 0; i <= count; ++i) {
        const double cpu = bench::cpuMs();
        const double start = bench::nowMs();
        auto form = std::make_unique<TFormMain>(m_path);
        if (form->FormCreate() != TFormMain::StartResult::Running)
            fail(QStringLiteral("start-up: the database is missing"));
        const double afterCreate = bench::nowMs();
        form->show();
        if (!bench::waitExposed(form.get()))
            fail(QStringLiteral("start-up: the window was not exposed"));
        const double end = bench::nowMs();
        const double cpuEnd = bench::cpuMs();
        if (form->tv1->nodeCount() != m_drugs + categoriesFor(m_drugs))
            fail(QStringLiteral("start-up: the tree holds %1 nodes").arg(form->tv1->nodeCount()));
        m_presenter.expect({}, QStringLiteral("start-up"));
        if (i == count) {
            m_rssAfterStartup = bench::peakRssKb();
            // This one stays for the other operations.
            m_form = std::move(form);
        } else {
            form->close();
            form.reset();
        }
        const double floorCpuStart = bench::cpuMs();
        const double floorStart = bench::nowMs();
        if (m_floors)
            floorStartup(m_path);
        const double floorEnd = bench::nowMs();
        if (i > 0) {
            shown.push_back(end - start);
            shownCpu.push_back(cpuEnd - cpu);
            created.push_back(afterCreate - start);
            floorTimes.push_back(floorEnd - floorStart);
            floorCpu.push_back(bench::cpuMs() - floorCpuStart);
        }
    }
    const std::optional<Stats> floor = m_floors ? std::optional<Stats>(statsOf(floorTimes, floorCpu)) : std::nullopt;
    m_results << Result{QStringLiteral("start-up to shown window"), m_size, statsOf(shown, shownCpu), floor,
                        QStringLiteral("engine"), QStringLiteral("TFormMain + FormCreate + show, in process")};
    m_results << Result{QStringLiteral("  of which window + FormCreate"), m_size, statsOf(created), floor,
                        QStringLiteral("engine"), {}};
    m_engine = std::make_unique<Engine>(m_path);

    // Drugs to look up, spread over the table, the same every run.
    std::vector<Drug> all;
    sqlite3_stmt *s = m_engine->prepare(QStringLiteral("select ID, 药物名称 from DRUG_ZB order by ID"));
    while (sqlite3_step(s) == SQLITE_ROW)
        all.push_back({sqlite3_column_int64(s, 0), QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(s, 1)))});
    sqlite3_finalize(s);
    std::mt19937 random(7);
    std::shuffle(all.begin(), all.end(), random);
    all.resize(std::min<size_t>(all.size(), 2000));
    m_sample = std::move(all);
}

void Worker::lookups()
{
    TFormMain &form = *m_form;
    form.Pc->setActivePage(TFormMain::SimpleQueryPage);
    form.PcChange();
    settle();
    const auto drug = [this](int i) -> const Drug & { return m_sample[size_t(i) % m_sample.size()]; };

    verifyStatements(QStringLiteral("ShowDrug"),
                     [&] { form.ShowDrug(QString::number(drug(0).id), form.Memo1); },
                     [&] { floorSheet(*m_engine, drug(0).id); });
    measure(QStringLiteral("ShowDrug"), reps(200, 200, 200), {},
            [&](int i) {
                form.ShowDrug(QString::number(drug(i).id), form.Memo1);
            },
            [&](int i) { floorSheet(*m_engine, drug(i + 1000).id); });
    if (!form.Memo1->toPlainText().startsWith(QStringLiteral("【药物名称】： ") + drug(reps(200, 200, 200)).name))
        fail(QStringLiteral("ShowDrug: the sheet does not show the drug"));
    m_presenter.expect({}, QStringLiteral("ShowDrug"));

    form.LabeledEdit_mc->setText(drug(0).name);
    verifyStatements(QStringLiteral("name search"), [&] { form.BitBtn1Click(); },
                     [&] { floorNameSearch(*m_engine, drug(0).name); });
    measure(QStringLiteral("name search"), reps(200, 200, 200),
            [&](int i) { form.LabeledEdit_mc->setText(drug(i + 300).name); },
            [&](int) { form.BitBtn1Click(); },
            [&](int i) { floorNameSearch(*m_engine, drug(i + 1300).name); });
    if (!form.Memo1->toPlainText().startsWith(QStringLiteral("【药物名称】： ") + drug(reps(200, 200, 200) + 300).name))
        fail(QStringLiteral("name search: the sheet does not show the drug"));
    m_presenter.expect({}, QStringLiteral("name search"));
}

void Worker::searches()
{
    TFormMain &form = *m_form;
    form.Pc->setActivePage(TFormMain::CombinedQueryPage);
    form.PcChange();
    settle();
    for (LabeledEdit *edit : form.LabeledEdits)
        edit->clear();

    form.LabeledEdits[0]->setText(SelectiveCriterion);
    int found = 0;
    verifyStatements(QStringLiteral("combined search, selective"), [&] { form.BitBtn2Click(); },
                     [&] { found = floorSearch(*m_engine, &SelectiveCriterion); });
    measure(QStringLiteral("combined search, selective"), reps(30, 15, 7), {},
            [&](int) { form.BitBtn2Click(); },
            [&](int) { found = floorSearch(*m_engine, &SelectiveCriterion); }, true,
            QStringLiteral("功能主治 contains %1").arg(SelectiveCriterion));
    if (form.tv2->topLevelItemCount() != found || found == 0 || found >= 100 || !form.tv2->selectedNode()
        || !form.Memo2->toPlainText().contains(SelectiveCriterion))
        fail(QStringLiteral("selective search: %1 entries, the floor found %2").arg(form.tv2->topLevelItemCount()).arg(found));
    m_results.back().note += QStringLiteral(", %1 found").arg(found);

    // Texts the search index answers alone, one it narrows with a wildcard
    // between characters, and a Latin pattern; each beside a plain-SQLite
    // anchor that the parent runs.
    for (const SearchCase &c : searchCases()) {
        if (c.operation == QLatin1String("combined search, selective"))
            continue;
        for (LabeledEdit *edit : form.LabeledEdits)
            edit->clear();
        form.LabeledEdits[c.box]->setText(c.text);
        verifyStatements(c.operation, [&] { form.BitBtn2Click(); }, [&] { found = floorSearch(*m_engine, &c.text, c.box); });
        measure(c.operation, reps(20, 9, 5), {}, [&](int) { form.BitBtn2Click(); },
                [&](int) { found = floorSearch(*m_engine, &c.text, c.box); }, true,
                QStringLiteral("%1 contains %2").arg(data::boxColumns(c.box + 1).constFirst(), c.text));
        if (form.tv2->topLevelItemCount() != found || (found > 0) != (form.tv2->selectedNode() != nullptr))
            fail(QStringLiteral("%1: %2 entries, the floor found %3").arg(c.operation).arg(form.tv2->topLevelItemCount()).arg(found));
        m_results.back().note += QStringLiteral(", %1 found").arg(found);
    }
    for (LabeledEdit *edit : form.LabeledEdits)
        edit->clear();

    verifyStatements(QStringLiteral("combined search, every drug"), [&] { form.BitBtn2Click(); },
                     [&] { found = floorSearch(*m_engine, nullptr); });
    measure(QStringLiteral("combined search, every drug"), reps(20, 9, 5), {},
            [&](int) { form.BitBtn2Click(); },
            [&](int) { found = floorSearch(*m_engine, nullptr); });
    if (form.tv2->topLevelItemCount() != m_drugs || found != m_drugs || !form.tv2->selectedNode())
        fail(QStringLiteral("every drug: %1 entries").arg(form.tv2->topLevelItemCount()));
    m_presenter.expect({}, QStringLiteral("combined search"));
}

void Worker::maintenance()
{
    TFormMain &form = *m_form;
    form.Pc->setActivePage(TFormMain::DrugEntryPage);
    form.PcChange();
    settle();
    DbMemo *remarks = form.DBMemos[9]; // 附注
    const Drug &edited = m_sample[1];  // edited by the window
    const Drug &floorDrug = m_sample[2];

    // Loading the record by its name.
    auto load = [&](const QString &name) {
        form.Edit1->setText(name + QLatin1Char('#'));
        form.Edit1->setText(name); // the name-changed mark is set
    };
    verifyStatements(QStringLiteral("load record"), [&] { load(edited.name); form.Edit1Exit(); },
                     [&] {
                         sqlite3_stmt *s = m_engine->cached(Sql::Record);
                         Engine::bind(s, 1, floorDrug.name);
                         m_engine->readAll(s);
                     });
    measure(QStringLiteral("load record (Edit1Exit)"), reps(100, 100, 100),
            [&](int) { load(edited.name); }, [&](int) { form.Edit1Exit(); },
            [&](int) {
                sqlite3_stmt *s = m_engine->cached(Sql::Record);
                Engine::bind(s, 1, floorDrug.name);
                m_engine->readAll(s);
            });
    if (!form.SQL_ZB.isActive() || form.SQL_ZB.recordCount() != 1)
        fail(QStringLiteral("load record: no record"));

    // Saving an edited record: the window writes the name and the remarks,
    // checked against what it read, and reads the row back.
    // The floor takes the window's own texts of the update and the read-back
    // from one save, and binds what the window binds: the name and the
    // remarks, the rowid, then the name and the remarks as they were read.
    auto edit = [&](int i) { remarks->setPlainText(QStringLiteral("基准修改的附注，第 %1 次。").arg(i)); };
    edit(-2);
    QString update, readBack;
    for (const QString &statement : tracedProgram([&] { form.tbSaveClick(); })) {
        if (statement.startsWith(QLatin1String("UPDATE")))
            update = statement;
        else if (statement.startsWith(QLatin1String("SELECT")))
            readBack = statement;
    }
    m_presenter.expect({QStringLiteral("保存成功！")}, QStringLiteral("save"));
    if (update.isEmpty() || readBack.isEmpty() || sqlite3_bind_parameter_count(m_engine->cached(update)) != 5)
        fail(QStringLiteral("save: not the update the floor expects: %1").arg(update));
    QString floorRemarks;
    {
        sqlite3_stmt *s = m_engine->prepare(QStringLiteral("select 附注 from DRUG_ZB where ID = ?"));
        Engine::bind(s, 1, floorDrug.id);
        if (sqlite3_step(s) == SQLITE_ROW)
            floorRemarks = QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(s, 0)));
        sqlite3_finalize(s);
    }
    auto floorSave = [&](int i) {
        const QString text = QStringLiteral("基准修改的附注，第 %1 次。").arg(i);
        m_engine->once(Sql::Begin);
        sqlite3_stmt *u = m_engine->cached(update);
        Engine::bind(u, 1, floorDrug.name);
        Engine::bind(u, 2, text);
        Engine::bind(u, 3, floorDrug.id);
        Engine::bind(u, 4, floorDrug.name);
        Engine::bind(u, 5, floorRemarks);
        m_engine->readAll(u);
        if (sqlite3_changes(m_engine->db()) != 1)
            fail(QStringLiteral("floor save wrote nothing"));
        sqlite3_stmt *r = m_engine->cached(readBack);
        Engine::bind(r, 1, floorDrug.id);
        m_engine->readAll(r);
        data::SearchIndex(m_engine->connection()).update();
        m_engine->once(Sql::Commit);
        floorRemarks = text;
    };
    edit(-1);
    verifyStatements(QStringLiteral("save"), [&] { form.tbSaveClick(); }, [&] { floorSave(-1); });
    m_presenter.expect({QStringLiteral("保存成功！")}, QStringLiteral("save"));
    const int saves = reps(30, 30, 30);
    measure(QStringLiteral("save (tbSaveClick)"), saves, edit,
            [&](int) {
                form.tbSaveClick();
            },
            floorSave, false, QStringLiteral("an edited 附注"));
    QStringList successes;
    for (int i = 0; i <= saves; ++i)
        successes << QStringLiteral("保存成功！");
    m_presenter.expect(successes, QStringLiteral("save"));
    if (m_engine->scalar(QStringLiteral("select count(*) from DRUG_ZB where ID = ? and 附注 = ?"), [&](sqlite3_stmt *s) {
            Engine::bind(s, 1, edited.id);
            Engine::bind(s, 2, QStringLiteral("基准修改的附注，第 %1 次。").arg(saves));
        }) != 1)
        fail(QStringLiteral("save: the edit is not in the database"));

    // Deleting a freshly inserted record: the window saves a new record and
    // deletes it; the floor inserts a row and deletes it.
    const QString category = QStringLiteral("001"); // the builder's first category code
    int serial = 0;
    auto insertNew = [&](int) {
        form.Edit1->setText(QStringLiteral("基准删除%1").arg(++serial));
        form.Edit1Exit();
        form.SQL_ZB.setField(QStringLiteral("LB"), category);
        remarks->setPlainText(QStringLiteral("一条马上要删除的记录。"));
        form.tbSaveClick();
        m_presenter.expect({QStringLiteral("保存成功！")}, QStringLiteral("new record"));
    };
    std::vector<qint64> floorIds;
    auto floorInsert = [&] {
        sqlite3_stmt *s = m_engine->prepare(QStringLiteral("INSERT INTO DRUG_ZB (LB, 药物名称, 附注) VALUES (?, ?, ?)"));
        Engine::bind(s, 1, category);
        Engine::bind(s, 2, QStringLiteral("基准删除底线%1").arg(++serial));
        Engine::bind(s, 3, QStringLiteral("一条马上要删除的记录。"));
        sqlite3_step(s);
        sqlite3_finalize(s);
        floorIds.push_back(sqlite3_last_insert_rowid(m_engine->db()));
        // Taken into the index, as the window's save of a new record does.
        data::SearchIndex(m_engine->connection()).update();
    };
    auto floorDelete = [&](qint64 id) {
        m_engine->once(Sql::Begin);
        m_engine->once(Sql::Delete, [id](sqlite3_stmt *s) { Engine::bind(s, 1, id); });
        data::SearchIndex(m_engine->connection()).update();
        m_engine->once(Sql::Commit);
    };
    insertNew(0);
    floorInsert();
    verifyStatements(QStringLiteral("delete"), [&] { form.tbDeleteClick(); }, [&] { floorDelete(floorIds.back()); });
    const int deletes = reps(30, 30, 30);
    // The floor's rows are inserted ahead, so that its series times the
    // deletes alone.
    floorIds.clear();
    for (int i = 0; i <= deletes; ++i)
        floorInsert();
    measure(QStringLiteral("delete (tbDeleteClick)"), deletes, insertNew,
            [&](int) {
                form.tbDeleteClick();
            },
            [&](int i) { floorDelete(floorIds[size_t(i)]); }, false, QStringLiteral("of a record just saved"));
    m_presenter.expect({}, QStringLiteral("delete"));
    if (m_engine->scalar(QStringLiteral("select count(*) from DRUG_ZB where 药物名称 like '基准删除%'")) != 0
        || form.SQL_ZB.isActive() || !form.Edit1->text().isEmpty())
        fail(QStringLiteral("delete: rows are left"));
}

// The first open of a file of the previous layout, as the program opens it:
// the drug file's step upgrades it. Each run upgrades a fresh copy.
void Worker::upgrade()
{
    const QString path = m_dir.filePath(QStringLiteral("previous.mdb"));
    const auto copy = [&](int) {
        QFile::remove(path);
        if (!QFile::copy(m_previous, path))
            fail(QStringLiteral("cannot copy %1").arg(m_previous));
        QFile(path).setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    };
    measure(QStringLiteral("upgrade of the previous layout"), reps(5, 3, 3), copy,
            [&](int) {
                data::Connection connection(path);
                data::useDrugFile(connection);
                connection.open();
            },
            {}, true, QStringLiteral("first open of a file of user_version 0"));
    data::Connection connection(path);
    data::Statement version(connection.handle(), QStringLiteral("pragma user_version"));
    if (!version.step() || version.int64(0) != data::SchemaVersion)
        fail(QStringLiteral("upgrade: the file was not upgraded"));
    QFile::remove(path);
}

QJsonObject Worker::run()
{
    auto wanted = [this](const char *phase) { return m_phases.isEmpty() || m_phases.contains(QLatin1String(phase)); };
    startup();
    if (wanted("lookups"))
        lookups();
    if (wanted("searches"))
        searches();
    if (wanted("maintenance"))
        maintenance();
    if (wanted("upgrade") && !m_previous.isEmpty())
        upgrade();
    const long long peak = bench::peakRssKb();
    m_sink = m_engine->sink();
    m_form->close();
    m_form.reset();
    const qint64 fileBytes = QFileInfo(m_path).size();
    // The pages the search index takes: those its tables give back when
    // dropped (the copy is thrown away after the run).
    qint64 indexBytes = -1;
    {
        m_engine.reset();
        data::Connection copy(m_path);
        copy.open();
        copy.execute(QStringLiteral("drop trigger if exists DRUG_ZB_SEARCH_AI"));
        copy.execute(QStringLiteral("drop trigger if exists DRUG_ZB_SEARCH_AU"));
        copy.execute(QStringLiteral("drop trigger if exists DRUG_ZB_SEARCH_AD"));
        copy.execute(QStringLiteral("drop table if exists DRUG_SEARCH_INDEX"));
        copy.execute(QStringLiteral("drop table if exists DRUG_SEARCH_TOP"));
        copy.execute(QStringLiteral("drop table if exists DRUG_ZB_DIRTY"));
        data::Statement pages(copy.handle(), QStringLiteral("pragma freelist_count"));
        data::Statement size(copy.handle(), QStringLiteral("pragma page_size"));
        if (pages.step() && size.step())
            indexBytes = pages.int64(0) * size.int64(0);
    }

    QJsonArray results;
    for (const Result &r : m_results)
        results << toJson(r);
    return {{QStringLiteral("size"), m_drugs},
            {QStringLiteral("categories"), categoriesFor(m_drugs)},
            {QStringLiteral("file_bytes"), fileBytes},
            {QStringLiteral("search_index_bytes"), indexBytes},
            {QStringLiteral("peak_rss_kb"), peak},
            {QStringLiteral("peak_rss_after_startup_kb"), m_rssAfterStartup},
            {QStringLiteral("results"), results},
            {QStringLiteral("warnings"), QJsonArray::fromStringList(m_warnings)},
            {QStringLiteral("sink"), qint64(m_sink)}};
}

// A user's session, in a process of its own, for the program's peak memory
// without the benchmark's repeated start-ups and its floor connection: one
// start, then each operation once, with both trees and the list full.
long long runSession(int drugs, const QString &database)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("drug.mdb"));
    if (!QFile::copy(database, path))
        fail(QStringLiteral("cannot copy %1").arg(database));
    QFile(path).setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    QuietPresenter presenter;
    app::MessagePresenter::setCurrent(&presenter);
    {
        TFormMain form(path);
        form.FormCreate();
        form.show();
        bench::waitExposed(&form);
        form.ShowDrug(QStringLiteral("1"), form.Memo1);
        form.LabeledEdit_mc->setText(form.tv1->topLevelItem(0)->child(0)->text(0));
        form.BitBtn1Click();
        form.Pc->setActivePage(TFormMain::CombinedQueryPage);
        form.LabeledEdits[0]->setText(SelectiveCriterion);
        form.BitBtn2Click();
        QApplication::processEvents();
        form.LabeledEdits[0]->clear();
        form.BitBtn2Click();
        QApplication::processEvents();
        if (form.tv2->topLevelItemCount() != drugs)
            fail(QStringLiteral("session: the list holds %1 entries").arg(form.tv2->topLevelItemCount()));
        form.Pc->setActivePage(TFormMain::DrugEntryPage);
        form.Edit1->setText(form.tv1->topLevelItem(0)->child(0)->text(0));
        form.Edit1Exit();
        form.DBMemos[9]->setPlainText(QStringLiteral("会话中修改的附注。"));
        form.tbSaveClick();
        form.Edit1->setText(QStringLiteral("会话新记录"));
        form.Edit1Exit();
        form.SQL_ZB.setField(QStringLiteral("LB"), QStringLiteral("001"));
        form.tbSaveClick();
        form.tbDeleteClick();
        QApplication::processEvents();
        presenter.expect({QStringLiteral("保存成功！"), QStringLiteral("保存成功！")}, QStringLiteral("session"));
        form.close();
    }
    app::MessagePresenter::setCurrent(nullptr);
    return bench::peakRssKb();
}

// ------------------------------------------------------------ the parent

QString syntheticDatabase(const QString &cacheDir, int drugs, bool rebuild)
{
    // The schema is part of the key: a changed schema builds anew.
    const QByteArray schema = QCryptographicHash::hash(data::schemaSql().toUtf8(),
                                                       QCryptographicHash::Sha1).toHex().left(10);
    QDir().mkpath(cacheDir);
    const QString path = QDir(cacheDir).filePath(QStringLiteral("synthetic-%1-%2-%3-%4.mdb")
                                                     .arg(drugs).arg(categoriesFor(drugs)).arg(Seed)
                                                     .arg(QString::fromLatin1(schema)));
    if (rebuild || !QFileInfo::exists(path)) {
        progress(QStringLiteral("building %1 (%2 drugs in %3 categories)").arg(path).arg(drugs).arg(categoriesFor(drugs)));
        tools::buildSynthetic(path, drugs, categoriesFor(drugs), Seed, true);
    }
    return path;
}

// The same data in the previous layout, for timing its upgrade. Made once,
// beside the encrypted file in the cache.
QString previousLayout(const QString &database)
{
    const QString path = QFileInfo(database).path() + QLatin1Char('/') + QFileInfo(database).completeBaseName() +
                         QStringLiteral("-previous.mdb");
    if (QFileInfo::exists(path))
        return path;
    progress(QStringLiteral("making the previous layout %1").arg(path));
    const QString building = path + QStringLiteral(".building");
    QFile::remove(building);
    if (!QFile::copy(database, building))
        fail(QStringLiteral("cannot copy %1").arg(database));
    QFile(building).setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    tools::makePreviousLayout(building);
    if (!QFile::rename(building, path))
        fail(QStringLiteral("cannot rename %1").arg(building));
    return path;
}

// A plain copy of the same data for the anchors: unencrypted, 4 KB pages,
// the two drug tables with their B-tree indexes, no search index. Made once,
// beside the encrypted file in the cache.
QString plainCopy(const QString &database)
{
    const QString path = QFileInfo(database).path() + QLatin1Char('/') + QFileInfo(database).completeBaseName() +
                         QStringLiteral("-plain.db");
    if (QFileInfo::exists(path))
        return path;
    progress(QStringLiteral("making the plain copy %1").arg(path));
    const QString building = path + QStringLiteral(".building");
    QFile::remove(building);
    {
        // The connection opens files without creating them: an empty file
        // is an empty database.
        QFile empty(building);
        if (!empty.open(QIODevice::WriteOnly))
            fail(QStringLiteral("cannot create %1").arg(building));
    }
    {
        data::Connection source(database);
        source.open();
        data::Statement attach(source.handle(), QStringLiteral("attach database ? as plain key ''"));
        attach.bind(1, building);
        attach.step();
        source.execute(QStringLiteral("pragma plain.page_size = 4096"));
        source.execute(QStringLiteral("begin"));
        for (const QString &name : {QStringLiteral("DRUG_LB"), QStringLiteral("DRUG_ZB"), QStringLiteral("DRUG_ZB_LB"),
                                    QStringLiteral("DRUG_ZB_NAME")}) {
            data::Statement sql(source.handle(), QStringLiteral("select type, sql from main.sqlite_master where name = ?"));
            sql.bind(1, name);
            if (!sql.step())
                fail(QStringLiteral("no %1 in %2").arg(name, database));
            const QString type = sql.text(0).toUpper();
            QString create = sql.text(1);
            create.replace(QStringLiteral("CREATE %1 %2").arg(type, name), QStringLiteral("CREATE %1 plain.%2").arg(type, name));
            source.execute(create);
            if (type == QLatin1String("TABLE"))
                source.execute(QStringLiteral("insert into plain.%1 select * from main.%1").arg(name));
        }
        source.execute(QStringLiteral("commit"));
        source.execute(QStringLiteral("detach database plain"));
    }
    if (!QFile::rename(building, path))
        fail(QStringLiteral("cannot rename %1").arg(building));
    return path;
}

// Runs the searches on the plain copy through the system's SQLite and puts
// the best correct anchor beside each search of the same run.
void runAnchors(const QString &plain, int drugs, double scale, QList<Result> &results)
{
    const int base = drugs >= 100000 ? 5 : drugs >= 10000 ? 9 : 20;
    QStringList arguments{plain, QString::number(std::max(3, int(std::lround(base * scale))))};
    for (const SearchCase &c : searchCases())
        arguments << data::boxColumns(c.box + 1).constFirst() << c.text;
    QProcess anchor;
    anchor.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    anchor.start(QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("zelkano_anchor")), arguments);
    if (!anchor.waitForFinished(-1) || anchor.exitStatus() != QProcess::NormalExit || anchor.exitCode() != 0)
        fail(QStringLiteral("the anchors for %1 drugs failed").arg(drugs));
    const QStringList lines = QString::fromUtf8(anchor.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (const SearchCase &c : searchCases()) {
        const QString column = data::boxColumns(c.box + 1).constFirst();
        Result *result = nullptr;
        for (Result &r : results) {
            if (r.operation == c.operation && r.size == QString::number(drugs))
                result = &r;
        }
        if (!result)
            continue;
        int fullRows = -1;
        QList<QStringList> runs;
        for (const QString &line : lines) {
            const QStringList f = line.split(QLatin1Char('\t'));
            if (f.size() == 7 && f[0] == column && f[1] == c.text) {
                runs << f;
                if (f[2] == QLatin1String("full scan"))
                    fullRows = f[6].toInt();
            }
        }
        for (const QStringList &f : runs) {
            Stats stats;
            stats.median = f[3].toDouble();
            stats.min = f[4].toDouble();
            stats.max = f[5].toDouble();
            const bool correct = f[6].toInt() == fullRows;
            result->anchors << QJsonObject{{QStringLiteral("kind"), f[2]}, {QStringLiteral("stats"), toJson(stats)},
                                           {QStringLiteral("rows"), f[6].toInt()}, {QStringLiteral("correct"), correct}};
            if (correct && (!result->anchor || stats.median < result->anchor->median)) {
                result->anchor = stats;
                result->anchorKind = f[2];
            }
        }
    }
}

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
    const double start = bench::nowMs();
    process.start(program, arguments);
    if (!process.waitForStarted(10000))
        fail(QStringLiteral("%1 did not start").arg(program));
    QByteArray line;
    while (!line.contains('\n')) {
        if (!process.waitForReadyRead(30000))
            break;
        line += process.readAllStandardOutput();
    }
    const double shown = bench::nowMs();
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

QString loadAverage()
{
    QFile file(QStringLiteral("/proc/loadavg"));
    return file.open(QIODevice::ReadOnly) ? QString::fromLatin1(file.readAll()).section(QLatin1Char(' '), 0, 2)
                                          : QString();
}

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

const Result *find(const QList<Result> &results, const QString &operation, const QString &size)
{
    for (const Result &r : results) {
        if (r.operation == operation && r.size == size)
            return &r;
    }
    return nullptr;
}

QJsonArray checkTargets(const QList<Result> &results, const QJsonObject &memory)
{
    QJsonArray targets;
    auto target = [&](const QString &what, bool measured, bool met, const QString &value) {
        targets << QJsonObject{{QStringLiteral("target"), what}, {QStringLiteral("value"), value},
                               {QStringLiteral("met"), measured ? QJsonValue(met) : QJsonValue()}};
        std::printf("  %-8s %-62s %s\n", !measured ? "n/a" : met ? "met" : "MISSED", what.toUtf8().constData(),
                    value.toUtf8().constData());
    };
    auto limit = [&](const QString &what, const QString &operation, const QString &size, double ms) {
        const Result *r = find(results, operation, size);
        target(what, r, r && r->program.median <= ms, r ? QStringLiteral("%1 ms").arg(r->program.median, 0, 'f', 2) : QString());
    };
    auto ratio = [&](const QString &what, const QString &operation, const QString &size, double most) {
        const Result *r = find(results, operation, size);
        const bool ok = r && r->floor && r->floor->median > 0;
        const double value = ok ? r->program.median / r->floor->median : 0;
        target(what, ok, value <= most, ok ? QStringLiteral("%1x").arg(value, 0, 'f', 2) : QString());
    };
    // One operation against another of the same run, or against its anchor.
    auto against = [&](const QString &what, const QString &operation, const QString &other, const QString &size, double most) {
        const Result *r = find(results, operation, size);
        const Result *o = find(results, other, size);
        const bool ok = r && o && o->program.median > 0;
        const double value = ok ? r->program.median / o->program.median : 0;
        target(what, ok, value <= most, ok ? QStringLiteral("%1x (%2 / %3 ms)").arg(value, 0, 'f', 2)
                                                 .arg(r->program.median, 0, 'f', 2).arg(o->program.median, 0, 'f', 2) : QString());
    };
    auto scan = [&](const QString &what, const QString &operation, const QString &size) {
        const Result *r = find(results, operation, size);
        double full = -1;
        for (const QJsonValue &v : r ? r->anchors : QJsonArray()) {
            const QJsonObject a = v.toObject();
            if (a.value(QStringLiteral("kind")).toString() == QLatin1String("full scan"))
                full = a.value(QStringLiteral("stats")).toObject().value(QStringLiteral("median_ms")).toDouble();
        }
        target(what, r && full > 0, r && r->program.median <= full,
               r && full > 0 ? QStringLiteral("%1 ms / %2 ms").arg(r->program.median, 0, 'f', 2).arg(full, 0, 'f', 2) : QString());
    };
    const QString big = QStringLiteral("100000");
    std::printf("\ntargets:\n");
    limit(QStringLiteral("100,000: start-up to shown window (in process) <= 200 ms"), QStringLiteral("start-up to shown window"), big, 200);
    limit(QStringLiteral("100,000: process start to shown window <= 450 ms"), QStringLiteral("process start to shown window"), big, 450);
    limit(QStringLiteral("100,000: every drug listed <= 200 ms"), QStringLiteral("combined search, every drug"), big, 200);
    limit(QStringLiteral("100,000: one absent character <= 10 ms"), QStringLiteral("combined search, one absent character"), big, 10);
    limit(QStringLiteral("100,000: selective combined search <= 10 ms"), QStringLiteral("combined search, selective"), big, 10);
    limit(QStringLiteral("100,000: two characters <= 40 ms"), QStringLiteral("combined search, two characters"), big, 40);
    against(QStringLiteral("100,000: one common character <= 1.2x every drug listed"),
            QStringLiteral("combined search, one common character"), QStringLiteral("combined search, every drug"), big, 1.2);
    scan(QStringLiteral("100,000: wildcard between characters <= plain full scan"),
         QStringLiteral("combined search, wildcard between characters"), big);
    scan(QStringLiteral("100,000: Latin pattern <= plain full scan"), QStringLiteral("combined search, Latin pattern"), big);
    limit(QStringLiteral("100,000: save <= 10 ms"), QStringLiteral("save (tbSaveClick)"), big, 10);
    limit(QStringLiteral("100,000: delete <= 10 ms"), QStringLiteral("delete (tbDeleteClick)"), big, 10);
    limit(QStringLiteral("100,000: upgrade of the previous layout <= 10 s"), QStringLiteral("upgrade of the previous layout"), big,
          10000);
    const QJsonObject bigMemory = memory.value(big).toObject();
    const double fileBytes = bigMemory.value(QStringLiteral("file_bytes")).toDouble();
    const double indexBytes = bigMemory.value(QStringLiteral("search_index_bytes")).toDouble(-1);
    target(QStringLiteral("100,000: file <= 2x the same data without a search index"), fileBytes > 0 && indexBytes >= 0,
           fileBytes <= 2 * (fileBytes - indexBytes),
           QStringLiteral("%1 MB, %2 MB without").arg(fileBytes / 1048576, 0, 'f', 1).arg((fileBytes - indexBytes) / 1048576, 0, 'f', 1));
    const bool hasPeak = bigMemory.contains(QStringLiteral("session_peak_rss_kb"));
    const double peakMb = bigMemory.value(QStringLiteral("session_peak_rss_kb")).toDouble() / 1024;
    target(QStringLiteral("100,000: peak RSS of a session < 150 MB"), hasPeak, peakMb < 150, QStringLiteral("%1 MB").arg(peakMb, 0, 'f', 1));
    limit(QStringLiteral("100,000: ShowDrug <= 5 ms"), QStringLiteral("ShowDrug"), big, 5);
    limit(QStringLiteral("100,000: name search <= 5 ms"), QStringLiteral("name search"), big, 5);
    ratio(QStringLiteral("sample: process start <= 1.2x the toolkit + engine floor"), QStringLiteral("process start to shown window"),
          QStringLiteral("sample"), 1.2);
    return targets;
}

int runParent(const QStringList &args)
{
    QList<int> sizes{1000, 10000, 100000};
    double scale = 1;
    // Beside the build: bin/ is the build folder's output folder.
    QString json = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("../bench_results.json"));
    QString cache = QDir(QDir::tempPath()).filePath(QStringLiteral("zelkano-bench-cache"));
    bool rebuild = false, processes = true, trace = false;
    for (int i = 1; i < args.size(); ++i) {
        const QString &a = args[i];
        auto next = [&]() -> QString { return i + 1 < args.size() ? args[++i] : QString(); };
        if (a == QLatin1String("--sizes")) {
            sizes.clear();
            for (const QString &s : next().split(QLatin1Char(','), Qt::SkipEmptyParts))
                sizes << s.toInt();
        } else if (a == QLatin1String("--reps-scale")) {
            scale = next().toDouble();
        } else if (a == QLatin1String("--json")) {
            json = next();
        } else if (a == QLatin1String("--cache")) {
            cache = next();
        } else if (a == QLatin1String("--rebuild")) {
            rebuild = true;
        } else if (a == QLatin1String("--no-process")) {
            processes = false;
        } else if (a == QLatin1String("--trace")) {
            trace = true;
        } else {
            std::fprintf(stderr, "usage: zelkano_bench [--sizes 1000,10000,100000] [--reps-scale X] [--json FILE]\n"
                                 "                     [--cache DIR] [--rebuild] [--no-process] [--trace]\n");
            return 2;
        }
    }
    if (scale <= 0 || sizes.contains(0)) {
        std::fprintf(stderr, "zelkano_bench: bad --sizes or --reps-scale\n");
        return 2;
    }

    const QString loadBefore = loadAverage();
    QList<Result> results;
    QJsonObject memory;
    QJsonArray warnings;
    QMap<int, QString> databases;
    for (int drugs : sizes) {
        databases[drugs] = syntheticDatabase(cache, drugs, rebuild);
        QTemporaryDir out;
        const QString resultFile = out.filePath(QStringLiteral("result.json"));
        QProcess worker;
        worker.setProcessChannelMode(QProcess::ForwardedChannels);
        QStringList workerArgs{QStringLiteral("--worker"), QString::number(drugs), databases[drugs], resultFile,
                               QString::number(scale), QStringLiteral("--previous"), previousLayout(databases[drugs])};
        if (trace)
            workerArgs << QStringLiteral("--trace");
        worker.start(QCoreApplication::applicationFilePath(), workerArgs);
        if (!worker.waitForFinished(-1) || worker.exitStatus() != QProcess::NormalExit || worker.exitCode() != 0) {
            std::fprintf(stderr, "zelkano_bench: the run for %d drugs failed\n", drugs);
            return 1;
        }
        QFile file(resultFile);
        if (!file.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "zelkano_bench: no result for %d drugs\n", drugs);
            return 1;
        }
        const QJsonObject o = QJsonDocument::fromJson(file.readAll()).object();
        for (const QJsonValue &v : o.value(QStringLiteral("results")).toArray())
            results << resultFromJson(v.toObject());
        for (const QJsonValue &v : o.value(QStringLiteral("warnings")).toArray())
            warnings << v;
        // The session's peak is read before it ends, so it is its own.
        QProcess session;
        session.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        session.start(QCoreApplication::applicationFilePath(),
                      {QStringLiteral("--user-session"), QString::number(drugs), databases[drugs]});
        if (!session.waitForFinished(-1) || session.exitCode() != 0) {
            std::fprintf(stderr, "zelkano_bench: the session for %d drugs failed\n", drugs);
            return 1;
        }
        const long long sessionPeak = session.readAllStandardOutput().trimmed().toLongLong();
        runAnchors(plainCopy(databases[drugs]), drugs, scale, results);
        memory.insert(QString::number(drugs),
                      QJsonObject{{QStringLiteral("session_peak_rss_kb"), sessionPeak},
                                  {QStringLiteral("peak_rss_kb"), o.value(QStringLiteral("peak_rss_kb"))},
                                  {QStringLiteral("peak_rss_after_startup_kb"), o.value(QStringLiteral("peak_rss_after_startup_kb"))},
                                  {QStringLiteral("file_bytes"), o.value(QStringLiteral("file_bytes"))},
                                  {QStringLiteral("search_index_bytes"), o.value(QStringLiteral("search_index_bytes"))}});
    }
    if (processes) {
        const QString sample = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("drug.mdb"));
        if (!QFileInfo::exists(sample)) {
            std::fprintf(stderr, "zelkano_bench: no sample database at %s (build the sample_db target)\n", qPrintable(sample));
            return 1;
        }
        // The floor of a start is short and the machine's timing of it
        // jumps between two levels now and then: many runs, both
        // alternating, give a median that holds.
        processStarts(QStringLiteral("sample"), sample, std::max(5, int(std::lround(41 * scale))), results, memory);
        if (databases.contains(100000)) {
            QJsonObject big = memory.value(QStringLiteral("100000")).toObject();
            QJsonObject probeMemory;
            processStarts(QStringLiteral("100000"), databases[100000], std::max(3, int(std::lround(5 * scale))), results, probeMemory);
            big.insert(QStringLiteral("start_probe_peak_rss_kb"),
                       probeMemory.value(QStringLiteral("100000")).toObject().value(QStringLiteral("start_probe_peak_rss_kb")));
            memory.insert(QStringLiteral("100000"), big);
        }
    }

    printTable(results);
    std::printf("\npeak RSS (MB):\n");
    for (auto it = memory.begin(); it != memory.end(); ++it) {
        const QJsonObject m = it.value().toObject();
        std::printf("  %-8s", it.key().toUtf8().constData());
        if (m.contains(QStringLiteral("session_peak_rss_kb")))
            std::printf("  session %.1f", m.value(QStringLiteral("session_peak_rss_kb")).toDouble() / 1024);
        if (m.contains(QStringLiteral("peak_rss_kb")))
            std::printf("  benchmark run %.1f (after start-up %.1f; file %.1f MB, of which search index %.1f MB)",
                        m.value(QStringLiteral("peak_rss_kb")).toDouble() / 1024,
                        m.value(QStringLiteral("peak_rss_after_startup_kb")).toDouble() / 1024,
                        m.value(QStringLiteral("file_bytes")).toDouble() / 1024 / 1024,
                        m.value(QStringLiteral("search_index_bytes")).toDouble() / 1024 / 1024);
        if (m.contains(QStringLiteral("start_probe_peak_rss_kb")))
            std::printf("  process start %.1f", m.value(QStringLiteral("start_probe_peak_rss_kb")).toDouble() / 1024);
        std::printf("\n");
    }
    const QJsonArray targets = checkTargets(results, memory);
    for (const QJsonValue &w : warnings)
        std::printf("warning: %s\n", w.toString().toUtf8().constData());
    const QString loadAfter = loadAverage();
    std::printf("load average before %s, after %s; %d CPUs; platform %s\n", qPrintable(loadBefore), qPrintable(loadAfter),
                QThread::idealThreadCount(), qPrintable(QGuiApplication::platformName()));

    QJsonArray resultArray;
    for (const Result &r : results)
        resultArray << toJson(r);
    const QJsonObject document{
        {QStringLiteral("machine"), QJsonObject{{QStringLiteral("cpus"), QThread::idealThreadCount()},
                                                {QStringLiteral("kernel"), QSysInfo::kernelVersion()},
                                                {QStringLiteral("qt"), QString::fromLatin1(qVersion())},
                                                {QStringLiteral("sqlite"), QString::fromLatin1(sqlite3_libversion())},
                                                {QStringLiteral("platform"), QGuiApplication::platformName()},
                                                {QStringLiteral("load_before"), loadBefore},
                                                {QStringLiteral("load_after"), loadAfter}}},
        {QStringLiteral("command"), args.join(QLatin1Char(' '))},
        {QStringLiteral("results"), resultArray},
        {QStringLiteral("memory"), memory},
        {QStringLiteral("targets"), targets},
        {QStringLiteral("warnings"), warnings}};
    QFile out(json);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        std::fprintf(stderr, "zelkano_bench: cannot write %s\n", qPrintable(json));
        return 1;
    }
    out.write(QJsonDocument(document).toJson());
    std::printf("results written to %s\n", qPrintable(QFileInfo(json).canonicalFilePath()));
    return warnings.isEmpty() ? 0 : 3;
}

int runWorker(const QStringList &args)
{
    // --worker DRUGS DATABASE RESULT SCALE [--trace] [--phases a,b] [--no-floor] [--previous FILE]
    // Run by hand, under a profiler, it times one phase of the window alone:
    //   zelkano_bench --worker 100000 FILE.mdb /tmp/r.json 0.2 --phases searches --no-floor
    if (args.size() < 6)
        return 2;
    const int phases = int(args.indexOf(QStringLiteral("--phases")));
    const int previous = int(args.indexOf(QStringLiteral("--previous")));
    Worker worker(args[2].toInt(), args[3], args[5].toDouble(), args.contains(QStringLiteral("--trace")),
                  phases > 0 ? args.value(phases + 1).split(QLatin1Char(','), Qt::SkipEmptyParts) : QStringList(),
                  !args.contains(QStringLiteral("--no-floor")), previous > 0 ? args.value(previous + 1) : QString());
    const QJsonObject result = worker.run();
    QFile out(args[4]);
    if (!out.open(QIODevice::WriteOnly))
        return 1;
    out.write(QJsonDocument(result).toJson());
    return 0;
}

} // namespace

// The offscreen platform's notes about what it cannot do would drown the
// progress lines.
void quietMessages(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (message.contains(QLatin1String("propagateSizeHints")) || message.startsWith(QLatin1String("QStandardPaths:")))
        return;
    std::fprintf(stderr, "%s%s\n", type == QtDebugMsg ? "" : "qt: ", qPrintable(message));
}

int main(int argc, char *argv[])
{
    bench::useOffscreenUnlessSet();
    qInstallMessageHandler(quietMessages);
    QApplication application(argc, argv);
    sqlite3_auto_extension(reinterpret_cast<void (*)()>(traceOnOpen));
    const QStringList args = application.arguments();
    try {
        if (args.size() > 1 && args[1] == QLatin1String("--worker"))
            return runWorker(args);
        if (args.size() > 3 && args[1] == QLatin1String("--user-session")) {
            std::printf("%lld\n", runSession(args[2].toInt(), args[3]));
            return 0;
        }
        return runParent(args);
    } catch (const std::exception &e) {
        // data::DbError is one too; its what() is the UTF-8 message.
        std::fprintf(stderr, "zelkano_bench: %s\n", e.what());
    }
    return 1;
}
