#pragma once

#include <QByteArrayView>
#include <QString>
#include <optional>

struct sqlite3;
struct sqlite3_stmt;

namespace data {

// One prepared statement; finalized in the destructor. A text holding more
// than one statement is refused, so nothing typed can smuggle in a second.
class Statement
{
public:
    Statement(sqlite3 *db, const QString &sql);
    ~Statement();
    Statement(const Statement &) = delete;
    Statement &operator=(const Statement &) = delete;

    // Parameters are numbered from 1, as in the engine.
    void bind(int index, const QString &value);
    void bind(int index, const std::optional<QString> &value);
    void bind(int index, qint64 value);
    void bindNull(int index);
    void bindBlob(int index, QByteArrayView bytes);
    int parameterIndex(const QString &name) const; // ":name"; 0 when absent
    int parameterCount() const;
    QString parameterName(int index) const; // without the leading ':'

    // True while a row is available.
    bool step();
    void reset();

    int columnCount() const;
    QString columnName(int column) const;
    bool isNull(int column) const;
    QString text(int column) const;
    std::optional<QString> value(int column) const;
    qint64 int64(int column) const;
    // The column's bytes as the engine holds them (text as UTF-8), valid
    // until the next step or reset.
    QByteArrayView bytes(int column) const;

    const QString &sql() const { return m_sql; }

private:
    [[noreturn]] void fail(const QString &what) const;

    sqlite3 *m_db;
    sqlite3_stmt *m_stmt = nullptr;
    QString m_sql;
};

} // namespace data
