#pragma once

namespace data::pg {
class Connection;
}

// Writing the drugs' name keys on a server (derived.sql's DRUG_NAME_KEY),
// inside the caller's transaction. The keys are the program's (pinyin/),
// as the file's are.
namespace data::pg::namekeys {

// Whether the keys were made by this program's readings and this role may
// read them; false for a database of an earlier layout.
bool current(Connection &connection);

// Whether this role may write the keys (a role that only reads may not).
bool writable(Connection &connection);

// Makes every drug's keys anew and records their source; by the role that
// owns the tables.
void rebuild(Connection &connection);

// Makes the keys of the drugs queued in DRUG_ZB_DIRTY anew, and empties the
// queue of them. Rows another transaction is folding or writing now are
// left for later.
void fold(Connection &connection);

// Whether any drug is queued.
bool anyDirty(Connection &connection);

} // namespace data::pg::namekeys
