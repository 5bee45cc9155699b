#pragma once

#include "data/Query.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <variant>
#include <vector>

namespace data {

class Connection;
class DataSet;

enum class DataSetState { Inactive, Browse, Edit, Insert };
enum class LockType { Optimistic, BatchOptimistic };

enum class DataChange {
    Active,  // opened or closed
    Record,  // another current record, or its values replaced
    State,   // browse / edit / insert
    Field,   // one field of the current record set
};

// Bound editors watch a dataset through this.
class DataSetObserver
{
public:
    virtual ~DataSetObserver() = default;
    virtual void dataSetChanged(DataSet &dataSet, DataChange change, const QString &field) = 0;
    // The dataset is about to post the record being edited: write what you hold.
    virtual void updateRecord(DataSet &) {}
};

// A query with a client-side record set, read in full when it is opened.
// Fields are read as text; NULL reads as empty text. A batch-optimistic
// dataset keeps inserted and edited records in its record set until
// applyUpdates() writes them; closing it drops them.
class DataSet
{
public:
    DataSet(Connection &connection, QString name, LockType lockType = LockType::Optimistic);
    ~DataSet();
    DataSet(const DataSet &) = delete;
    DataSet &operator=(const DataSet &) = delete;

    const QString &name() const { return m_name; }
    Connection &connection() const { return m_connection; }

    void setSql(const QString &sql);
    const QString &sql() const { return m_sql; }
    void setParameter(const QString &name, const std::optional<QString> &value);
    void setParameter(const QString &name, qint64 value);
    void clearParameters() { m_parameters.clear(); }

    // The table that applyUpdates() writes to (batch-optimistic only).
    void setUpdateTable(const QString &table) { m_updateTable = table; }
    // Only these columns become fields, whatever else the statement returns.
    void setExposedFields(const QStringList &fields) { m_exposed = fields; }

    // The statement as a batch-optimistic dataset runs it: writing a record
    // back needs its row's identity, whatever columns the statement shows, so
    // it is selected first, as `rowKey` (the engine's key of the updated
    // table). Empty for a statement that is not a select.
    static QString withRowId(const QString &sql, const QString &rowKey = QStringLiteral("rowid"));

    void open();
    void close();
    // Runs a statement that returns no rows; the dataset stays closed.
    void execSql();
    bool isActive() const { return m_state != DataSetState::Inactive; }
    DataSetState state() const { return m_state; }

    int recordCount() const { return int(m_rows.size()); }
    int recNo() const; // 1-based; 0 when there is no current record
    bool eof() const;
    void first();
    void next();

    int fieldCount() const { return int(m_fields.size()); }
    QString fieldName(int index) const;
    int fieldIndex(const QString &name) const; // throws for an unknown name
    bool hasField(const QString &name) const;
    QString asString(int index) const;
    QString asString(const QString &name) const;
    std::optional<QString> value(const QString &name) const;
    std::optional<QString> value(int index) const;

    void edit();
    void append();
    void setField(const QString &name, const std::optional<QString> &value);
    // An editor's text for a field of the record being edited. Text equal
    // to what was read (NULL reads as empty) gives the field back its value
    // as read, unchanged: a field the user only typed in and restored is
    // not written, so it keeps its stored bytes.
    void setFieldText(const QString &name, const QString &text);
    // Completes the edit: a changed record is posted, an unchanged one abandoned.
    void post();
    void cancel();

    // Writes every pending insert and update, inside the connection's
    // transaction if one is open. The record set adopts what was written
    // only once that transaction commits; on failure nothing is lost.
    void applyUpdates();
    bool updatesPending() const;

    std::function<void(DataSet &)> afterInsert;

    void addObserver(DataSetObserver *observer);
    void removeObserver(DataSetObserver *observer);

private:
    using Value = std::optional<QString>;
    struct Row {
        std::vector<Value> values;
        std::vector<Value> original;
        // The values as stored, byte for byte, for the optimistic check:
        // decoding is not always the identity (invalid UTF-8, a blob).
        std::vector<RawValue> raw;
        std::vector<bool> changed;
        qint64 rowId = 0;
        bool stored = false;        // has a row in the database
        bool pendingInsert = false;
        bool pendingUpdate = false;
    };
    using Parameter = std::variant<std::monostate, QString, qint64>;

    void requireActive(const char *what) const;
    void requireEditable() const;
    void notify(DataChange change, const QString &field = {});
    void markField(int index);
    const Row *currentRow() const;
    void bindParameters(Query &statement) const;
    Row readBack(qint64 rowId) const;

    Connection &m_connection;
    QString m_name;
    LockType m_lockType;
    QString m_sql;
    QString m_updateTable;
    QStringList m_exposed;
    std::map<QString, Parameter> m_parameters;

    DataSetState m_state = DataSetState::Inactive;
    QStringList m_fields;
    std::vector<int> m_fieldColumns; // statement column of each field
    std::vector<Row> m_rows;
    int m_current = -1;
    Row m_buffer;
    bool m_bufferTouched = false;

    std::vector<DataSetObserver *> m_observers;
    std::shared_ptr<int> m_lifetime = std::make_shared<int>(0);
    int m_generation = 0;
};

} // namespace data
