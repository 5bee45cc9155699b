#pragma once

#include <QString>

struct sqlite3;

namespace data {

// Runs SQL text of any number of statements, such as schema.sql; throws
// DbError with the engine's text. Only for our own fixed text: nothing can
// be bound to it.
void runScript(sqlite3 *db, const QString &sql);

} // namespace data
