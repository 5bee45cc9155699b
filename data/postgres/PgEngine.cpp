#include "data/postgres/PgEngine.h"
#include "data/DrugFields.h"
#include "data/postgres/PgNameKeys.h"
#include "data/postgres/PgNotifier.h"
#include "data/postgres/PgSchema.h"
#include "data/postgres/PgSearch.h"

#include <QTimer>

namespace data::pg {

PgEngine::PgEngine(QString conninfo) : m_conninfo(std::move(conninfo)) {}

PgEngine::~PgEngine() = default;

void PgEngine::open()
{
    m_cache.clear();
    m_selective.clear();
    m_connection.open(m_conninfo);
    m_version = Schema::prepare(m_connection);
    m_inTransaction = false;
    m_nameKeys = m_version >= 2 && namekeys::current(m_connection);
    m_writeKeys = m_version >= 2 && namekeys::writable(m_connection);
    // Keys made from other readings (another build's) are made anew by the
    // role that owns the tables; any other uses names alone meanwhile.
    if (m_version == Schema::Version && !m_nameKeys && Schema::ownsTables(m_connection)) {
        Transaction transaction(m_connection);
        // Two programs connecting at once make them once.
        m_connection.execScript(QStringLiteral("SELECT pg_advisory_xact_lock(hashtext('zelkano_schema'))"));
        if (!namekeys::current(m_connection))
            namekeys::rebuild(m_connection);
        transaction.commit();
        m_nameKeys = true;
    }
    if (m_onChange && !m_notifier)
        watchChanges(m_onChange);
    // Whatever changed while the server was out of reach was not heard.
    if (std::exchange(m_openedBefore, true) && m_onChange && m_notifier)
        QTimer::singleShot(0, m_notifier.get(), [this] { m_onChange(DatabaseChanges::everything()); });
}

void PgEngine::close()
{
    m_cache.clear();
    m_notifier.reset();
    m_connection.close();
}

Query &PgEngine::cached(const QString &sql)
{
    auto it = m_cache.find(sql);
    if (it == m_cache.end())
        it = m_cache.emplace(sql, std::make_unique<PgStatement>(m_connection, sql)).first;
    it->second->reset();
    return *it->second;
}

std::unique_ptr<Query> PgEngine::prepare(const QString &sql)
{
    return std::make_unique<PgStatement>(m_connection, sql);
}

void PgEngine::begin()
{
    m_connection.execScript(QStringLiteral("BEGIN"));
    m_inTransaction = true;
}

void PgEngine::commit()
{
    // The server answers COMMIT on a failed transaction with a roll-back,
    // not an error: that must not pass for a success.
    m_inTransaction = false;
    if (m_connection.execScript(QStringLiteral("COMMIT")).commandTag() != "COMMIT")
        throw PgError(QStringLiteral("事务已被服务器回滚"), {});
}

void PgEngine::rollback()
{
    m_inTransaction = false;
    if (!m_connection.isBroken())
        m_connection.execScript(QStringLiteral("ROLLBACK"));
}

QString PgEngine::statement(Sql which)
{
    // The file returns rows in the order they were added, and equal names
    // or codes (Latin letters in either case) by ID: so do these.
    switch (which) {
    case Sql::Categories: return QStringLiteral("select BM,MC from DRUG_LB order by ROWID");
    case Sql::DrugsOfCategory:
        return QStringLiteral("select ID,药物名称 from DRUG_ZB where zelkano_fold(LB)=zelkano_fold(:lb) order by ID");
    case Sql::CategoryTree:
        // Codes are unique as they fold, so each drug sits under one category at most.
        return QStringLiteral("select L.ROWID as LB_KEY,L.BM,L.MC,Z.ID,Z.药物名称 from DRUG_LB L"
                              " left join DRUG_ZB Z on zelkano_fold(Z.LB)=zelkano_fold(L.BM)"
                              " order by L.ROWID,Z.ID");
    case Sql::DrugIdByName:
        return QStringLiteral("select ID from DRUG_ZB where zelkano_fold(药物名称)=zelkano_fold(:name) order by ID");
    case Sql::DrugRecordByName:
        return QStringLiteral("select * from DRUG_ZB where zelkano_fold(药物名称)=zelkano_fold(:name) order by ID");
    case Sql::CategoryList: return QStringLiteral("select * from DRUG_LB order by ROWID");
    case Sql::HelpTopics: return QStringLiteral("select BM,MC from HELP_LB order by ROWID");
    case Sql::HelpText:
        return QStringLiteral("select * from HELP_ZB where zelkano_fold(LB)=zelkano_fold(:lb) order by ROWID");
    }
    return {};
}

QString PgEngine::rowKey(const QString &table) const
{
    return table.compare(QLatin1String("DRUG_ZB"), Qt::CaseInsensitive) == 0 ? QStringLiteral("ID")
                                                                            : QStringLiteral("ROWID");
}

QString PgEngine::sameValueTest(const QString &column, const QString &parameter) const
{
    // Text compares byte for byte under the columns' "C" collation.
    return column + QStringLiteral(" IS NOT DISTINCT FROM ") + parameter;
}

QString PgEngine::insertSql(const QString &table, const QStringList &columns) const
{
    const QString returning = QStringLiteral(" RETURNING ") + rowKey(table);
    if (columns.isEmpty())
        return QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(table) + returning;
    return QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
               .arg(table, columns.join(QLatin1Char(',')), QStringList(columns.size(), QStringLiteral("?")).join(QLatin1Char(',')))
           + returning;
}

qint64 PgEngine::insertedKey(Query &insert)
{
    return insert.int64(0);
}

qint64 PgEngine::tableRows(const QString &table)
{
    // A table's name cannot be bound; Connection allows the fixed four alone.
    return m_connection.exec(QStringLiteral("SELECT count(*) FROM ") + table).int64(0, 0);
}

QString PgEngine::containsTest(const QString &column, const QString &parameter, const QString &typed,
                               QString &pattern) const
{
    pattern = QLatin1Char('%') + typed + QLatin1Char('%');
    return likeTest(column, parameter, pattern);
}

QString PgEngine::listOrder() const
{
    return QStringLiteral("zelkano_fold(LB) NULLS FIRST,ID");
}

QString PgEngine::narrow(const std::vector<SearchCriterion> &criteria, const QString &tests, Parameters &parameters)
{
    if (m_version < 1)
        return tests;
    QString narrowed;
    double drugs = -1;
    for (const SearchCriterion &c : criteria) {
        const QStringList keys = requiredKeys(c.typed);
        if (keys.isEmpty())
            continue;
        const QByteArray array = arrayLiteral(keys);
        const auto test = [&](const QString &parameter) {
            QStringList either;
            for (const QString &column : boxColumns(c.box))
                either << holdsKeysTest(column, parameter);
            return QLatin1Char('(') + either.join(QStringLiteral(" or ")) + QLatin1Char(')');
        };
        // Only where the server expects the keys to name few rows: a bitmap
        // over most of the table costs more than reading it.
        constexpr std::size_t Remembered = 4096;
        if (m_selective.size() >= Remembered)
            m_selective.clear();
        auto known = m_selective.find({c.box, array});
        if (known == m_selective.end()) {
            if (drugs < 0)
                drugs = drugCount(m_connection);
            const bool few = estimatedRows(m_connection, test(QStringLiteral("$1")), {array}) <= SelectiveShare * drugs;
            known = m_selective.emplace(std::pair{c.box, array}, few).first;
        }
        if (!known->second)
            continue;
        const QString name = QStringLiteral("k%1").arg(c.box);
        narrowed += test(QLatin1Char(':') + name) + QStringLiteral(" and ");
        parameters.emplace_back(name, QString::fromUtf8(array));
    }
    return narrowed + tests;
}

void PgEngine::afterDrugWrite()
{
    // The save's row was queued by the trigger in this transaction.
    if (m_nameKeys && m_writeKeys)
        namekeys::fold(m_connection);
}

bool PgEngine::nameKeysUsable()
{
    if (!m_nameKeys)
        return false;
    // What other clients wrote is queued; a role that may not write the
    // keys finds those drugs by their names alone.
    if (m_writeKeys && namekeys::anyDirty(m_connection)) {
        if (m_inTransaction) {
            namekeys::fold(m_connection);
        } else {
            Transaction transaction(m_connection);
            namekeys::fold(m_connection);
            transaction.commit();
        }
    }
    return true;
}

void PgEngine::watchChanges(std::function<void(const DatabaseChanges &)> onChange)
{
    m_onChange = std::move(onChange);
    if (!m_connection.isOpen() || !m_onChange)
        return;
    m_notifier = std::make_unique<PgNotifier>();
    QObject::connect(m_notifier.get(), &PgNotifier::changed, m_notifier.get(),
                     [this](const DatabaseChanges &changes) { m_onChange(changes); });
    m_notifier->start(m_conninfo);
}

} // namespace data::pg
