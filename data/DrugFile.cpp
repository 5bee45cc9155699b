#include "data/DrugFile.h"
#include "data/Connection.h"
#include "data/sqlite/LongLike.h"
#include "data/sqlite/NameKeyWriter.h"
#include "data/sqlite/SchemaUpgrade.h"

namespace data {

void useDrugFile(Connection &connection)
{
    connection.setOpenStep([](sqlite3 *db) {
        registerLongLike(db);
        upgradeSchema(db);
        namekeys::refresh(db);
    });
}

} // namespace data
