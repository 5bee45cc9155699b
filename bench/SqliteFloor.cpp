#include "SqliteFloor.h"
#include "Console.h"
#include "app/MainForm.h"
#include "data/Connection.h"
#include "data/DataSet.h"
#include "data/DrugFile.h"
#include "data/SearchIndex.h"
#include "data/WindowSql.h"
#include "lookup/CombinedQuery.h"

#include <map>
#include <sqlite3.h>
#include <utility>

namespace bench {

namespace {

struct Finalizer {
    void operator()(sqlite3_stmt *s) const { sqlite3_finalize(s); }
};
using StatementHandle = std::unique_ptr<sqlite3_stmt, Finalizer>;

// The window's record sets that write back select the row's identity too.
QString editable(const QString &sql)
{
    return data::DataSet::withRowId(sql);
}

// The statements a connection runs, as the engine reports them. Used once
// per operation to prove that the floor runs exactly the statements the
// window ran; never while timing.
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

QStringList traced(sqlite3 *db, const std::function<void()> &run)
{
    g_traced.clear();
    setTracing(db, true);
    run();
    setTracing(db, false);
    return std::exchange(g_traced, {});
}

// Every connection opened while it is registered is traced from its first
// statement.
int traceOnOpen(sqlite3 *db, char **, const void *)
{
    setTracing(db, true);
    return SQLITE_OK;
}

// Traces every connection opened during its life.
class TraceOpened
{
public:
    TraceOpened() { sqlite3_auto_extension(hook()); }
    ~TraceOpened() { sqlite3_cancel_auto_extension(hook()); }
    TraceOpened(const TraceOpened &) = delete;
    TraceOpened &operator=(const TraceOpened &) = delete;

private:
    static void (*hook())() { return reinterpret_cast<void (*)()>(traceOnOpen); }
};

} // namespace

// One connection to the file and the statements it keeps prepared.
class SqliteEngine
{
public:
    explicit SqliteEngine(const QString &path) : m_connection(path)
    {
        data::useDrugFile(m_connection);
        m_connection.open();
    }

    sqlite3 *db() { return m_connection.handle(); }
    // The search index's statements go through the program's own
    // SearchIndex on this connection: they are SQL plus a loop over a few
    // bitmaps.
    data::Connection &connection() { return m_connection; }

    sqlite3_stmt *cached(const QString &sql)
    {
        auto it = m_cache.find(sql);
        if (it == m_cache.end())
            it = m_cache.emplace(sql, prepare(sql)).first;
        return it->second.get();
    }

    StatementHandle prepare(const QString &sql)
    {
        const QByteArray utf8 = sql.toUtf8();
        sqlite3_stmt *statement = nullptr;
        if (sqlite3_prepare_v2(db(), utf8.constData(), int(utf8.size()), &statement, nullptr) != SQLITE_OK)
            fail(QStringLiteral("prepare failed: %1: %2").arg(sql, QString::fromUtf8(sqlite3_errmsg(db()))));
        return StatementHandle(statement);
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
        int rc;
        {
            StatementHandle s = prepare(sql);
            if (binds)
                binds(s.get());
            rc = sqlite3_step(s.get());
        }
        if (rc != SQLITE_DONE && rc != SQLITE_ROW)
            fail(QStringLiteral("%1 failed: %2").arg(sql, QString::fromUtf8(sqlite3_errmsg(db()))));
    }

    unsigned sink() const { return m_sink; }

private:
    data::Connection m_connection;
    // After the connection, so that the statements go first.
    std::map<QString, StatementHandle> m_cache;
    unsigned m_sink = 0;
};

SqliteFloor::SqliteFloor(QString path) : m_path(std::move(path)) {}

SqliteFloor::~SqliteFloor() = default;

SqliteEngine &SqliteFloor::engine()
{
    if (!m_engine)
        m_engine = std::make_unique<SqliteEngine>(m_path);
    return *m_engine;
}

void SqliteFloor::startup()
{
    // The open is part of a start.
    SqliteEngine fresh(m_path);
    QList<QByteArray> codes;
    {
        sqlite3_stmt *s = fresh.cached(data::sql::categories());
        while (sqlite3_step(s) == SQLITE_ROW) {
            codes << QByteArray(reinterpret_cast<const char *>(sqlite3_column_text(s, 0)), sqlite3_column_bytes(s, 0));
            sqlite3_column_text(s, 1);
        }
        sqlite3_reset(s);
    }
    sqlite3_stmt *drugs = fresh.cached(data::sql::categoryDrugs());
    for (const QByteArray &code : codes) {
        sqlite3_bind_text(drugs, 1, code.constData(), int(code.size()), SQLITE_TRANSIENT);
        fresh.readAll(drugs);
    }
    QByteArray firstTopic;
    fresh.readAll(fresh.cached(data::sql::helpTopics()), &firstTopic);
    if (!firstTopic.isNull()) {
        sqlite3_stmt *help = fresh.cached(editable(data::sql::helpText()));
        sqlite3_bind_text(help, 1, firstTopic.constData(), int(firstTopic.size()), SQLITE_TRANSIENT);
        fresh.readAll(help);
    }
    fresh.readAll(fresh.cached(data::sql::categoryList()));
}

int SqliteFloor::sheet(qint64 id)
{
    sqlite3_stmt *s = engine().cached(data::sql::sheet());
    SqliteEngine::bind(s, 1, id);
    return engine().readAll(s);
}

int SqliteFloor::nameSearch(const QString &name)
{
    sqlite3_stmt *s = engine().cached(data::sql::byName());
    SqliteEngine::bind(s, 1, name);
    QByteArray id;
    if (engine().readAll(s, &id) == 0)
        return 0;
    return sheet(id.toLongLong());
}

int SqliteFloor::search(const QStringList &texts)
{
    const CombinedQuery query(texts);
    sqlite3_stmt *s = engine().cached(query.sql(engine().connection()));
    for (const auto &[name, value] : query.parameters()) {
        if (const int index = sqlite3_bind_parameter_index(s, (QLatin1Char(':') + name).toUtf8().constData()))
            SqliteEngine::bind(s, index, value);
    }
    QByteArray first;
    const int rows = engine().readAll(s, &first);
    if (rows > 0)
        sheet(first.toLongLong());
    return rows;
}

void SqliteFloor::record(const QString &name)
{
    sqlite3_stmt *s = engine().cached(editable(data::sql::record()));
    SqliteEngine::bind(s, 1, name);
    engine().readAll(s);
}

void SqliteFloor::beginSaves(const QString &update, const QString &readBack, const Drug &drug)
{
    if (sqlite3_bind_parameter_count(engine().cached(update)) != 5)
        fail(QStringLiteral("save: not the update the floor expects: %1").arg(update));
    m_update = update;
    m_readBack = readBack;
    m_saved = drug;
    StatementHandle s = engine().prepare(QStringLiteral("select 附注 from DRUG_ZB where ID = ?"));
    SqliteEngine::bind(s.get(), 1, drug.id);
    if (sqlite3_step(s.get()) == SQLITE_ROW)
        m_savedRemarks = QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(s.get(), 0)));
}

