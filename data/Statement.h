#pragma once

#include <QByteArrayView>
#include <QString>
#include <optional>

struct sqlite3;
struct sqlite3_stmt;

namespace data {

// A value exactly as the engine holds it: its storage class (SQLITE_NULL,
// SQLITE_TEXT, ...) and its bytes. Text keeps its bytes whatever they are,
// valid UTF-8 or not; a number keeps its binary form. Bound again, it
// compares equal, type for type and byte for byte, with what was read.
struct RawValue {
    int type = 5; // SQLITE_NULL
    QByteArray bytes;
    bool operator==(const RawValue &) const = default;
};

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
    // Text already in UTF-8.
    void bindText(int index, QByteArrayView utf8);
    void bind(int index, const RawValue &value);
    int parameterIndex(const QString &name) const; // ":name"; 0 when absent
    int parameterCount() const;
    QString parameterName(int index) const; // without the leading ':'

    // True while a row is available.
    bool step();
    void reset();

    int columnCount() const;
    QString columnName(int column) const;
    bool isNull(int column) const;
    // As text, decoded from UTF-8; a leading U+FEFF is a character like any
    // other, kept, so that what is written back is what was read.
    QString text(int column) const;
    std::optional<QString> value(int column) const;
    qint64 int64(int column) const;
    // The column's bytes as the engine holds them (text as UTF-8), valid
    // until the next step or reset.
    QByteArrayView bytes(int column) const;
    RawValue raw(int column) const;

    const QString &sql() const { return m_sql; }

private:
    [[noreturn]] void fail(const QString &what) const;

    sqlite3 *m_db;
    sqlite3_stmt *m_stmt = nullptr;
    QString m_sql;
};

} // namespace data
