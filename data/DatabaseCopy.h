#pragma once

#include "data/StoredRows.h"

#include <QString>

namespace data {

// A database is named by a file path, or by a libpq connection string or
// URI for a server ("postgresql://host/db", "service=zelkano", "host=...").
bool isServerName(const QString &name);

// True for a file that exists, or a server whose tables hold a drug.
bool holdsDrugs(const QString &name);

// Every row of the database as stored.
StoredRows readDatabase(const QString &name);

// Writes `rows` exactly into the named database. A file is made anew (an
// existing one only with `force`); a server's tables are refused while they
// hold a drug unless `force`, which replaces them in one transaction.
void writeDatabase(const QString &name, const StoredRows &rows, bool force);

} // namespace data
