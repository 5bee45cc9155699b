#pragma once

#include "data/Engine.h"
#include "data/Statement.h"

#include <map>

namespace data {

class Connection;

// The drug file: an SQLCipher database keyed with a fixed password. Other
// programs may have it open at the same time, so a lock held by one of them
// makes us wait a little before failing.
class SqliteEngine : public Engine
{
public:
    static constexpr int BusyTimeoutMs = 3000;
    using OpenStep = std::function<void(sqlite3 *)>;

    // `owner` is the connection the search index works through.
    SqliteEngine(Connection &owner, QString path, OpenStep openStep);
    ~SqliteEngine() override;

    bool isServer() const override { return false; }
    // Opens the file and proves the key by reading the schema.
    void open() override;
    bool isOpen() const override { return m_db != nullptr; }
    void close() override;

    Query &cached(const QString &sql) override { return statement(sql); }
    Statement &statement(const QString &sql);
    std::unique_ptr<Query> prepare(const QString &sql) override;
    void begin() override;
    void commit() override;
    void rollback() override;

    QString sql(Sql which) const override { return statement(which); }
    static QString statement(Sql which);
    QString rowKey(const QString &) const override { return QStringLiteral("rowid"); }
    QString sameValueTest(const QString &column, const QString &parameter) const override;
    QString insertSql(const QString &table, const QStringList &columns) const override;
    qint64 insertedKey(Query &insert) override;
    qint64 tableRows(const QString &table) override;

    QString containsTest(const QString &column, const QString &parameter, const QString &typed,
                         QString &pattern) const override;
    QString listOrder() const override { return QStringLiteral("LB,ID"); }
    QString narrow(const std::vector<SearchCriterion> &criteria, const QString &tests, Parameters &) override;
    void afterDrugWrite() override;
    bool nameKeysUsable() override;

    sqlite3 *sqliteHandle() override { return m_db; }

    // Key a freshly opened handle and fix the cipher settings, so that the
    // same file opens with SQLCipher 3 and 4.
    static void applyKey(sqlite3 *db);
    static const char *password();

private:
    struct Closer { void operator()(sqlite3 *db) const; };

    void run(const QString &sql);

    Connection &m_owner;
    QString m_path;
    OpenStep m_openStep;
    std::unique_ptr<sqlite3, Closer> m_holder;
    sqlite3 *m_db = nullptr;
    std::map<QString, std::unique_ptr<Statement>> m_cache;
};

} // namespace data
