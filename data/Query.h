#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace data {

// A value exactly as the engine holds it: its storage class (SQLITE_NULL,
// SQLITE_TEXT, ...: the file's codes, which the server's text and NULL use
// too) and its bytes. Text keeps its bytes whatever they are, valid UTF-8
// or not; a number keeps its binary form. Bound again, it compares equal,
// type for type and byte for byte, with what was read.
struct RawValue {
    enum Type { Integer = 1, Float = 2, Text = 3, Blob = 4, Null = 5 };
    int type = Null;
    QByteArray bytes;
    bool operator==(const RawValue &) const = default;
};

// One statement of either engine: parameters written :name, ?NNN or ? are
// bound by number from 1; rows are read one step at a time, every value as
// text. The datasets read and write through this alone.
class Query
{
public:
    virtual ~Query() = default;

    virtual void bind(int index, const QString &value) = 0;
    virtual void bind(int index, const std::optional<QString> &value) = 0;
    virtual void bind(int index, qint64 value) = 0;
    virtual void bindNull(int index) = 0;
    virtual void bind(int index, const RawValue &value) = 0;
    virtual int parameterCount() const = 0;
    virtual QString parameterName(int index) const = 0; // without the leading ':'

    // True while a row is available.
    virtual bool step() = 0;
    virtual void reset() = 0;
    // Rows that a statement which writes inserted, changed or deleted.
    virtual qint64 changes() const = 0;

    virtual int columnCount() const = 0;
    virtual QString columnName(int column) const = 0;
    virtual bool isNull(int column) const = 0;
    virtual QString text(int column) const = 0;
    virtual std::optional<QString> value(int column) const = 0;
    virtual qint64 int64(int column) const = 0;
    virtual RawValue raw(int column) const = 0;
};

} // namespace data
