#pragma once

#include "data/Query.h"

#include <QByteArrayView>
#include <QString>
#include <optional>

struct sqlite3;
struct sqlite3_stmt;

namespace data {

// One prepared statement; finalized in the destructor. A text holding more
// than one statement is refused, so nothing typed can smuggle in a second.
class Statement : public Query
{
public:
    Statement(sqlite3 *db, const QString &sql);
    ~Statement() override;
    Statement(const Statement &) = delete;
    Statement &operator=(const Statement &) = delete;

    // Parameters are numbered from 1, as in the engine.
    void bind(int index, const QString &value) override;
    void bind(int index, const std::optional<QString> &value) override;
    void bind(int index, qint64 value) override;
    void bindNull(int index) override;
    void bindBlob(int index, QByteArrayView bytes);
    // Text already in UTF-8.
    void bindText(int index, QByteArrayView utf8);
    void bind(int index, const RawValue &value) override;
    int parameterIndex(const QString &name) const; // ":name"; 0 when absent
    int parameterCount() const override;
    QString parameterName(int index) const override; // without the leading ':'

    // True while a row is available.
    bool step() override;
    void reset() override;
    qint64 changes() const override;

    int columnCount() const override;
    QString columnName(int column) const override;
    bool isNull(int column) const override;
    // As text, decoded from UTF-8; a leading U+FEFF is a character like any
    // other, kept, so that what is written back is what was read.
    QString text(int column) const override;
    std::optional<QString> value(int column) const override;
    qint64 int64(int column) const override;
    // The column's bytes as the engine holds them (text as UTF-8), valid
    // until the next step or reset.
    QByteArrayView bytes(int column) const;
    RawValue raw(int column) const override;

    const QString &sql() const { return m_sql; }

private:
    [[noreturn]] void fail(const QString &what) const;

    sqlite3 *m_db;
    sqlite3_stmt *m_stmt = nullptr;
    QString m_sql;
};

} // namespace data
