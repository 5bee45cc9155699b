#include "data/Connection.h"
#include "data/DataSet.h"
#include "data/DbError.h"

#include <QFileInfo>
#include <QStringList>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <sqlite3.h>

namespace data {

namespace {

QString engineText(sqlite3 *db, int rc)
{
    return db ? QString::fromUtf8(sqlite3_errmsg(db)) : QString::fromUtf8(sqlite3_errstr(rc));
}

void run(sqlite3 *db, const char *sql)
{
    char *error = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &error) != SQLITE_OK) {
        const QString text = error ? QString::fromUtf8(error) : engineText(db, SQLITE_ERROR);
        sqlite3_free(error);
        throw DbError(text);
    }
}

} // namespace

void Connection::Closer::operator()(sqlite3 *db) const
{
    // _v2 so that a statement still alive defers the deallocation.
    sqlite3_close_v2(db);
}

Connection::Connection(QString path) : m_path(std::move(path)) {}

Connection::~Connection()
{
    close();
}

const char *Connection::password()
{
    return "52047316";
}

void Connection::applyKey(sqlite3 *db)
{
    const char *key = password();
    if (sqlite3_key(db, key, int(strlen(key))) != SQLITE_OK)
        throw DbError(engineText(db, SQLITE_ERROR));
    QByteArray version;
    sqlite3_exec(db, "PRAGMA cipher_version;", [](void *out, int, char **values, char **) {
        if (values[0])
            *static_cast<QByteArray *>(out) = values[0];
        return 0;
    }, &version, nullptr);
    if (version.startsWith('4')) {
        run(db, "PRAGMA cipher_compatibility = 3;");
    } else {
        // The SQLCipher 3 defaults, stated so that they never drift.
        run(db, "PRAGMA kdf_iter = 64000;");
        run(db, "PRAGMA cipher_page_size = 1024;");
        run(db, "PRAGMA cipher_use_hmac = ON;");
    }
}

void Connection::open()
{
    close();
    sqlite3 *db = nullptr;
    const int rc = sqlite3_open_v2(QFileInfo(m_path).absoluteFilePath().toUtf8().constData(), &db,
                                   SQLITE_OPEN_READWRITE, nullptr);
    std::unique_ptr<sqlite3, Closer> holder(db);
    if (rc != SQLITE_OK)
        throw DbError(engineText(db, rc));
    applyKey(db);
    sqlite3_busy_timeout(db, BusyTimeoutMs);
    // A wrong key or a file that is no database fails here, not at the first query.
    int objects = 0;
    char *error = nullptr;
    if (sqlite3_exec(db, "SELECT count(*) FROM sqlite_master;", [](void *out, int, char **values, char **) {
            *static_cast<int *>(out) = values[0] ? atoi(values[0]) : 0;
            return 0;
        }, &objects, &error) != SQLITE_OK) {
        const QString text = error ? QString::fromUtf8(error) : engineText(db, SQLITE_ERROR);
        sqlite3_free(error);
        throw DbError(text);
    }
    // The engine takes an empty file for an empty database; for us it is a
    // damaged one (a copy cut off at nothing), and must fail here as well.
    if (objects == 0)
        throw DbError(QStringLiteral("文件中没有任何数据表，不是完整的数据库"));
    sqlite3_extended_result_codes(db, 1);
    if (m_openStep)
        m_openStep(db);
    m_holder = std::move(holder);
    m_db = m_holder.get();
}

void Connection::close()
{
    if (!m_db)
        return;
    for (DataSet *dataSet : std::vector<DataSet *>(m_dataSets))
        dataSet->close();
    m_cache.clear();
    m_afterCommit.clear();
    m_inTransaction = false;
    m_db = nullptr;
    m_holder.reset();
}

sqlite3 *Connection::handle()
{
    if (!m_db)
        open();
    return m_db;
}

void Connection::beginTransaction()
{
    if (m_inTransaction)
        throw DbError(QStringLiteral("已有一个事务正在进行"));
    // IMMEDIATE takes the write lock at once, so a busy database is waited
    // for here rather than failing half-way through the writes.
    execute(beginSql());
    m_inTransaction = true;
}

void Connection::commitTransaction()
{
    if (!m_inTransaction)
        throw DbError(QStringLiteral("没有正在进行的事务"));
    execute(commitSql());
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
    // The engine may already have rolled back by itself (a full disk, an I/O error).
    if (m_db && !sqlite3_get_autocommit(m_db))
        execute(QStringLiteral("ROLLBACK"));
}

void Connection::afterCommit(std::function<void()> action)
{
    if (m_inTransaction)
        m_afterCommit.push_back(std::move(action));
    else
        action();
}

Statement &Connection::cached(const QString &sql)
{
    sqlite3 *db = handle();
    auto it = m_cache.find(sql);
    if (it == m_cache.end())
        it = m_cache.emplace(sql, std::make_unique<Statement>(db, sql)).first;
    it->second->reset();
    return *it->second;
}

void Connection::execute(const QString &sql)
{
    Statement statement(handle(), sql);
    while (statement.step()) {
    }
}

qint64 Connection::tableRows(const QString &table)
{
    static const QStringList tables{QStringLiteral("DRUG_LB"), QStringLiteral("DRUG_ZB"), QStringLiteral("HELP_LB"),
                                    QStringLiteral("HELP_ZB")};
    if (!tables.contains(table))
        throw DbError(QStringLiteral("没有表 %1").arg(table));
    // A table's name cannot be bound; it is one of the fixed four.
    Statement count(handle(), QStringLiteral("SELECT count(*) FROM ") + table);
    return count.step() ? count.int64(0) : 0;
}

qint64 Connection::lastInsertRowId() const
{
    return m_db ? sqlite3_last_insert_rowid(m_db) : 0;
}

int Connection::changes() const
{
    return m_db ? sqlite3_changes(m_db) : 0;
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
