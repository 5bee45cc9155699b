#pragma once

#include "data/Progress.h"

namespace data {

class Connection;

// Makes `connection` open its file as the program's drug file: every handle
// it opens, the opens on demand included, gets our LIKE for patterns too
// long for the engine's (long_like), and the first open of a file of an
// older layout upgrades it, reporting to `progress`. A file another program
// holds is opened as it is, and upgraded at a later open.
void useDrugFile(Connection &connection, Progress progress = {});

} // namespace data
