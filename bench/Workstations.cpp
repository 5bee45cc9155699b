// "10 workstations": ten clients on the server at once, each searching and
// saving in a loop, as the window does both (CombinedQuery's statement, a
// batch-optimistic record set's save in a transaction). Each search's times
// stand beside the same search run alone; saves go to a small shared pool
// of drugs so that clients meet each other's saves, and each save appends a
// mark of its own to the 附注 it read: a mark acknowledged but missing from
// the final text is a lost update.
#include "BenchSupport.h"
#include "SearchCases.h"
#include "Worker.h"
#include "data/Connection.h"
#include "data/DataSet.h"
#include "data/DbError.h"
#include "data/DrugFields.h"
#include "lookup/CombinedQuery.h"

#include <QSet>
#include <atomic>
#include <mutex>
#include <random>
#include <thread>

namespace bench {

namespace {

constexpr int Clients = 10;
constexpr double LoadMs = 30000;
constexpr double AloneMs = 5000;
constexpr int SharedDrugs = 40;

const QString Conflict = QStringLiteral("已被其他程序修改或删除");

struct Search {
    QString operation;
    QStringList texts;
};

QList<Search> loadSearches()
{
    QList<Search> searches;
    for (const SearchCase &c : searchCases()) {
        if (!c.selective && c.text != QStringLiteral("清热"))
            continue;
        QStringList texts(data::SearchBoxCount);
        texts[c.box] = c.text;
        searches << Search{c.operation, texts};
    }
    return searches;
}

data::Connection &open(data::Connection &connection, const QString &server)
{
    connection.setServer(server);
    connection.open();
    return connection;
}

int runSearch(data::Connection &connection, const QStringList &texts)
{
    CombinedQuery query(texts);
    data::Query &q = connection.query(query.sql(connection));
    for (int i = 1; i <= q.parameterCount(); ++i) {
        for (const auto &[name, value] : query.parameters())
            if (name == q.parameterName(i))
                q.bind(i, value);
    }
    int rows = 0;
    while (q.step()) {
        q.text(0);
        ++rows;
    }
    q.reset();
    return rows;
}

// What one client saw; merged once the clients are done.
struct Tally {
    std::vector<std::vector<double>> searches; // by search
    std::vector<double> saves;
    int conflicts = 0;
    QStringList errors;
    QList<QPair<qint64, QString>> marks; // (drug, mark) of each acknowledged save
};

// One save as the entry page makes it: the record read, its 附注 edited,
// the change applied under the optimistic rule and committed.
void save(data::Connection &connection, qint64 id, const QString &mark)
{
    data::DataSet record(connection, QStringLiteral("SQL_ZB"), data::LockType::BatchOptimistic);
    record.setUpdateTable(QStringLiteral("DRUG_ZB"));
    record.setSql(QStringLiteral("select * from DRUG_ZB where ID=:id"));
    record.setParameter(QStringLiteral("id"), id);
    record.open();
    record.edit();
    record.setField(QStringLiteral("附注"), record.asString(QStringLiteral("附注")) + mark);
    data::Transaction transaction(connection);
    record.applyUpdates();
    transaction.commit();
}

void client(const QString &server, int number, const QList<Search> &searches, const std::vector<qint64> &pool,
            double until, Tally &tally)
{
    tally.searches.resize(size_t(searches.size()));
    try {
        data::Connection connection;
        open(connection, server);
        std::mt19937 random{unsigned(number)};
        for (int round = 0; nowMs() < until; ++round) {
            const int which = round % int(searches.size());
            double start = nowMs();
            runSearch(connection, searches[which].texts);
            tally.searches[size_t(which)].push_back(nowMs() - start);

            const qint64 id = pool[random() % pool.size()];
            const QString mark = QStringLiteral("[%1-%2]").arg(number).arg(round);
            start = nowMs();
            try {
                save(connection, id, mark);
                tally.saves.push_back(nowMs() - start);
                tally.marks << qMakePair(id, mark);
            } catch (const data::DbError &e) {
                if (!e.message().contains(Conflict))
                    throw;
                ++tally.conflicts; // told, as the window tells the user
            }
        }
    } catch (const std::exception &e) {
        tally.errors << QString::fromUtf8(e.what());
    }
}

} // namespace

void Worker::workstations()
{
    const QList<Search> searches = loadSearches();
    std::vector<qint64> pool;
    for (int i = 0; i < SharedDrugs; ++i)
        pool.push_back(m_sample[size_t(100 + i)].id);

    // Each search alone first, on one connection.
    progress(QStringLiteral("[%1] 10 workstations: the searches alone").arg(m_size));
    std::vector<std::vector<double>> alone(size_t(searches.size()));
    {
        data::Connection connection;
        open(connection, m_options.server);
        for (int s = 0; s < searches.size(); ++s) {
            runSearch(connection, searches[s].texts); // warm-up
            for (const double until = nowMs() + AloneMs / double(searches.size()); nowMs() < until;) {
                const double start = nowMs();
                runSearch(connection, searches[s].texts);
                alone[size_t(s)].push_back(nowMs() - start);
            }
        }
    }

    progress(QStringLiteral("[%1] 10 workstations: %2 clients for %3 s").arg(m_size).arg(Clients).arg(LoadMs / 1000));
    std::vector<Tally> tallies(Clients);
    {
        const double until = nowMs() + LoadMs;
        std::vector<std::thread> threads;
        for (int c = 0; c < Clients; ++c)
            threads.emplace_back(client, m_options.server, c, std::cref(searches), std::cref(pool), until,
                                 std::ref(tallies[size_t(c)]));
        for (std::thread &t : threads)
            t.join();
    }

    std::vector<std::vector<double>> loaded(size_t(searches.size()));
    std::vector<double> saves;
    int conflicts = 0, acknowledged = 0;
    QStringList errors;
    QMap<qint64, QStringList> marks;
    for (const Tally &t : tallies) {
        for (size_t s = 0; s < t.searches.size(); ++s)
            loaded[s].insert(loaded[s].end(), t.searches[s].begin(), t.searches[s].end());
        saves.insert(saves.end(), t.saves.begin(), t.saves.end());
        conflicts += t.conflicts;
        errors << t.errors;
        for (const auto &[id, mark] : t.marks)
            marks[id] << mark;
        acknowledged += int(t.marks.size());
    }
    // Every acknowledged save's mark must be in its drug's final text.
    int lost = 0;
    for (auto it = marks.begin(); it != marks.end(); ++it) {
        const QString text = [&] {
            data::Connection connection;
            data::Query &q = open(connection, m_options.server).query(QStringLiteral("select 附注 from DRUG_ZB where ID = ?"));
            q.bind(1, it.key());
            return q.step() ? q.text(0) : QString();
        }();
        for (const QString &mark : it.value())
            lost += !text.contains(mark);
    }
    for (const QString &e : errors)
        warn(QStringLiteral("10 workstations: %1").arg(e));
    progress(QStringLiteral("[%1] 10 workstations: %2 saves acknowledged, %3 stale saves told, %4 lost updates, %5 errors")
                 .arg(m_size).arg(acknowledged).arg(conflicts).arg(lost).arg(errors.size()));

    int searched = 0;
    for (int s = 0; s < searches.size(); ++s) {
        searched += int(loaded[size_t(s)].size());
        m_results << Result{QStringLiteral("10 workstations, ") + searches[s].operation, m_size,
                            statsOf(loaded[size_t(s)]), statsOf(alone[size_t(s)]), QStringLiteral("alone"),
                            QStringLiteral("under load, beside the same search alone")};
    }
    m_results << Result{QStringLiteral("10 workstations, save"), m_size, statsOf(saves), {}, {},
                        QStringLiteral("%1 searches, %2 saves, %3 stale saves told, %4 lost updates, %5 errors")
                            .arg(searched).arg(acknowledged).arg(conflicts).arg(lost).arg(errors.size())};
    m_workstations = {{QStringLiteral("searches"), searched},      {QStringLiteral("saves"), acknowledged},
                      {QStringLiteral("conflicts"), conflicts},    {QStringLiteral("lost_updates"), lost},
                      {QStringLiteral("errors"), int(errors.size())}};
}

} // namespace bench
