#pragma once

#include "data/Progress.h"

struct sqlite3;

namespace data {

// Brings a drug file of an earlier build up to SchemaVersion in one
// transaction: the indexes made from the rows are dropped, made anew and
// filled; no row changes. A file of a newer version, one that is not a
// drug file, and one that cannot be written now (read-only, or held by
// another program past the busy timeout, a reader included) are left as
// they are. Reports its steps to `progress`, when given.
void upgradeSchema(sqlite3 *db, const Progress &progress = {});

} // namespace data
