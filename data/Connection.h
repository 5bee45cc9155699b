#pragma once

#include "data/DatabaseChanges.h"
#include "data/Engine.h"
#include "data/Statement.h"

#include <QString>
#include <functional>
#include <memory>
#include <vector>

struct sqlite3;

namespace data {

class DataSet;

// The program's one database connection: to the drug file, or to a drug
// server when one is named. What differs between the two is the engine's
// (Engine.h); the datasets, the searches and the pages see only this.
class Connection
{
public:
    static constexpr int BusyTimeoutMs = 3000;

    explicit Connection(QString path = {});
    ~Connection();
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    void setPath(const QString &path) { m_path = path; }
    const QString &path() const { return m_path; }
    // A server in place of the file: a libpq connection string or URI.
    // Empty: the file again.
    void setServer(const QString &conninfo);
    const QString &server() const { return m_server; }
    bool isServer() const { return !m_server.isEmpty(); }

    // Opens the file or the server. Throws DbError with the engine's reason
    // alone; the caller says what failed.
    void open();
    // Closes every dataset on the connection first, dropping their changes.
    void close();
    bool isOpen() const { return m_engine && m_engine->isOpen(); }

    // What every file handle this connection opens goes through before it
    // is used, the opens on demand included: the drug file's own step
    // (DrugFile.h) registers our functions and upgrades an older file.
    using OpenStep = std::function<void(sqlite3 *)>;
    void setOpenStep(OpenStep step) { m_openStep = std::move(step); }

    // The engine, opening the connection on demand. A server that went away
    // is reached anew here, the datasets and their edits kept.
    Engine &engine();
    // The text of one of the program's statements for this connection's
    // engine, without opening it.
    QString sql(Sql which) const;
    // The file's handle, opening on demand; for the data layer's own SQLite
    // code, its tests and tools. Throws on a server.
    sqlite3 *handle();

    // What beginTransaction() and commitTransaction() run on a file.
    // IMMEDIATE takes the write lock at once, so a busy database is waited
    // for there rather than failing half-way through the writes.
    static QString beginSql() { return QStringLiteral("BEGIN IMMEDIATE"); }
    static QString commitSql() { return QStringLiteral("COMMIT"); }
    void beginTransaction();
    void commitTransaction();
    void rollbackTransaction();
    bool inTransaction() const { return m_inTransaction; }
    // Run once the open transaction has been committed, dropped on roll-back:
    // record sets adopt what they wrote only when it is really stored.
    void afterCommit(std::function<void()> action);

    // A prepared statement kept for reuse, reset and unbound, on either engine.
    Query &query(const QString &sql);
    // The same on the file, with its engine's own interface.
    Statement &cached(const QString &sql);
    void execute(const QString &sql);
    // The rows of DRUG_LB, DRUG_ZB, HELP_LB or HELP_ZB.
    qint64 tableRows(const QString &table);
    qint64 lastInsertRowId();

    // Told of what any client changes, where the engine hears of it (a
    // server), and of everything once a lost server is reached again.
    void watchChanges(std::function<void(const DatabaseChanges &)> onChange);

    void attach(DataSet *dataSet);
    void detach(DataSet *dataSet);

    // Key a freshly opened file handle and fix the cipher settings, so that
    // the same file opens with SQLCipher 3 and 4.
    static void applyKey(sqlite3 *db);
    static const char *password();

private:
    std::unique_ptr<Engine> makeEngine();

    QString m_path;
    QString m_server;
    OpenStep m_openStep;
    std::unique_ptr<Engine> m_engine;
    bool m_inTransaction = false;
    std::vector<std::function<void()>> m_afterCommit;
    std::vector<DataSet *> m_dataSets;
    std::function<void(const DatabaseChanges &)> m_onChange;
};

// Rolls back unless committed.
class Transaction
{
public:
    explicit Transaction(Connection &connection);
    ~Transaction();
    Transaction(const Transaction &) = delete;
    Transaction &operator=(const Transaction &) = delete;
    void commit();

private:
    Connection &m_connection;
    bool m_done = false;
};

} // namespace data
