#include "data/postgres/PgCopy.h"
#include "data/postgres/PgConnection.h"
#include "data/postgres/PgNameKeys.h"
#include "data/postgres/PgSchema.h"
#include "data/postgres/PgValues.h"

namespace data::pg {

namespace {

// The key column of a table on the server.
QString keyOf(const QString &table)
{
    return table == QLatin1String("DRUG_ZB") ? QStringLiteral("ID") : QStringLiteral("ROWID");
}

QString columnList(const QString &table)
{
    return (QStringList{keyOf(table)} + StoredRows::columnsOf(table)).join(QLatin1Char(','));
}

} // namespace

void appendCopyValue(QByteArray &out, const RawValue &value)
{
    if (value.type == RawValue::Null) {
        out += "\\N";
        return;
    }
    for (const char c : value.bytes) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default: out += c; break;
        }
    }
}

namespace {

void copyTable(Connection &connection, const StoredTable &table)
{
    size_t next = 0;
    connection.copyIn(QStringLiteral("COPY %1 (%2) FROM STDIN").arg(table.name, columnList(table.name)),
                      [&](QByteArray &piece) {
                          while (next < table.rows.size() && piece.size() < (1 << 20)) {
                              const StoredTable::Row &row = table.rows[next++];
                              piece += QByteArray::number(row.key);
                              for (const RawValue &value : row.values) {
                                  piece += '\t';
                                  appendCopyValue(piece, value);
                              }
                              piece += '\n';
                          }
                          return !piece.isEmpty();
                      });
}

} // namespace

StoredRows readServer(Connection &connection)
{
    StoredRows out;
    Transaction transaction(connection, QStringLiteral("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY"));
    for (const QString &name : StoredRows::tableNames()) {
        StoredTable table{name, StoredRows::columnsOf(name), {}};
        const Result rows = connection.exec(
            QStringLiteral("SELECT %1 FROM %2 ORDER BY %3").arg(columnList(name), name, keyOf(name)));
        table.rows.reserve(size_t(rows.rows()));
        for (int r = 0; r < rows.rows(); ++r) {
            StoredTable::Row row{rows.int64(r, 0), {}};
            row.values.reserve(size_t(table.columns.size()));
            for (int c = 1; c < rows.columns(); ++c)
                row.values.push_back(rows.isNull(r, c) ? RawValue{RawValue::Null, {}} : RawValue{RawValue::Text, rows.bytes(r, c)});
            table.rows.push_back(std::move(row));
        }
        out.tables.push_back(std::move(table));
    }
    const Result high = connection.exec(
        QStringLiteral("SELECT coalesce(pg_sequence_last_value(pg_get_serial_sequence('drug_zb', 'id')), 0)"));
    out.drugIdHighWater = high.int64(0, 0);
    transaction.commit();
    return out;
}

void writeServer(Connection &connection, const StoredRows &rows, bool replace)
{
    for (const StoredTable &table : rows.tables) {
        for (const StoredTable::Row &row : table.rows) {
            for (size_t c = 0; c < row.values.size(); ++c)
                requireFitForServer(row.values[c], table.name, row.key, table.columns[qsizetype(c)]);
        }
    }
    Transaction transaction(connection);
    if (connection.exec(QStringLiteral("SELECT to_regclass('drug_zb') IS NULL")).text(0, 0) == QLatin1String("t")) {
        Schema::create(connection);
    } else {
        if (connection.exec(QStringLiteral("SELECT EXISTS (SELECT 1 FROM DRUG_ZB)")).text(0, 0) == QLatin1String("t")
            && !replace)
            throw PgError(QStringLiteral("目标数据库中已有药物，没有写入任何内容；要替换其中的全部数据，请加 --force"), {});
        connection.execScript(QStringLiteral("TRUNCATE DRUG_LB, DRUG_ZB, HELP_LB, HELP_ZB"));
    }
    // The rows go in as they are: 类别 as the source holds it, keys as
    // given. The indexes made from the rows are built once at the end,
    // which is many times quicker than row by row.
    for (const QString &name : StoredRows::tableNames())
        connection.execScript(QStringLiteral("ALTER TABLE %1 DISABLE TRIGGER USER").arg(name));
    connection.execScript(Schema::dropDerivedSql());
    for (const StoredTable &table : rows.tables)
        copyTable(connection, table);
    for (const QString &name : StoredRows::tableNames()) {
        connection.exec(QStringLiteral("SELECT setval(pg_get_serial_sequence($1, $2), greatest(max(%1), $3, 1), "
                                       "max(%1) IS NOT NULL OR $3::bigint > 0) FROM %2")
                            .arg(keyOf(name), name),
                        {name.toLower().toUtf8(), keyOf(name).toLower().toUtf8(),
                         QByteArray::number(name == QLatin1String("DRUG_ZB") ? rows.drugIdHighWater : 0)});
        connection.execScript(QStringLiteral("ALTER TABLE %1 ENABLE TRIGGER USER").arg(name));
    }
    connection.execScript(Schema::derivedSql());
    namekeys::rebuild(connection);
    connection.execScript(QStringLiteral("SELECT pg_notify('zelkano', t) FROM unnest(ARRAY['drug_lb', 'drug_zb', "
                                         "'help_lb', 'help_zb']) AS t"));
    transaction.commit();
    // The planner's counts of the new rows, for choosing when the index pays.
    connection.execScript(QStringLiteral("ANALYZE DRUG_LB, DRUG_ZB, HELP_LB, HELP_ZB, DRUG_NAME_KEY"));
}

} // namespace data::pg
