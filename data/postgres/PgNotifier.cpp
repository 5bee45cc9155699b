#include "data/postgres/PgNotifier.h"

#include <QSocketNotifier>

namespace data::pg {

PgNotifier::PgNotifier(QObject *parent) : QObject(parent)
{
    m_gather.setSingleShot(true);
    m_gather.setInterval(GatherMs);
    connect(&m_gather, &QTimer::timeout, this, [this] {
        const DatabaseChanges changes = std::exchange(m_pending, {});
        if (changes.any())
            emit changed(changes);
    });
    m_retry.setSingleShot(true);
    m_retry.setInterval(RetryMs);
    connect(&m_retry, &QTimer::timeout, this, [this] {
        connectNow();
        if (listening()) {
            m_pending.merge(DatabaseChanges::everything());
            m_gather.start();
        }
    });
}

PgNotifier::~PgNotifier() = default;

void PgNotifier::start(const QString &conninfo)
{
    stop();
    m_conninfo = conninfo;
    connectNow();
}

void PgNotifier::stop()
{
    m_retry.stop();
    m_gather.stop();
    m_socket.reset();
    m_connection.close();
    m_pending = {};
}

void PgNotifier::connectNow()
{
    try {
        m_connection.open(m_conninfo);
        m_connection.execScript(QStringLiteral("LISTEN zelkano"));
    } catch (const DbError &) {
        lose();
        return;
    }
    m_socket = std::make_unique<QSocketNotifier>(qintptr(m_connection.socket()), QSocketNotifier::Read);
    connect(m_socket.get(), &QSocketNotifier::activated, this, &PgNotifier::readNotices);
}

void PgNotifier::readNotices()
{
    try {
        for (const Connection::Notification &n : m_connection.takeNotifications())
            m_pending.merge(parse(n.payload));
    } catch (const DbError &) {
        lose();
        return;
    }
    if (m_pending.any() && !m_gather.isActive())
        m_gather.start();
}

void PgNotifier::lose()
{
    m_socket.reset();
    m_connection.close();
    m_retry.start();
}

DatabaseChanges PgNotifier::parse(const QString &payload)
{
    DatabaseChanges changes;
    const QString table = payload.section(QLatin1Char(' '), 0, 0);
    const QString ids = payload.section(QLatin1Char(' '), 1);
    if (table == QLatin1String("drug_zb")) {
        for (const QStringView id : QStringView(ids).split(QLatin1Char(','), Qt::SkipEmptyParts))
            changes.drugs.insert(id.toLongLong());
        changes.everyDrug = changes.drugs.isEmpty();
    } else if (table == QLatin1String("drug_lb")) {
        changes.categories = true;
    } else if (table == QLatin1String("help_lb")) {
        changes.helpTopics = true;
    } else if (table == QLatin1String("help_zb")) {
        changes.helpTexts = true;
    }
    return changes;
}

} // namespace data::pg
