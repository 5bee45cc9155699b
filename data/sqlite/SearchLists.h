#pragma once

#include <functional>

struct sqlite3;

namespace data {
class Connection;
}

// Writing the search index's lists (DRUG_SEARCH_INDEX), always inside the
// caller's transaction.
namespace data::index {

// Makes the whole index anew from DRUG_ZB. The builder and the upgrade of
// an older file call it; `done` hears the share of the rows read, 0 to 100.
void rebuild(sqlite3 *db, const std::function<void(int percent)> &done = {});

// Folds up to FoldLimit dirty rows into the lists; any left over stay
// tested by every search. The file must have the index.
inline constexpr int FoldLimit = 2000;
void fold(Connection &connection);

} // namespace data::index
