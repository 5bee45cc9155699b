#include "data/DataSet.h"
#include "data/Connection.h"
#include "data/DbError.h"
#include "data/Engine.h"

#include <QRegularExpression>
#include <algorithm>

namespace data {

namespace {

constexpr QLatin1String RowIdColumn("__rowid__");

QString quoted(const QString &identifier)
{
    QString text = identifier;
    text.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + text + QLatin1Char('"');
}

} // namespace

DataSet::DataSet(Connection &connection, QString name, LockType lockType)
    : m_connection(connection), m_name(std::move(name)), m_lockType(lockType)
{
    m_connection.attach(this);
}

DataSet::~DataSet()
{
    m_connection.detach(this);
}

void DataSet::setSql(const QString &sql)
{
    if (isActive())
        close();
    m_sql = sql;
}

void DataSet::setParameter(const QString &name, const std::optional<QString> &value)
{
    m_parameters[name] = value ? Parameter(*value) : Parameter();
}

void DataSet::setParameter(const QString &name, qint64 value)
{
    m_parameters[name] = value;
}

void DataSet::requireActive(const char *) const
{
    if (!isActive())
        throw DbError(QStringLiteral("数据集 %1 已关闭，无法执行此操作").arg(m_name));
}

void DataSet::requireEditable() const
{
    requireActive("edit");
    if (m_lockType != LockType::BatchOptimistic)
        throw DbError(QStringLiteral("数据集 %1 是只读的").arg(m_name));
}

void DataSet::notify(DataChange change, const QString &field)
{
    for (DataSetObserver *observer : std::vector<DataSetObserver *>(m_observers))
        observer->dataSetChanged(*this, change, field);
}

void DataSet::bindParameters(Query &statement) const
{
    for (int i = 1; i <= statement.parameterCount(); ++i) {
        const QString name = statement.parameterName(i);
        const auto it = m_parameters.find(name);
        if (it == m_parameters.end())
            throw DbError(QStringLiteral("参数 %1 没有值").arg(name));
        if (const auto *text = std::get_if<QString>(&it->second))
            statement.bind(i, *text);
        else if (const auto *number = std::get_if<qint64>(&it->second))
            statement.bind(i, *number);
        else
            statement.bindNull(i);
    }
}

QString DataSet::withRowId(const QString &sql, const QString &rowKey)
{
    static const QRegularExpression select(QStringLiteral("^\\s*select\\s"), QRegularExpression::CaseInsensitiveOption);
    const auto match = select.match(sql);
    if (!match.hasMatch())
        return {};
    return QStringLiteral("select %1 AS %2, ").arg(rowKey, RowIdColumn) + sql.mid(match.capturedEnd());
}

void DataSet::open()
{
    if (isActive())
        close();
    QString sql = m_sql;
    int rowIdColumn = -1;
    if (m_lockType == LockType::BatchOptimistic) {
        sql = withRowId(sql, m_connection.engine().rowKey(m_updateTable));
        if (sql.isEmpty())
            throw DbError(QStringLiteral("数据集 %1 的语句必须是 select 语句").arg(m_name));
        rowIdColumn = 0;
    }
    Query &statement = m_connection.query(sql);
    bindParameters(statement);

    QStringList fields;
    std::vector<int> columns;
    for (int c = 0; c < statement.columnCount(); ++c) {
        if (c == rowIdColumn)
            continue;
        const QString column = statement.columnName(c);
        if (!m_exposed.isEmpty() && !m_exposed.contains(column, Qt::CaseInsensitive))
            continue;
        fields << column;
        columns.push_back(c);
    }
    std::vector<Row> rows;
    try {
        while (statement.step()) {
            Row row;
            row.values.reserve(columns.size());
            if (m_lockType == LockType::BatchOptimistic) {
                // First: reading a blob as text may change the type the
                // engine reports for it.
                row.raw.reserve(columns.size());
                for (int c : columns)
                    row.raw.push_back(statement.raw(c));
            }
            for (int c : columns) {
                Value value = statement.value(c);
                // Memory, for record sets of 100,000 rows: a value equal to
                // the one above it (a category listed in order) shares its
                // text, and Chinese text, converted from UTF-8 into a buffer
                // three times too large, is copied into one of its size.
                if (!rows.empty() && rows.back().values[row.values.size()] == value)
                    value = rows.back().values[row.values.size()];
                else if (value && value->capacity() > value->size())
                    value = QString(value->constData(), value->size());
                row.values.push_back(std::move(value));
            }
            if (rowIdColumn >= 0)
                row.rowId = statement.int64(rowIdColumn);
            row.stored = true;
            if (m_lockType == LockType::BatchOptimistic) {
                row.original = row.values;
                row.changed.assign(columns.size(), false);
            }
            rows.push_back(std::move(row));
        }
    } catch (...) {
        statement.reset();
        throw;
    }
    statement.reset();
    // The doubling growth can leave a third of a large record set unused.
    if (rows.capacity() - rows.size() > rows.size() / 8)
        rows.shrink_to_fit();

    m_fields = fields;
    m_fieldColumns = std::move(columns);
    m_rows = std::move(rows);
    m_current = m_rows.empty() ? -1 : 0;
    m_state = DataSetState::Browse;
    m_bufferTouched = false;
    ++m_generation;
    notify(DataChange::Active);
}

void DataSet::close()
{
    if (!isActive())
        return;
    m_state = DataSetState::Inactive;
    // Not clear(): that keeps the buffer, 10 MB for 100,000 rows.
    std::vector<Row>().swap(m_rows);
    m_fields.clear();
    m_fieldColumns.clear();
    m_current = -1;
    m_buffer = Row();
    m_bufferTouched = false;
    ++m_generation;
    notify(DataChange::Active);
}

void DataSet::execSql()
{
    close();
    const std::unique_ptr<Query> statement = m_connection.engine().prepare(m_sql);
    bindParameters(*statement);
    while (statement->step()) {
    }
}

int DataSet::recNo() const
{
    return (m_current >= 0 && m_current < recordCount()) ? m_current + 1 : 0;
}

bool DataSet::eof() const
{
    return m_current < 0 || m_current >= recordCount();
}

void DataSet::first()
{
    requireActive("first");
    if (m_state != DataSetState::Browse)
        post();
    m_current = m_rows.empty() ? -1 : 0;
    if (!m_observers.empty())
        notify(DataChange::Record);
}

void DataSet::next()
{
    requireActive("next");
    if (m_state != DataSetState::Browse)
        post();
    if (!eof())
        ++m_current;
    if (!m_observers.empty())
        notify(DataChange::Record);
}

QString DataSet::fieldName(int index) const
{
    return m_fields.value(index);
}

int DataSet::fieldIndex(const QString &name) const
{
    for (int i = 0; i < m_fields.size(); ++i) {
        if (m_fields[i].compare(name, Qt::CaseInsensitive) == 0)
            return i;
    }
    if (!isActive())
        requireActive("field");
    throw DbError(QStringLiteral("数据集 %1 中找不到字段 %2").arg(m_name, name));
}

bool DataSet::hasField(const QString &name) const
{
    return m_fields.contains(name, Qt::CaseInsensitive);
}

const DataSet::Row *DataSet::currentRow() const
{
    if (m_state == DataSetState::Edit || m_state == DataSetState::Insert)
        return &m_buffer;
    return eof() ? nullptr : &m_rows[size_t(m_current)];
}

QString DataSet::asString(int index) const
{
    return value(index).value_or(QString());
}

QString DataSet::asString(const QString &name) const
{
    return asString(fieldIndex(name));
}

std::optional<QString> DataSet::value(const QString &name) const
{
    return value(fieldIndex(name));
}

std::optional<QString> DataSet::value(int index) const
{
    requireActive("field");
    if (index < 0 || index >= fieldCount())
        throw DbError(QStringLiteral("数据集 %1 中没有第 %2 个字段").arg(m_name).arg(index));
    const Row *row = currentRow();
    return row ? row->values[size_t(index)] : std::nullopt;
}

void DataSet::edit()
{
    requireEditable();
    if (m_state != DataSetState::Browse)
        return;
    if (eof())
        throw DbError(QStringLiteral("数据集 %1 中没有可编辑的记录").arg(m_name));
    m_buffer = m_rows[size_t(m_current)];
    m_bufferTouched = false;
    m_state = DataSetState::Edit;
    notify(DataChange::State);
}

void DataSet::append()
{
    requireEditable();
    if (m_state != DataSetState::Browse)
        post();
    Row row;
    row.values.assign(m_fields.size(), std::nullopt);
    row.original = row.values;
    row.changed.assign(m_fields.size(), false);
    m_rows.push_back(row);
    m_current = recordCount() - 1;
    m_buffer = row;
    m_bufferTouched = false;
    m_state = DataSetState::Insert;
    notify(DataChange::Record);
    notify(DataChange::State);
    if (afterInsert)
        afterInsert(*this);
}

void DataSet::setField(const QString &name, const std::optional<QString> &value)
{
    const int index = fieldIndex(name);
    if (m_state != DataSetState::Edit && m_state != DataSetState::Insert)
        throw DbError(QStringLiteral("数据集 %1 不在编辑或插入状态").arg(m_name));
    m_buffer.values[size_t(index)] = value;
    m_buffer.changed[size_t(index)] = true;
    markField(index);
}

void DataSet::setFieldText(const QString &name, const QString &text)
{
    const int index = fieldIndex(name);
    const Value &original = m_buffer.original.size() > size_t(index) ? m_buffer.original[size_t(index)] : Value();
    if (m_state != DataSetState::Edit || !m_buffer.stored || text != original.value_or(QString())) {
        setField(name, text);
        return;
    }
    m_buffer.values[size_t(index)] = original;
    m_buffer.changed[size_t(index)] = false;
    markField(index);
}

void DataSet::markField(int index)
{
    m_bufferTouched = true;
    notify(DataChange::Field, m_fields[index]);
}

void DataSet::post()
{
    if (m_state != DataSetState::Edit && m_state != DataSetState::Insert)
        return;
    for (DataSetObserver *observer : std::vector<DataSetObserver *>(m_observers))
        observer->updateRecord(*this);
    Row &row = m_rows[size_t(m_current)];
    if (m_state == DataSetState::Insert) {
        if (!m_bufferTouched) {
            // An inserted record nobody wrote into is abandoned, not stored.
            m_rows.erase(m_rows.begin() + m_current);
            m_current = m_rows.empty() ? -1 : std::min(m_current, recordCount() - 1);
            m_state = DataSetState::Browse;
            notify(DataChange::Record);
            notify(DataChange::State);
            return;
        }
        row = m_buffer;
        row.pendingInsert = true;
    } else if (m_bufferTouched) {
        row = m_buffer;
        if (row.stored) // fields given back their values as read are no change
            row.pendingUpdate = std::find(row.changed.begin(), row.changed.end(), true) != row.changed.end();
        else
            row.pendingInsert = true;
    }
    m_buffer = Row();
    m_bufferTouched = false;
    m_state = DataSetState::Browse;
    notify(DataChange::State);
}

void DataSet::cancel()
{
    if (m_state == DataSetState::Insert) {
        m_rows.erase(m_rows.begin() + m_current);
        m_current = m_rows.empty() ? -1 : std::min(m_current, recordCount() - 1);
    }
    if (m_state == DataSetState::Edit || m_state == DataSetState::Insert) {
        m_buffer = Row();
        m_bufferTouched = false;
        m_state = DataSetState::Browse;
        notify(DataChange::Record);
        notify(DataChange::State);
    }
}

bool DataSet::updatesPending() const
{
    if ((m_state == DataSetState::Edit || m_state == DataSetState::Insert) && m_bufferTouched)
        return true;
    return std::any_of(m_rows.begin(), m_rows.end(),
                       [](const Row &row) { return row.pendingInsert || row.pendingUpdate; });
}

DataSet::Row DataSet::readBack(qint64 rowId) const
{
    QStringList columns;
    for (const QString &field : m_fields)
        columns << quoted(field);
    Row row;
    Query &statement = m_connection.query(QStringLiteral("SELECT %1 FROM %2 WHERE %3 = ?")
                                              .arg(columns.join(QLatin1Char(',')), m_updateTable,
                                                   m_connection.engine().rowKey(m_updateTable)));
    statement.bind(1, rowId);
    if (statement.step()) {
        for (int c = 0; c < statement.columnCount(); ++c) {
            row.raw.push_back(statement.raw(c));
            row.values.push_back(statement.value(c));
        }
    }
    statement.reset();
    return row;
}

void DataSet::applyUpdates()
{
    requireEditable();
    post();
    if (!updatesPending())
        return;
    if (m_updateTable.isEmpty())
        throw DbError(QStringLiteral("数据集 %1 没有指定要更新的表").arg(m_name));

    std::optional<Transaction> ownTransaction;
    if (!m_connection.inTransaction())
        ownTransaction.emplace(m_connection);

    struct Written { size_t index; qint64 rowId; Row fresh; };
    std::vector<Written> written;
    for (size_t i = 0; i < m_rows.size(); ++i) {
        const Row &row = m_rows[i];
        if (!row.pendingInsert && !row.pendingUpdate)
            continue;
        std::vector<size_t> changed;
        for (size_t f = 0; f < row.changed.size(); ++f) {
            if (row.changed[f])
                changed.push_back(f);
        }
        qint64 rowId = row.rowId;
        if (row.pendingInsert) {
            QStringList columns;
            for (size_t f : changed)
                columns << quoted(m_fields[int(f)]);
            Engine &engine = m_connection.engine();
            Query &statement = m_connection.query(engine.insertSql(m_updateTable, columns));
            int p = 1;
            for (size_t f : changed)
                statement.bind(p++, row.values[f]);
            statement.step();
            rowId = engine.insertedKey(statement);
            statement.reset();
        } else {
            // Optimistic: write only where the row still holds what we read.
            Engine &engine = m_connection.engine();
            QStringList sets, checks;
            for (size_t f : changed) {
                sets << quoted(m_fields[int(f)]) + QStringLiteral(" = ?");
                checks << engine.sameValueTest(quoted(m_fields[int(f)]), QStringLiteral("?"));
            }
            const QString sql = QStringLiteral("UPDATE %1 SET %2 WHERE %3 = ? AND %4")
                                    .arg(m_updateTable, sets.join(QStringLiteral(", ")),
                                         engine.rowKey(m_updateTable), checks.join(QStringLiteral(" AND ")));
            Query &statement = m_connection.query(sql);
            int p = 1;
            for (size_t f : changed)
                statement.bind(p++, row.values[f]);
            statement.bind(p++, rowId);
            for (size_t f : changed)
                statement.bind(p++, row.raw[f]);
            statement.step();
            const qint64 changes = statement.changes();
            statement.reset();
            if (changes == 0)
                throw DbError(QStringLiteral("这条记录在读出后已被其他程序修改或删除，没有写入。请重新读出记录后再修改"));
        }
        written.push_back({i, rowId, readBack(rowId)});
    }

    std::weak_ptr<int> alive = m_lifetime;
    const int generation = m_generation;
    m_connection.afterCommit([this, alive, generation, written = std::move(written)]() {
        if (alive.expired() || generation != m_generation)
            return;
        for (const Written &w : written) {
            Row &row = m_rows[w.index];
            if (w.fresh.values.size() == row.values.size()) {
                row.values = w.fresh.values;
                row.raw = w.fresh.raw;
            } else {
                row.raw.assign(row.values.size(), RawValue());
                for (size_t f = 0; f < row.values.size(); ++f) {
                    if (row.values[f])
                        row.raw[f] = RawValue{RawValue::Text, row.values[f]->toUtf8()};
                }
            }
            row.original = row.values;
            row.changed.assign(row.values.size(), false);
            row.rowId = w.rowId;
            row.stored = true;
            row.pendingInsert = row.pendingUpdate = false;
        }
        notify(DataChange::Record);
    });
    if (ownTransaction)
        ownTransaction->commit();
}

void DataSet::addObserver(DataSetObserver *observer)
{
    m_observers.push_back(observer);
}

void DataSet::removeObserver(DataSetObserver *observer)
{
    m_observers.erase(std::remove(m_observers.begin(), m_observers.end(), observer), m_observers.end());
}

} // namespace data
