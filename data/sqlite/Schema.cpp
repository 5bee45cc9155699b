#include "data/sqlite/Schema.h"
#include "data/DbError.h"
#include "data/Statement.h"

#include <QFile>

namespace data {

namespace {

QString resourceText(const QString &name)
{
    QFile file(QStringLiteral(":/data/") + name);
    if (!file.open(QIODevice::ReadOnly))
        throw DbError(QStringLiteral("找不到数据库结构定义"));
    return QString::fromUtf8(file.readAll());
}

} // namespace

QString schemaSql()
{
    return resourceText(QStringLiteral("schema.sql")) + QLatin1Char('\n') + derivedSql();
}

QString derivedSql()
{
    return resourceText(QStringLiteral("derived.sql"));
}

int userVersion(sqlite3 *db)
{
    Statement version(db, QStringLiteral("PRAGMA user_version"));
    return version.step() ? int(version.int64(0)) : 0;
}

} // namespace data
