#include "data/DatabaseCopy.h"
#include "data/postgres/PgConnection.h"
#include "data/postgres/PgCopy.h"
#include "data/sqlite/FileCopy.h"

#include <QFileInfo>
#include <QRegularExpression>

namespace data {

bool isServerName(const QString &name)
{
    static const QRegularExpression conninfo(QStringLiteral("^\\s*[A-Za-z_]+\\s*="));
    return name.startsWith(QLatin1String("postgresql://")) || name.startsWith(QLatin1String("postgres://"))
           || conninfo.match(name).hasMatch();
}

bool holdsDrugs(const QString &name)
{
    if (!isServerName(name))
        return QFileInfo::exists(name);
    pg::Connection connection;
    connection.open(name);
    const auto yes = [&](const QString &sql) { return connection.exec(sql).text(0, 0) == QLatin1String("t"); };
    return yes(QStringLiteral("SELECT to_regclass('drug_zb') IS NOT NULL"))
           && yes(QStringLiteral("SELECT EXISTS (SELECT 1 FROM DRUG_ZB)"));
}

StoredRows readDatabase(const QString &name)
{
    if (!isServerName(name))
        return readFile(name);
    pg::Connection connection;
    connection.open(name);
    return pg::readServer(connection);
}

void writeDatabase(const QString &name, const StoredRows &rows, bool force)
{
    if (!isServerName(name)) {
        writeFile(name, rows, force);
        return;
    }
    pg::Connection connection;
    connection.open(name);
    pg::writeServer(connection, rows, force);
}

} // namespace data
