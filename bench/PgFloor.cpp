#include "PgFloor.h"
#include "data/DataSet.h"
#include "data/DbError.h"
#include "data/WindowSql.h"
#include "lookup/CombinedQuery.h"

namespace bench {

namespace {

// The window's update of a saved record: the fields it changed, tested
// against what it read, as the record set writes them on a server.
const QString SaveUpdate = QStringLiteral("UPDATE DRUG_ZB SET 药物名称 = ?1, 附注 = ?2 WHERE ID = ?3 "
                                          "AND 药物名称 IS NOT DISTINCT FROM ?4 AND 附注 IS NOT DISTINCT FROM ?5");

} // namespace

PgFloor::PgFloor(QString conninfo) : m_conninfo(std::move(conninfo)) {}

PgFloor::~PgFloor() = default;

data::Connection &PgFloor::connection()
{
    if (!m_connection) {
        m_connection = std::make_unique<data::Connection>();
        m_connection->setServer(m_conninfo);
        m_connection->open();
    }
    return *m_connection;
}

int PgFloor::readAll(data::Query &query, QString *first)
{
    int rows = 0;
    while (query.step()) {
        for (int c = 0; c < query.columnCount(); ++c)
            m_sink += unsigned(query.text(c).size());
        if (rows == 0 && first)
            *first = query.text(0);
        ++rows;
    }
    query.reset();
    return rows;
}

void PgFloor::startup()
{
    // The open is part of a start.
    data::Connection fresh;
    fresh.setServer(m_conninfo);
    fresh.open();
    readAll(fresh.query(fresh.sql(data::Sql::CategoryTree)));
    QString firstTopic;
    if (readAll(fresh.query(fresh.sql(data::Sql::HelpTopics)), &firstTopic) > 0) {
        data::Query &help = fresh.query(data::DataSet::withRowId(fresh.sql(data::Sql::HelpText), QStringLiteral("ROWID")));
        help.bind(1, firstTopic);
        readAll(help);
    }
    readAll(fresh.query(fresh.sql(data::Sql::CategoryList)));
}

int PgFloor::sheet(qint64 id)
{
    data::Query &q = connection().query(data::sql::sheet());
    q.bind(1, id);
    return readAll(q);
}

int PgFloor::nameSearch(const QString &name)
{
    data::Query &q = connection().query(connection().sql(data::Sql::DrugIdByName));
    q.bind(1, name);
    QString id;
    if (readAll(q, &id) == 0)
        return 0;
    return sheet(id.toLongLong());
}

int PgFloor::search(const QStringList &texts)
{
    CombinedQuery query(texts);
    data::Query &q = connection().query(query.fullSql(connection()));
    const data::Parameters &parameters = query.parameters();
    for (int i = 1; i <= q.parameterCount(); ++i) {
        for (const auto &[name, value] : parameters)
            if (name == q.parameterName(i))
                q.bind(i, value);
    }
    QString first;
    const int rows = readAll(q, &first);
    if (rows > 0)
        sheet(first.toLongLong());
    return rows;
}

void PgFloor::record(const QString &name)
{
    data::Query &q = connection().query(data::DataSet::withRowId(connection().sql(data::Sql::DrugRecordByName), QStringLiteral("ID")));
    q.bind(1, name);
    readAll(q);
}

void PgFloor::beginSaves(const QString &, const QString &, const Drug &drug)
{
    m_saved = drug;
    data::Query &q = connection().query(QStringLiteral("select 附注 from DRUG_ZB where ID = ?"));
    q.bind(1, drug.id);
    m_savedRemarks = q.step() ? q.text(0) : QString();
    q.reset();
}

void PgFloor::save(const QString &remarks)
{
    data::Connection &c = connection();
    data::Transaction transaction(c);
    data::Query &u = c.query(SaveUpdate);
    u.bind(1, m_saved.name);
    u.bind(2, remarks);
    u.bind(3, m_saved.id);
    u.bind(4, m_saved.name);
    u.bind(5, m_savedRemarks);
    u.step();
    const qint64 changed = u.changes();
    u.reset();
    if (changed != 1)
        throw data::DbError(QStringLiteral("floor save wrote nothing"));
    sheet(m_saved.id); // the read-back
    transaction.commit();
    m_savedRemarks = remarks;
}

void PgFloor::remove(qint64 id)
{
    data::Connection &c = connection();
    data::Transaction transaction(c);
    data::Query &d = c.query(data::sql::deleteDrug());
    d.bind(1, id);
    d.step();
    d.reset();
    transaction.commit();
}

qint64 PgFloor::insert(const QString &category, const QString &name, const QString &remarks)
{
    data::Query &q = connection().query(QStringLiteral("INSERT INTO DRUG_ZB (LB, 药物名称, 附注) VALUES (?, ?, ?) RETURNING ID"));
    q.bind(1, category);
    q.bind(2, name);
    q.bind(3, remarks);
    const qint64 id = q.step() ? q.int64(0) : -1;
    q.reset();
    return id;
}

std::vector<Drug> PgFloor::drugs()
{
    std::vector<Drug> all;
    data::Query &q = connection().query(QStringLiteral("select ID, 药物名称 from DRUG_ZB order by ID"));
    while (q.step())
        all.push_back({q.int64(0), q.text(1)});
    q.reset();
    return all;
}

qint64 PgFloor::scalar(const QString &sql, const QVariantList &values)
{
    data::Query &q = connection().query(sql);
    for (int i = 0; i < values.size(); ++i) {
        if (values[i].typeId() == QMetaType::LongLong)
            q.bind(i + 1, values[i].toLongLong());
        else
            q.bind(i + 1, values[i].toString());
    }
    const qint64 value = q.step() ? q.int64(0) : -1;
    q.reset();
    return value;
}

QStringList PgFloor::traceFloor(const std::function<void()> &run)
{
    run();
    return {};
}

QStringList PgFloor::traceWindow(TFormMain &, const std::function<void()> &run)
{
    run();
    return {};
}

QStringList PgFloor::traceOpened(const std::function<void()> &run)
{
    run();
    return {};
}

} // namespace bench
