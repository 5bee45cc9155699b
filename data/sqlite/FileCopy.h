#pragma once

#include "data/StoredRows.h"

namespace data {

// Every row of a drug file exactly as stored, read without changing the
// file (no upgrade).
StoredRows readFile(const QString &path);

// A new drug file holding `rows` exactly: keys, values byte for byte and
// the highest drug ID ever given; the search index is made from them.
// Fails if the file exists and may not be replaced.
void writeFile(const QString &path, const StoredRows &rows, bool overwrite);

} // namespace data