void SqliteFloor::save(const QString &remarks)
{
    SqliteEngine &e = engine();
    e.once(data::Connection::beginSql());
    sqlite3_stmt *u = e.cached(m_update);
    SqliteEngine::bind(u, 1, m_saved.name);
    SqliteEngine::bind(u, 2, remarks);
    SqliteEngine::bind(u, 3, m_saved.id);
    SqliteEngine::bind(u, 4, m_saved.name);
    SqliteEngine::bind(u, 5, m_savedRemarks);
    e.readAll(u);
    if (sqlite3_changes(e.db()) != 1)
        fail(QStringLiteral("floor save wrote nothing"));
    sqlite3_stmt *r = e.cached(m_readBack);
    SqliteEngine::bind(r, 1, m_saved.id);
    e.readAll(r);
    data::SearchIndex(e.connection()).update();
    e.once(data::Connection::commitSql());
    m_savedRemarks = remarks;
}

void SqliteFloor::remove(qint64 id)
{
    SqliteEngine &e = engine();
    e.once(data::Connection::beginSql());
    e.once(data::sql::deleteDrug(), [id](sqlite3_stmt *s) { SqliteEngine::bind(s, 1, id); });
    data::SearchIndex(e.connection()).update();
    e.once(data::Connection::commitSql());
}

qint64 SqliteFloor::insert(const QString &category, const QString &name, const QString &remarks)
{
    SqliteEngine &e = engine();
    {
        StatementHandle s = e.prepare(QStringLiteral("INSERT INTO DRUG_ZB (LB, 药物名称, 附注) VALUES (?, ?, ?)"));
        SqliteEngine::bind(s.get(), 1, category);
        SqliteEngine::bind(s.get(), 2, name);
        SqliteEngine::bind(s.get(), 3, remarks);
        sqlite3_step(s.get());
    }
    const qint64 id = sqlite3_last_insert_rowid(e.db());
    data::SearchIndex(e.connection()).update();
    return id;
}

std::vector<Drug> SqliteFloor::drugs()
{
    std::vector<Drug> all;
    StatementHandle s = engine().prepare(QStringLiteral("select ID, 药物名称 from DRUG_ZB order by ID"));
    while (sqlite3_step(s.get()) == SQLITE_ROW)
        all.push_back({sqlite3_column_int64(s.get(), 0),
                       QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(s.get(), 1)))});
    return all;
}

qint64 SqliteFloor::scalar(const QString &sql, const QVariantList &values)
{
    StatementHandle s = engine().prepare(sql);
    for (int i = 0; i < values.size(); ++i) {
        if (values[i].typeId() == QMetaType::LongLong)
            SqliteEngine::bind(s.get(), i + 1, values[i].toLongLong());
        else
            SqliteEngine::bind(s.get(), i + 1, values[i].toString());
    }
    return sqlite3_step(s.get()) == SQLITE_ROW ? sqlite3_column_int64(s.get(), 0) : -1;
}

QStringList SqliteFloor::traceFloor(const std::function<void()> &run)
{
    return traced(engine().db(), run);
}

QStringList SqliteFloor::traceWindow(TFormMain &form, const std::function<void()> &run)
{
    return traced(form.MainConnection.handle(), run);
}

QStringList SqliteFloor::traceOpened(const std::function<void()> &run)
{
    g_traced.clear();
    {
        TraceOpened tracing;
        run();
    }
    return std::exchange(g_traced, {});
}

unsigned SqliteFloor::sink() const
{
    return m_engine ? m_engine->sink() : 0;
}

} // namespace bench
