#include "data/Connection.h"
#include "data/DataSet.h"
#include "data/DbError.h"
#include "data/postgres/PgEngine.h"
#include "data/sqlite/SqliteEngine.h"

#include <QStringList>
#include <algorithm>

namespace data {

Connection::Connection(QString path) : m_path(std::move(path)) {}

Connection::~Connection()
{
    close();
}

const char *Connection::password()
{
    return SqliteEngine::password();
}

void Connection::applyKey(sqlite3 *db)
{
    SqliteEngine::applyKey(db);
}

void Connection::setServer(const QString &conninfo)
{
    close();
    m_server = conninfo;
}

std::unique_ptr<Engine> Connection::makeEngine()
{
    if (isServer())
        return std::make_unique<pg::PgEngine>(m_server);
    return std::make_unique<SqliteEngine>(*this, m_path, m_openStep);
}

void Connection::open()
{
    close();
    m_engine = makeEngine();
    if (m_onChange)
        m_engine->watchChanges(m_onChange);
    m_engine->open();
}

void Connection::close()
{
    if (!m_engine)
        return;
    for (DataSet *dataSet : std::vector<DataSet *>(m_dataSets))
        dataSet->close();
    m_afterCommit.clear();
    m_inTransaction = false;
    m_engine.reset();
}

Engine &Connection::engine()
{
    if (!m_engine) {
        open();
    } else if (!m_engine->isOpen()) {
        // Opened before (or tried): open again without closing the datasets,
        // so that what the user has typed survives a lost server.
        m_afterCommit.clear();
        m_inTransaction = false;
        m_engine->open();
    }
    return *m_engine;
}

QString Connection::sql(Sql which) const
{
    return isServer() ? pg::PgEngine::statement(which) : SqliteEngine::statement(which);
}

sqlite3 *Connection::handle()
{
    sqlite3 *db = engine().sqliteHandle();
    if (!db)
        throw DbError(QStringLiteral("数据库服务器没有文件句柄"));
    return db;
}

void Connection::beginTransaction()
{
    if (m_inTransaction)
        throw DbError(QStringLiteral("已有一个事务正在进行"));
    engine().begin();
    m_inTransaction = true;
}

void Connection::commitTransaction()
{
    if (!m_inTransaction)
        throw DbError(QStringLiteral("没有正在进行的事务"));
    engine().commit();
    m_inTransaction = false;
    auto actions = std::move(m_afterCommit);
    m_afterCommit.clear();
    for (auto &action : actions)
        action();
}

void Connection::rollbackTransaction()
{
    if (!m_inTransaction)
        throw DbError(QStringLiteral("没有正在进行的事务"));
    m_inTransaction = false;
    m_afterCommit.clear();
    if (m_engine && m_engine->isOpen())
        m_engine->rollback();
}

void Connection::afterCommit(std::function<void()> action)
{
    if (m_inTransaction)
        m_afterCommit.push_back(std::move(action));
    else
        action();
}

Query &Connection::query(const QString &sql)
{
    return engine().cached(sql);
}

Statement &Connection::cached(const QString &sql)
{
    Engine &e = engine();
    if (e.isServer())
        throw DbError(QStringLiteral("数据库服务器上没有文件的语句"));
    return static_cast<SqliteEngine &>(e).statement(sql);
}

void Connection::execute(const QString &sql)
{
    const std::unique_ptr<Query> statement = engine().prepare(sql);
    while (statement->step()) {
    }
}

qint64 Connection::tableRows(const QString &table)
{
    static const QStringList tables{QStringLiteral("DRUG_LB"), QStringLiteral("DRUG_ZB"), QStringLiteral("HELP_LB"),
                                    QStringLiteral("HELP_ZB")};
    if (!tables.contains(table))
        throw DbError(QStringLiteral("没有表 %1").arg(table));
    return engine().tableRows(table);
}

qint64 Connection::lastInsertRowId()
{
    Statement &none = cached(QStringLiteral("SELECT last_insert_rowid()"));
    return none.step() ? none.int64(0) : 0;
}

void Connection::watchChanges(std::function<void(const DatabaseChanges &)> onChange)
{
    m_onChange = std::move(onChange);
    if (m_engine)
        m_engine->watchChanges(m_onChange);
}

void Connection::attach(DataSet *dataSet)
{
    m_dataSets.push_back(dataSet);
}

void Connection::detach(DataSet *dataSet)
{
    m_dataSets.erase(std::remove(m_dataSets.begin(), m_dataSets.end(), dataSet), m_dataSets.end());
}

Transaction::Transaction(Connection &connection) : m_connection(connection)
{
    m_connection.beginTransaction();
}

Transaction::~Transaction()
{
    if (!m_done && m_connection.inTransaction()) {
        try {
            m_connection.rollbackTransaction();
        } catch (...) {
            // Nothing more can be done about a failed roll-back while unwinding.
        }
    }
}

void Transaction::commit()
{
    m_connection.commitTransaction();
    m_done = true;
}

} // namespace data
