#include "data/sqlite/FileCopy.h"
#include "data/Connection.h"
#include "data/Statement.h"
#include "data/sqlite/NewDatabaseFile.h"
#include "data/sqlite/Script.h"
#include "data/sqlite/SearchLists.h"

#include <sqlite3.h>

namespace data {

namespace {

QString keyOf(const QString &table)
{
    return table == QLatin1String("DRUG_ZB") ? QStringLiteral("ID") : QStringLiteral("rowid");
}

QStringList quotedColumns(const QString &table)
{
    QStringList columns{keyOf(table)};
    for (const QString &c : StoredRows::columnsOf(table))
        columns << QLatin1Char('"') + c + QLatin1Char('"');
    return columns;
}

} // namespace

StoredRows readFile(const QString &path)
{
    Connection connection(path);
    connection.open();
    sqlite3 *db = connection.handle();
    StoredRows out;
    runScript(db, QStringLiteral("BEGIN"));
    for (const QString &name : StoredRows::tableNames()) {
        StoredTable table{name, StoredRows::columnsOf(name), {}};
        Statement rows(db, QStringLiteral("SELECT %1 FROM %2 ORDER BY %3")
                               .arg(quotedColumns(name).join(QLatin1Char(',')), name, keyOf(name)));
        while (rows.step()) {
            StoredTable::Row row{rows.int64(0), {}};
            for (int c = 1; c < rows.columnCount(); ++c)
                row.values.push_back(rows.raw(c));
            table.rows.push_back(std::move(row));
        }
        out.tables.push_back(std::move(table));
    }
    Statement high(db, QStringLiteral("SELECT seq FROM sqlite_sequence WHERE name = 'DRUG_ZB'"));
    out.drugIdHighWater = high.step() ? high.int64(0) : 0;
    runScript(db, QStringLiteral("COMMIT"));
    return out;
}

void writeFile(const QString &path, const StoredRows &rows, bool overwrite)
{
    NewDatabaseFile file(path, overwrite);
    sqlite3 *db = file.db();
    runScript(db, QStringLiteral("BEGIN"));
    // The rows go in as they are, 类别 included: the triggers that keep it
    // and the search index's are set aside meanwhile and made again after.
    QStringList triggers;
    {
        Statement list(db, QStringLiteral("SELECT name, sql FROM sqlite_master WHERE type = 'trigger' ORDER BY rowid"));
        QStringList names;
        while (list.step()) {
            names << list.text(0);
            triggers << list.text(1);
        }
        for (const QString &name : names)
            runScript(db, QStringLiteral("DROP TRIGGER \"%1\"").arg(name));
    }
    for (const StoredTable &table : rows.tables) {
        QStringList marks(table.columns.size() + 1, QStringLiteral("?"));
        Statement insert(db, QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                                 .arg(table.name, quotedColumns(table.name).join(QLatin1Char(',')),
                                      marks.join(QLatin1Char(','))));
        for (const StoredTable::Row &row : table.rows) {
            insert.bind(1, row.key);
            for (size_t c = 0; c < row.values.size(); ++c)
                insert.bind(int(c) + 2, row.values[c]);
            insert.step();
            insert.reset();
        }
    }
    {
        Statement high(db, QStringLiteral("INSERT OR REPLACE INTO sqlite_sequence (rowid, name, seq) "
                                          "SELECT (SELECT rowid FROM sqlite_sequence WHERE name = 'DRUG_ZB'), "
                                          "'DRUG_ZB', max(coalesce((SELECT max(ID) FROM DRUG_ZB), 0), ?)"));
        high.bind(1, rows.drugIdHighWater);
        high.step();
    }
    for (const QString &sql : triggers)
        runScript(db, sql);
    index::rebuild(db);
    runScript(db, QStringLiteral("COMMIT"));
    file.finish();
}

} // namespace data
