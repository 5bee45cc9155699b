#include "data/postgres/PgStatement.h"

namespace data::pg {

namespace {

bool isNameStart(QChar c)
{
    return c.isLetter() || c == QLatin1Char('_');
}

bool isNamePart(QChar c)
{
    return c.isLetterOrNumber() || c == QLatin1Char('_');
}

} // namespace

QString PgStatement::serverText(const QString &sql, QStringList &names)
{
    QString out;
    out.reserve(sql.size() + 8);
    for (qsizetype i = 0; i < sql.size();) {
        const QChar c = sql[i];
        // Quoted text and names pass unchanged, doubled quotes included.
        if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
            qsizetype end = sql.indexOf(c, i + 1);
            while (end >= 0 && end + 1 < sql.size() && sql[end + 1] == c)
                end = sql.indexOf(c, end + 2);
            end = end < 0 ? sql.size() : end + 1;
            out += QStringView(sql).mid(i, end - i);
            i = end;
            continue;
        }
        if (c == QLatin1Char(':') && i + 1 < sql.size() && sql[i + 1] == QLatin1Char(':')) {
            out += QLatin1String("::"); // a cast
            i += 2;
            continue;
        }
        QString name;
        qsizetype end = i + 1;
        if (c == QLatin1Char(':') && end < sql.size() && isNameStart(sql[end])) {
            while (end < sql.size() && isNamePart(sql[end]))
                ++end;
            name = sql.mid(i + 1, end - i - 1);
        } else if (c == QLatin1Char('?')) {
            while (end < sql.size() && sql[end].isDigit())
                ++end;
            name = end > i + 1 ? sql.mid(i + 1, end - i - 1) : QString::number(names.size() + 1);
        } else {
            out += c;
            ++i;
            continue;
        }
        qsizetype at = names.indexOf(name);
        if (at < 0) {
            names << name;
            at = names.size() - 1;
        }
        out += QLatin1Char('$') + QString::number(at + 1);
        i = end;
    }
    return out;
}

PgStatement::PgStatement(Connection &connection, const QString &sql) : m_connection(connection), m_sql(sql)
{
    m_serverText = serverText(sql, m_names);
    m_params.assign(m_names.size(), std::nullopt);
}

void PgStatement::bind(int index, const std::optional<QString> &value)
{
    if (index < 1 || index > parameterCount())
        throw PgError(QStringLiteral("参数绑定失败：没有第 %1 个参数").arg(index), {});
    m_params[size_t(index - 1)] = Connection::text(value);
}

void PgStatement::bind(int index, qint64 value)
{
    bind(index, QString::number(value));
}

void PgStatement::bind(int index, const RawValue &value)
{
    if (value.type != RawValue::Null && value.type != RawValue::Text)
        throw PgError(QStringLiteral("参数绑定失败：服务器上的值只有文本"), {});
    if (index < 1 || index > parameterCount())
        throw PgError(QStringLiteral("参数绑定失败：没有第 %1 个参数").arg(index), {});
    m_params[size_t(index - 1)] = value.type == RawValue::Null ? Param() : Param(value.bytes);
}

int PgStatement::parameterIndex(const QString &name) const
{
    const QString bare = name.startsWith(QLatin1Char(':')) ? name.mid(1) : name;
    return int(m_names.indexOf(bare)) + 1;
}

QString PgStatement::parameterName(int index) const
{
    return m_names.value(index - 1);
}

const Result &PgStatement::ran() const
{
    if (!m_ran) {
        m_result = m_connection.exec(m_serverText, m_params);
        m_ran = true;
    }
    return m_result;
}

bool PgStatement::step()
{
    ran();
    ++m_row;
    return m_row < m_result.rows();
}

void PgStatement::reset()
{
    m_result = Result();
    m_ran = false;
    m_row = -1;
}

QByteArrayView PgStatement::bytes(int column) const
{
    if (isNull(column))
        return {};
    return m_result.view(m_row, column);
}

RawValue PgStatement::raw(int column) const
{
    if (isNull(column))
        return RawValue{RawValue::Null, {}};
    return RawValue{RawValue::Text, m_result.bytes(m_row, column)};
}

} // namespace data::pg
