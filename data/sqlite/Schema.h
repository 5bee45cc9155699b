#pragma once

#include <QString>

struct sqlite3;

namespace data {

// PRAGMA user_version of the files this build makes; files of earlier
// builds have 0.
inline constexpr int SchemaVersion = 2;

// The tables (schema.sql), then what is made from their rows (derived.sql).
QString schemaSql();
QString derivedSql();

int userVersion(sqlite3 *db);

} // namespace data
