#pragma once

#include "data/Query.h"
#include "data/postgres/PgConnection.h"

#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

namespace data::pg {

// One statement on the server with the interface of the file's Statement:
// parameters written :name, ?NNN or ? are bound by number from 1 and sent
// apart from the text ($1, $2, ...); the rows are read in full at the first
// step. A text holding more than one statement is refused by the server.
class PgStatement : public Query
{
public:
    PgStatement(Connection &connection, const QString &sql);

    void bind(int index, const std::optional<QString> &value) override;
    void bind(int index, const QString &value) override { bind(index, std::optional<QString>(value)); }
    void bind(int index, qint64 value) override;
    void bindNull(int index) override { bind(index, std::optional<QString>()); }
    // Text and NULL only: what the server's tables hold.
    void bind(int index, const RawValue &value) override;
    int parameterIndex(const QString &name) const;
    int parameterCount() const override { return int(m_names.size()); }
    QString parameterName(int index) const override;

    bool step() override;
    void reset() override;

    // The columns are known once the statement has run: asking runs it.
    int columnCount() const override { return ran().columns(); }
    QString columnName(int column) const override { return ran().columnName(column); }
    bool isNull(int column) const override { return m_result.isNull(m_row, column); }
    QString text(int column) const override { return m_result.text(m_row, column); }
    std::optional<QString> value(int column) const override { return m_result.value(m_row, column); }
    qint64 int64(int column) const override { return m_result.int64(m_row, column); }
    QByteArrayView bytes(int column) const;
    RawValue raw(int column) const override;
    // Rows the statement inserted, changed or deleted.
    qint64 changes() const override { return m_result.affected(); }

    const QString &sql() const { return m_sql; }
    // The text as the server gets it, with $n in place of the names.
    static QString serverText(const QString &sql, QStringList &names);

private:
    Connection &m_connection;
    QString m_sql;
    QString m_serverText;
    QStringList m_names;
    std::vector<Param> m_params;
    const Result &ran() const;

    mutable Result m_result;
    mutable bool m_ran = false;
    int m_row = -1;
};

} // namespace data::pg
