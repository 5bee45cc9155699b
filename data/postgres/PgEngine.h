#pragma once

#include "data/Engine.h"
#include "data/postgres/PgConnection.h"
#include "data/postgres/PgStatement.h"

#include <map>
#include <memory>
#include <utility>

namespace data::pg {

class PgNotifier;

// The drug tables on a PostgreSQL server. Connecting waits 5 s at most; the
// tables' layout is brought up to date on connect where this role owns them
// (Schema::prepare). A server that went away is reached again at the next
// statement, and then everything is reported changed.
class PgEngine : public Engine
{
public:
    explicit PgEngine(QString conninfo);
    ~PgEngine() override;

    bool isServer() const override { return true; }
    void open() override;
    bool isOpen() const override { return m_connection.isOpen() && !m_connection.isBroken(); }
    void close() override;

    Query &cached(const QString &sql) override;
    std::unique_ptr<Query> prepare(const QString &sql) override;
    void begin() override;
    void commit() override;
    void rollback() override;

    QString sql(Sql which) const override { return statement(which); }
    static QString statement(Sql which);
    QString rowKey(const QString &table) const override;
    QString sameValueTest(const QString &column, const QString &parameter) const override;
    QString insertSql(const QString &table, const QStringList &columns) const override;
    qint64 insertedKey(Query &insert) override;
    qint64 tableRows(const QString &table) override;

    QString containsTest(const QString &column, const QString &parameter, const QString &typed,
                         QString &pattern) const override;
    QString listOrder() const override;
    QString narrow(const std::vector<SearchCriterion> &criteria, const QString &tests,
                   Parameters &parameters) override;
    // The saved drug's name keys, in the save's transaction.
    void afterDrugWrite() override;
    bool nameKeysUsable() override;

    void watchChanges(std::function<void(const DatabaseChanges &)> onChange) override;

    Connection &connection() { return m_connection; }

private:
    QString m_conninfo;
    Connection m_connection;
    int m_version = 0;
    bool m_nameKeys = false;   // current: made by this program's readings
    bool m_writeKeys = false;  // this role may write them
    bool m_inTransaction = false;
    bool m_openedBefore = false;
    std::map<QString, std::unique_ptr<PgStatement>> m_cache;
    // Whether the search index narrows a box to these keys, as the planner
    // judged from ANALYZE's statistics, which a few writes hardly move:
    // asked once per box and keys rather than twice on every search.
    std::map<std::pair<int, QByteArray>, bool> m_selective;
    std::function<void(const DatabaseChanges &)> m_onChange;
    std::unique_ptr<PgNotifier> m_notifier;
};

} // namespace data::pg
