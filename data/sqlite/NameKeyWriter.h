#pragma once

#include <functional>

struct sqlite3;

namespace data {
class Connection;
}

// Writing the drugs' name keys (DRUG_NAME_KEY), always inside the caller's
// transaction unless said otherwise.
namespace data::namekeys {

// Whether the file's keys were made by this program's readings
// (DRUG_NAME_KEY_SOURCE); false for a file without them.
bool current(Connection &connection);

// Makes every drug's keys anew from DRUG_ZB and records their source, telling
// `done` the share done. The builder and the upgrade call it. `alongside`,
// work on the same file that does not touch the keys, runs on this thread
// while the keys are made on another.
void rebuild(sqlite3 *db, const std::function<void()> &alongside, const std::function<void(int percent)> &done = {});

// Takes in the keys of the rows written since the last fold: the rows the
// search index's fold takes next, so it runs just before that one. Does
// nothing while the keys are not current.
void fold(Connection &connection);

// At opening, in a transaction of its own: makes the keys anew when the
// file's were made from other readings (a build with reviewed readings of
// its own). A file that cannot be written now keeps them, unused, until a
// later open.
void refresh(sqlite3 *db);

} // namespace data::namekeys
