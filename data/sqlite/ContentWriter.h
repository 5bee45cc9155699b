#pragma once

#include "data/DrugContent.h"
#include "data/Progress.h"

struct sqlite3;

namespace data {

// Writes `content` into a new database with the schema, the search index
// filled from it, in one transaction. IDs given are kept; a drug whose LB
// names no category keeps the 类别 it came with. Reports its steps to
// `progress`, when given.
void writeContent(sqlite3 *db, const DrugContent &content, const Progress &progress = {});

} // namespace data
