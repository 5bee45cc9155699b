#pragma once

struct sqlite3;

namespace data {
class Connection;
}

// Writing the search index's lists (DRUG_SEARCH_INDEX), always inside the
// caller's transaction.
namespace data::index {

// Makes the whole index anew from DRUG_ZB. The builder and the upgrade of
// an older file call it.
void rebuild(sqlite3 *db);

// Folds up to FoldLimit dirty rows into the lists; any left over stay
// tested by every search. The file must have the index.
inline constexpr int FoldLimit = 2000;
void fold(Connection &connection);

} // namespace data::index
