#pragma once

#include "data/DatabaseChanges.h"
#include "data/postgres/PgConnection.h"

#include <QObject>
#include <QString>
#include <QTimer>
#include <memory>

class QSocketNotifier;

namespace data::pg {

// Hears the server's notices of change (LISTEN zelkano) on a connection of
// its own, so that they never wait behind a statement of the window's, and
// reports them gathered: a burst of changes is one report, well within a
// second. A lost server is tried again every few seconds; once it is back,
// everything is reported changed, since notices may have been missed.
class PgNotifier : public QObject
{
    Q_OBJECT

public:
    static constexpr int GatherMs = 100;
    static constexpr int RetryMs = 3000;

    explicit PgNotifier(QObject *parent = nullptr);
    ~PgNotifier() override;

    // Starts listening; a server that cannot be reached now is tried again.
    void start(const QString &conninfo);
    void stop();
    bool listening() const { return m_connection.isOpen(); }

    // "drug_zb 1,2", "drug_zb", "drug_lb", ... as the triggers send them.
    static DatabaseChanges parse(const QString &payload);

signals:
    void changed(const data::DatabaseChanges &changes);

private:
    void connectNow();
    void readNotices();
    void lose();

    QString m_conninfo;
    Connection m_connection;
    std::unique_ptr<QSocketNotifier> m_socket;
    DatabaseChanges m_pending;
    QTimer m_gather;
    QTimer m_retry;
};

} // namespace data::pg
