#include "data/postgres/PgSchema.h"
#include "data/postgres/PgConnection.h"
#include "data/postgres/PgNameKeys.h"

#include <QFile>

namespace data::pg {

namespace {

QString resource(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw DbError(QStringLiteral("程序缺少资源 %1").arg(path));
    return QString::fromUtf8(file.readAll());
}

// What a layout before this one may have made in the place of derived.sql's
// objects; CASCADE takes their indexes and triggers with them.
const char DropDerived[] = "DROP FUNCTION IF EXISTS zelkano_keys(text), zelkano_notify(), zelkano_notify_drugs(), "
                           "zelkano_name_keys_dirty() CASCADE;"
                           "DROP INDEX IF EXISTS DRUG_ZB_LB;"
                           "DROP TABLE IF EXISTS DRUG_NAME_KEY, DRUG_NAME_KEY_SOURCE, DRUG_ZB_DIRTY;";

void setVersion(Connection &connection, int version)
{
    connection.execScript(QStringLiteral("DELETE FROM ZELKANO_SCHEMA"));
    connection.exec(QStringLiteral("INSERT INTO ZELKANO_SCHEMA (VERSION) VALUES ($1)"),
                    {QByteArray::number(version)});
}

} // namespace

QString Schema::tablesSql()
{
    return resource(QStringLiteral(":/data/postgres/schema.sql"));
}

QString Schema::dropDerivedSql()
{
    return QString::fromLatin1(DropDerived);
}

QString Schema::derivedSql()
{
    return resource(QStringLiteral(":/data/postgres/derived.sql"));
}

void Schema::create(Connection &connection)
{
    connection.execScript(tablesSql());
    connection.execScript(derivedSql());
    namekeys::rebuild(connection);
    setVersion(connection, Version);
}

int Schema::version(Connection &connection)
{
    const Result table = connection.exec(QStringLiteral("SELECT to_regclass('zelkano_schema') IS NOT NULL"));
    if (table.text(0, 0) != QLatin1String("t"))
        return 0;
    const Result version = connection.exec(QStringLiteral("SELECT coalesce(max(VERSION), 0) FROM ZELKANO_SCHEMA"));
    return int(version.int64(0, 0));
}

bool Schema::ownsTables(Connection &connection)
{
    const Result owner = connection.exec(
        QStringLiteral("SELECT pg_has_role(relowner, 'USAGE') FROM pg_class WHERE oid = 'drug_zb'::regclass"));
    return owner.rows() == 1 && owner.text(0, 0) == QLatin1String("t");
}

int Schema::prepare(Connection &connection)
{
    // LIKE's "_" is one character, and the keys are characters, only in UTF-8.
    const Result encoding = connection.exec(QStringLiteral("SELECT pg_encoding_to_char(encoding) FROM pg_database "
                                                           "WHERE datname = current_database()"));
    if (encoding.rows() != 1 || encoding.text(0, 0) != QLatin1String("UTF8"))
        throw PgError(QStringLiteral("数据库的编码不是 UTF8，而是 %1").arg(encoding.text(0, 0)), {});
    // A missing table fails here, with the server's words for it.
    connection.exec(QStringLiteral("SELECT 1 FROM DRUG_LB, DRUG_ZB, HELP_LB, HELP_ZB LIMIT 0"));
    int current = version(connection);
    if (current >= Version || !ownsTables(connection))
        return current;
    Transaction transaction(connection);
    // Two programs connecting at once upgrade once.
    connection.execScript(QStringLiteral("SELECT pg_advisory_xact_lock(hashtext('zelkano_schema'))"));
    current = version(connection);
    if (current >= Version)
        return current;
    connection.execScript(QStringLiteral("CREATE TABLE IF NOT EXISTS ZELKANO_SCHEMA (VERSION integer NOT NULL)"));
    connection.execScript(dropDerivedSql());
    connection.execScript(derivedSql());
    namekeys::rebuild(connection);
    setVersion(connection, Version);
    transaction.commit();
    return Version;
}

} // namespace data::pg
