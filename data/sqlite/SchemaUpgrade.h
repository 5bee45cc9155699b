#pragma once

struct sqlite3;

namespace data {

// Brings a drug file of an earlier build up to SchemaVersion in one
// transaction: the indexes made from the rows are dropped, made anew and
// filled; no row changes. A file of a newer version, one that is not a
// drug file, and one that cannot be written now (read-only, or locked by
// another program past the busy timeout) are left as they are.
void upgradeSchema(sqlite3 *db);

} // namespace data
