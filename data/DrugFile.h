#pragma once

namespace data {

class Connection;

// Makes `connection` open its file as the program's drug file: every handle
// it opens, the opens on demand included, gets our LIKE for patterns too
// long for the engine's (long_like), and the first open of a file of an
// older layout upgrades it.
void useDrugFile(Connection &connection);

} // namespace data
