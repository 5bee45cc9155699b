#pragma once

#include "data/DbError.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

struct pg_conn;
struct pg_result;

namespace data::pg {

// A failure the server or libpq reported: its text, and the SQLSTATE where
// the server gave one ("57P01": the server is shutting down, "42501": no
// privilege, ...). Empty for a connection that failed or broke.
class PgError : public DbError
{
public:
    PgError(QString message, QByteArray sqlState) : DbError(std::move(message)), m_sqlState(std::move(sqlState)) {}
    const QByteArray &sqlState() const noexcept { return m_sqlState; }

private:
    QByteArray m_sqlState;
};

// A value bound to a statement, as UTF-8 text; nullopt is NULL.
using Param = std::optional<QByteArray>;

// The rows of one statement, every value as text.
class Result
{
public:
    Result() = default;
    int rows() const;
    int columns() const;
    QString columnName(int column) const;
    int column(const char *name) const; // -1 when absent
    bool isNull(int row, int column) const;
    QByteArray bytes(int row, int column) const;
    // The same without a copy, valid while the result lives.
    QByteArrayView view(int row, int column) const;
    QString text(int row, int column) const;
    std::optional<QString> value(int row, int column) const;
    qint64 int64(int row, int column) const;
    // Rows an INSERT, UPDATE or DELETE touched.
    qint64 affected() const;
    // "COMMIT", "ROLLBACK", "INSERT 0 1", ...
    QByteArray commandTag() const;

private:
    friend class Connection;
    struct Clear { void operator()(pg_result *result) const; };
    explicit Result(pg_result *result) : m_result(result) {}
    std::unique_ptr<pg_result, Clear> m_result;
};

// One session with a PostgreSQL server. Every value is bound, never pasted
// into the statement text; a failure throws PgError with libpq's reason.
class Connection
{
public:
    // Connecting waits this long at most, whatever the connection string says.
    static constexpr int ConnectTimeoutSeconds = 5;

    Connection() = default;
    ~Connection();
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    // conninfo is a libpq connection string or URI; the password, TLS and
    // service come from libpq's own files (~/.pgpass, pg_service.conf).
    void open(const QString &conninfo);
    void close();
    bool isOpen() const { return m_conn != nullptr; }
    // False once the server has gone away; the next open() starts afresh.
    bool isBroken() const;

    Result exec(const QString &sql, const std::vector<Param> &params = {});
    // Statements with no values, one after another (a script, a BEGIN);
    // the result is the last one's.
    Result execScript(const QString &sql);

    // COPY ... FROM STDIN: `next` fills the buffer with the next piece of
    // the data and returns false when there is none left.
    void copyIn(const QString &sql, const std::function<bool(QByteArray &)> &next);

    // The descriptor that becomes readable when the server sends something.
    int socket() const;
    struct Notification {
        QString channel, payload;
        int senderPid = 0;
    };
    // Reads what has arrived without waiting; throws when the link is broken.
    std::vector<Notification> takeNotifications();
    int backendPid() const;
    // The value bound for text: the server never holds a NUL or bad UTF-8.
    static Param text(const QString &value) { return value.toUtf8(); }
    static Param text(const std::optional<QString> &value);

private:
    struct Finish { void operator()(pg_conn *conn) const; };
    [[noreturn]] void failConnection() const;
    pg_conn *require() const;
    std::unique_ptr<pg_conn, Finish> m_conn;
};

// Rolls back unless committed.
class Transaction
{
public:
    explicit Transaction(Connection &connection, const QString &begin = QStringLiteral("BEGIN"));
    ~Transaction();
    Transaction(const Transaction &) = delete;
    Transaction &operator=(const Transaction &) = delete;
    void commit();

private:
    Connection &m_connection;
    bool m_done = false;
};

} // namespace data::pg
