#include "data/sqlite/SchemaUpgrade.h"
#include "data/DbError.h"
#include "data/Statement.h"
#include "data/sqlite/NameKeyWriter.h"
#include "data/sqlite/Schema.h"
#include "data/sqlite/Script.h"
#include "data/sqlite/SearchLists.h"

#include <sqlite3.h>

namespace data {

void upgradeSchema(sqlite3 *db)
{
    if (userVersion(db) >= SchemaVersion || sqlite3_db_readonly(db, "main") == 1)
        return;
    {
        Statement tables(db, QStringLiteral("select count(*) from sqlite_master where type = 'table' and name in ('DRUG_ZB','DRUG_LB')"));
        if (!tables.step() || tables.int64(0) != 2)
            return;
    }
    const int rc = sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    if ((rc & 0xFF) == SQLITE_BUSY || (rc & 0xFF) == SQLITE_READONLY)
        return; // searched in full until a later open can upgrade it
    if (rc != SQLITE_OK)
        throw DbError(QString::fromUtf8(sqlite3_errmsg(db)));
    try {
        // Another program may have upgraded it meanwhile.
        if (userVersion(db) < SchemaVersion) {
            // Every derived object, of earlier builds and of this one.
            runScript(db, QStringLiteral("DROP TRIGGER IF EXISTS DRUG_ZB_SEARCH_AI;"
                                    "DROP TRIGGER IF EXISTS DRUG_ZB_SEARCH_AU;"
                                    "DROP TRIGGER IF EXISTS DRUG_ZB_SEARCH_AD;"
                                    "DROP TABLE IF EXISTS DRUG_GRAM;"
                                    "DROP TABLE IF EXISTS DRUG_SEARCH_META;"
                                    "DROP TABLE IF EXISTS DRUG_SEARCH_INDEX;"
                                    "DROP TABLE IF EXISTS DRUG_SEARCH_TOP;"
                                    "DROP TABLE IF EXISTS DRUG_ZB_DIRTY;"
                                    "DROP INDEX IF EXISTS DRUG_ZB_LB;"
                                    "DROP TABLE IF EXISTS DRUG_NAME_KEY;"
                                    "DROP TABLE IF EXISTS DRUG_NAME_KEY_SOURCE;"));
            runScript(db, derivedSql());
            index::rebuild(db);
            namekeys::rebuild(db);
        }
        runScript(db, QStringLiteral("COMMIT"));
    } catch (...) {
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
}

} // namespace data
