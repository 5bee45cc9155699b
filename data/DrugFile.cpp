#include "data/DrugFile.h"
#include "data/Connection.h"
#include "data/sqlite/LongLike.h"
#include "data/sqlite/NameKeyWriter.h"
#include "data/sqlite/SchemaUpgrade.h"

namespace data {

void useDrugFile(Connection &connection, Progress progress)
{
    connection.setOpenStep([progress = std::move(progress)](sqlite3 *db) {
        registerLongLike(db);
        upgradeSchema(db, progress);
        namekeys::refresh(db);
    });
}

} // namespace data
