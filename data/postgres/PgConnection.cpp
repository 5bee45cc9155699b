#include "data/postgres/PgConnection.h"

#include <libpq-fe.h>

namespace data::pg {

namespace {

// libpq's texts end in a newline and may run over several lines.
QString reason(const char *text)
{
    return QString::fromUtf8(text ? text : "").trimmed();
}

// The server's own words for a failed statement, and its SQLSTATE.
[[noreturn]] void failResult(pg_conn *conn, const pg_result *result)
{
    const char *primary = PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY);
    const char *state = PQresultErrorField(result, PG_DIAG_SQLSTATE);
    throw PgError(primary ? reason(primary) : reason(PQerrorMessage(conn)), QByteArray(state ? state : ""));
}

} // namespace

void Result::Clear::operator()(pg_result *result) const
{
    PQclear(result);
}

int Result::rows() const
{
    return m_result ? PQntuples(m_result.get()) : 0;
}

int Result::columns() const
{
    return m_result ? PQnfields(m_result.get()) : 0;
}

QString Result::columnName(int column) const
{
    return QString::fromUtf8(PQfname(m_result.get(), column));
}

int Result::column(const char *name) const
{
    for (int c = 0; c < columns(); ++c) {
        if (qstricmp(PQfname(m_result.get(), c), name) == 0)
            return c;
    }
    return -1;
}

bool Result::isNull(int row, int column) const
{
    return PQgetisnull(m_result.get(), row, column);
}

QByteArray Result::bytes(int row, int column) const
{
    return QByteArray(PQgetvalue(m_result.get(), row, column), PQgetlength(m_result.get(), row, column));
}

QByteArrayView Result::view(int row, int column) const
{
    return QByteArrayView(PQgetvalue(m_result.get(), row, column), PQgetlength(m_result.get(), row, column));
}

QString Result::text(int row, int column) const
{
    return QString::fromUtf8(PQgetvalue(m_result.get(), row, column), PQgetlength(m_result.get(), row, column));
}

std::optional<QString> Result::value(int row, int column) const
{
    if (isNull(row, column))
        return std::nullopt;
    return text(row, column);
}

qint64 Result::int64(int row, int column) const
{
    return QByteArray(PQgetvalue(m_result.get(), row, column)).toLongLong();
}

qint64 Result::affected() const
{
    return QByteArray(PQcmdTuples(m_result.get())).toLongLong();
}

QByteArray Result::commandTag() const
{
    return QByteArray(PQcmdStatus(m_result.get()));
}

void Connection::Finish::operator()(pg_conn *conn) const
{
    PQfinish(conn);
}

Connection::~Connection() = default;

void Connection::open(const QString &conninfo)
{
    close();
    const QByteArray info = conninfo.toUtf8();
    // Entries before dbname yield to the connection string, those after it
    // win: the user may tune the keep-alives, never the time we wait or the
    // encoding we read. A dead link is noticed within about 5 s on TCP.
    // Compiling a plan (JIT) would cost a search more than it saves, the
    // list of every drug is sorted in memory, and a row another client
    // keeps locked fails a save rather than freezing it.
    const char *keywords[] = {"application_name", "options", "keepalives_idle", "keepalives_interval",
                              "keepalives_count", "tcp_user_timeout", "dbname", "connect_timeout",
                              "client_encoding", nullptr};
    const QByteArray timeout = QByteArray::number(ConnectTimeoutSeconds);
    const char *values[] = {"zelkano", "-c jit=off -c work_mem=32MB -c lock_timeout=5s", "5", "1", "3", "5000", info.constData(),
                            timeout.constData(), "UTF8", nullptr};
    std::unique_ptr<pg_conn, Finish> conn(PQconnectdbParams(keywords, values, 1));
    if (!conn)
        throw PgError(QStringLiteral("内存不足"), {});
    if (PQstatus(conn.get()) != CONNECTION_OK)
        throw PgError(reason(PQerrorMessage(conn.get())), {});
    // The server's notices (what a DROP took with it) are not for the user.
    PQsetNoticeProcessor(conn.get(), [](void *, const char *) {}, nullptr);
    m_conn = std::move(conn);
}

void Connection::close()
{
    m_conn.reset();
}

bool Connection::isBroken() const
{
    return !m_conn || PQstatus(m_conn.get()) != CONNECTION_OK;
}

pg_conn *Connection::require() const
{
    if (!m_conn)
        throw PgError(QStringLiteral("没有连接到数据库服务器"), {});
    return m_conn.get();
}

