#include "data/sqlite/Script.h"
#include "data/DbError.h"

#include <sqlite3.h>

namespace data {

void runScript(sqlite3 *db, const QString &sql)
{
    char *error = nullptr;
    if (sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, &error) != SQLITE_OK) {
        const QString text = QString::fromUtf8(error ? error : sqlite3_errmsg(db));
        sqlite3_free(error);
        throw DbError(text);
    }
}

} // namespace data
