#pragma once

#include "data/Statement.h"

#include <QString>
#include <functional>
#include <memory>
#include <QHash>
#include <map>
#include <vector>

struct sqlite3;

namespace data {

class DataSet;

// The program's one database connection. The file is an SQLCipher database
// keyed with a fixed password; other programs may have it open at the same
// time, so a lock held by one of them makes us wait a little before failing.
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

    // Opens the file and proves the key by reading the schema. Throws DbError
    // with the engine's reason alone; the caller says what failed.
    void open();
    // Closes every dataset on the connection first, dropping their changes.
    void close();
    bool isOpen() const { return m_db != nullptr; }

    // What every handle this connection opens goes through before it is
    // used, the opens on demand included: the drug file's own step
    // (DrugFile.h) registers our functions and upgrades an older file.
    using OpenStep = std::function<void(sqlite3 *)>;
    void setOpenStep(OpenStep step) { m_openStep = std::move(step); }

    // The handle, opening the connection on demand. For the data layer,
    // its tests and tools; the pages go through datasets.
    sqlite3 *handle();

    // What beginTransaction() and commitTransaction() run.
    static QString beginSql() { return QStringLiteral("BEGIN IMMEDIATE"); }
    static QString commitSql() { return QStringLiteral("COMMIT"); }
    void beginTransaction();
    void commitTransaction();
    void rollbackTransaction();
    bool inTransaction() const { return m_inTransaction; }
    // Run once the open transaction has been committed, dropped on roll-back:
    // record sets adopt what they wrote only when it is really stored.
    void afterCommit(std::function<void()> action);

    // A prepared statement kept for reuse, reset and unbound.
    Statement &cached(const QString &sql);
    void execute(const QString &sql);
    // The rows of DRUG_LB, DRUG_ZB, HELP_LB or HELP_ZB.
    qint64 tableRows(const QString &table);
    qint64 lastInsertRowId() const;
    int changes() const;

    void attach(DataSet *dataSet);
    void detach(DataSet *dataSet);

    // Key the freshly opened handle and fix the cipher settings, so that the
    // same file opens with SQLCipher 3 and 4.
    static void applyKey(sqlite3 *db);
    static const char *password();

private:
    struct Closer { void operator()(sqlite3 *db) const; };

    QString m_path;
    OpenStep m_openStep;
    std::unique_ptr<sqlite3, Closer> m_holder;
    sqlite3 *m_db = nullptr;
    bool m_inTransaction = false;
    std::vector<std::function<void()>> m_afterCommit;
    std::map<QString, std::unique_ptr<Statement>> m_cache;
    std::vector<DataSet *> m_dataSets;
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