void Connection::failConnection() const
{
    throw PgError(reason(PQerrorMessage(m_conn.get())), {});
}

Result Connection::exec(const QString &sql, const std::vector<Param> &params)
{
    pg_conn *conn = require();
    const QByteArray text = sql.toUtf8();
    std::vector<const char *> values;
    std::vector<int> lengths;
    values.reserve(params.size());
    lengths.reserve(params.size());
    for (const Param &p : params) {
        // A text value goes as a C string: a NUL would cut it short unseen.
        if (p && p->contains('\0'))
            throw PgError(QStringLiteral("文本中含有 NUL 字符，服务器无法保存"), {});
        values.push_back(p ? p->constData() : nullptr);
        lengths.push_back(p ? int(p->size()) : 0);
    }
    Result result(PQexecParams(conn, text.constData(), int(params.size()), nullptr, values.data(), lengths.data(),
                               nullptr, 0));
    if (!result.m_result)
        failConnection();
    const ExecStatusType status = PQresultStatus(result.m_result.get());
    if (status == PGRES_TUPLES_OK || status == PGRES_COMMAND_OK)
        return result;
    failResult(conn, result.m_result.get());
}

Result Connection::execScript(const QString &sql)
{
    pg_conn *conn = require();
    // PQexec runs every statement of the text; nothing in it is bound.
    Result result(PQexec(conn, sql.toUtf8().constData()));
    if (!result.m_result)
        failConnection();
    if (PQresultStatus(result.m_result.get()) == PGRES_COMMAND_OK
        || PQresultStatus(result.m_result.get()) == PGRES_TUPLES_OK)
        return result;
    failResult(conn, result.m_result.get());
}

void Connection::copyIn(const QString &sql, const std::function<bool(QByteArray &)> &next)
{
    pg_conn *conn = require();
    Result start(PQexec(conn, sql.toUtf8().constData()));
    if (!start.m_result || PQresultStatus(start.m_result.get()) != PGRES_COPY_IN)
        throw PgError(reason(PQerrorMessage(conn)), {});
    QByteArray piece;
    try {
        while (next(piece)) {
            if (PQputCopyData(conn, piece.constData(), int(piece.size())) != 1)
                failConnection();
            piece.clear();
        }
    } catch (...) {
        // The server drops what it was sent; the error is the caller's.
        PQputCopyEnd(conn, "abandoned");
        while (Result(PQgetResult(conn)).m_result) {
        }
        throw;
    }
    if (PQputCopyEnd(conn, nullptr) != 1)
        failConnection();
    Result end(PQgetResult(conn));
    while (Result(PQgetResult(conn)).m_result) {
    }
    if (!end.m_result)
        failConnection();
    if (PQresultStatus(end.m_result.get()) != PGRES_COMMAND_OK)
        failResult(conn, end.m_result.get());
}

int Connection::socket() const
{
    return m_conn ? PQsocket(m_conn.get()) : -1;
}

int Connection::backendPid() const
{
    return m_conn ? PQbackendPID(m_conn.get()) : 0;
}

std::vector<Connection::Notification> Connection::takeNotifications()
{
    pg_conn *conn = require();
    if (!PQconsumeInput(conn))
        failConnection();
    std::vector<Notification> out;
    while (PGnotify *n = PQnotifies(conn)) {
        out.push_back({QString::fromUtf8(n->relname), QString::fromUtf8(n->extra), n->be_pid});
        PQfreemem(n);
    }
    return out;
}

Param Connection::text(const std::optional<QString> &value)
{
    return value ? Param(value->toUtf8()) : std::nullopt;
}

Transaction::Transaction(Connection &connection, const QString &begin) : m_connection(connection)
{
    m_connection.execScript(begin);
}

Transaction::~Transaction()
{
    if (m_done || m_connection.isBroken())
        return;
    try {
        m_connection.execScript(QStringLiteral("ROLLBACK"));
    } catch (...) {
        // Nothing more can be done about a failed roll-back while unwinding;
        // the server ends the transaction with the session anyway.
    }
}

void Transaction::commit()
{
    // The server answers COMMIT on a failed transaction with a roll-back,
    // not an error: that must not pass for a success.
    const Result result = m_connection.execScript(QStringLiteral("COMMIT"));
    m_done = true;
    if (result.commandTag() != "COMMIT")
        throw PgError(QStringLiteral("事务已被服务器回滚"), {});
}

} // namespace data::pg
