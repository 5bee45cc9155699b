#include "data/Statement.h"
#include "data/DbError.h"

#include <QStringDecoder>
#include <cstring>
#include <sqlite3.h>

namespace data {

Statement::Statement(sqlite3 *db, const QString &sql) : m_db(db), m_sql(sql)
{
    const QByteArray utf8 = sql.toUtf8();
    const char *tail = nullptr;
    if (sqlite3_prepare_v2(db, utf8.constData(), int(utf8.size()), &m_stmt, &tail) != SQLITE_OK)
        fail(QStringLiteral("SQL 语句无效"));
    if (!m_stmt)
        throw DbError(QStringLiteral("SQL 语句为空"));
    if (tail && QByteArray(tail).trimmed().size() > 0) {
        sqlite3_finalize(m_stmt);
        m_stmt = nullptr;
        throw DbError(QStringLiteral("一次只能执行一条 SQL 语句"));
    }
}

Statement::~Statement()
{
    sqlite3_finalize(m_stmt);
}

void Statement::fail(const QString &what) const
{
    throw DbError(what + QStringLiteral("：") + QString::fromUtf8(sqlite3_errmsg(m_db)));
}

void Statement::bind(int index, const QString &value)
{
    const QByteArray utf8 = value.toUtf8();
    if (sqlite3_bind_text(m_stmt, index, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT) != SQLITE_OK)
        fail(QStringLiteral("参数绑定失败"));
}

void Statement::bind(int index, const std::optional<QString> &value)
{
    if (value)
        bind(index, *value);
    else
        bindNull(index);
}

void Statement::bind(int index, qint64 value)
{
    if (sqlite3_bind_int64(m_stmt, index, value) != SQLITE_OK)
        fail(QStringLiteral("参数绑定失败"));
}

void Statement::bindNull(int index)
{
    if (sqlite3_bind_null(m_stmt, index) != SQLITE_OK)
        fail(QStringLiteral("参数绑定失败"));
}

void Statement::bindBlob(int index, QByteArrayView bytes)
{
    // An empty blob is still a blob, not NULL.
    static const char none = 0;
    if (sqlite3_bind_blob(m_stmt, index, bytes.isEmpty() ? &none : bytes.data(), int(bytes.size()), SQLITE_TRANSIENT) != SQLITE_OK)
        fail(QStringLiteral("参数绑定失败"));
}

void Statement::bindText(int index, QByteArrayView utf8)
{
    if (sqlite3_bind_text(m_stmt, index, utf8.data(), int(utf8.size()), SQLITE_TRANSIENT) != SQLITE_OK)
        fail(QStringLiteral("参数绑定失败"));
}

void Statement::bind(int index, const RawValue &value)
{
    int rc = SQLITE_OK;
    switch (value.type) {
    case SQLITE_NULL:
        rc = sqlite3_bind_null(m_stmt, index);
        break;
    case SQLITE_BLOB:
        bindBlob(index, value.bytes);
        return;
    case SQLITE_INTEGER: {
        qint64 number = 0;
        std::memcpy(&number, value.bytes.constData(), qMin(sizeof number, size_t(value.bytes.size())));
        rc = sqlite3_bind_int64(m_stmt, index, number);
        break;
    }
    case SQLITE_FLOAT: {
        double number = 0;
        std::memcpy(&number, value.bytes.constData(), qMin(sizeof number, size_t(value.bytes.size())));
        rc = sqlite3_bind_double(m_stmt, index, number);
        break;
    }
    default: // the bytes as they were, valid UTF-8 or not
        rc = sqlite3_bind_text(m_stmt, index, value.bytes.constData(), int(value.bytes.size()), SQLITE_TRANSIENT);
        break;
    }
    if (rc != SQLITE_OK)
        fail(QStringLiteral("参数绑定失败"));
}

int Statement::parameterIndex(const QString &name) const
{
    return sqlite3_bind_parameter_index(m_stmt, (QLatin1Char(':') + name).toUtf8().constData());
}

int Statement::parameterCount() const
{
    return sqlite3_bind_parameter_count(m_stmt);
}

QString Statement::parameterName(int index) const
{
    const char *name = sqlite3_bind_parameter_name(m_stmt, index);
    return name ? QString::fromUtf8(name + 1) : QString();
}

bool Statement::step()
{
    const int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    // The legacy step interface returns only SQLITE_ERROR; reset gives the real code.
    sqlite3_reset(m_stmt);
    fail(QStringLiteral("执行 SQL 语句失败"));
}

qint64 Statement::changes() const
{
    return sqlite3_changes(m_db);
}

void Statement::reset()
{
    sqlite3_reset(m_stmt);
    sqlite3_clear_bindings(m_stmt);
}

int Statement::columnCount() const
{
    return sqlite3_column_count(m_stmt);
}

QString Statement::columnName(int column) const
{
    return QString::fromUtf8(sqlite3_column_name(m_stmt, column));
}

bool Statement::isNull(int column) const
{
    return sqlite3_column_type(m_stmt, column) == SQLITE_NULL;
}

QString Statement::text(int column) const
{
    const auto *p = reinterpret_cast<const char *>(sqlite3_column_text(m_stmt, column));
    if (!p)
        return QString();
    const QByteArrayView utf8(p, sqlite3_column_bytes(m_stmt, column));
    // QString::fromUtf8 drops a leading byte order mark.
    if (utf8.startsWith("\xEF\xBB\xBF")) {
        QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom);
        return decoder.decode(utf8);
    }
    return QString::fromUtf8(utf8);
}

std::optional<QString> Statement::value(int column) const
{
    if (isNull(column))
        return std::nullopt;
    return text(column);
}

qint64 Statement::int64(int column) const
{
    return sqlite3_column_int64(m_stmt, column);
}

QByteArrayView Statement::bytes(int column) const
{
    // A blob as stored; anything else as UTF-8 text, so that the count is
    // that of the text's bytes.
    const auto *p = sqlite3_column_type(m_stmt, column) == SQLITE_BLOB
                        ? static_cast<const char *>(sqlite3_column_blob(m_stmt, column))
                        : reinterpret_cast<const char *>(sqlite3_column_text(m_stmt, column));
    return p ? QByteArrayView(p, sqlite3_column_bytes(m_stmt, column)) : QByteArrayView();
}

RawValue Statement::raw(int column) const
{
    RawValue value;
    value.type = sqlite3_column_type(m_stmt, column);
    switch (value.type) {
    case SQLITE_NULL:
        break;
    case SQLITE_INTEGER: {
        const qint64 number = sqlite3_column_int64(m_stmt, column);
        value.bytes = QByteArray(reinterpret_cast<const char *>(&number), sizeof number);
        break;
    }
    case SQLITE_FLOAT: {
        const double number = sqlite3_column_double(m_stmt, column);
        value.bytes = QByteArray(reinterpret_cast<const char *>(&number), sizeof number);
        break;
    }
    default:
        value.bytes = bytes(column).toByteArray();
        break;
    }
    return value;
}

} // namespace data
