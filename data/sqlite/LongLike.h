#pragma once

#include <QByteArrayView>

struct sqlite3;

namespace data {

// The engine's LIKE for patterns longer than it takes (50,000 bytes, "LIKE
// or GLOB pattern too complex"), with the same meaning as LIKE without an
// ESCAPE: % any run of characters, _ any one character, the Latin letters
// A-Z equal to a-z, every other character only to itself. Text is read as
// the engine reads it: UTF-8, up to its first NUL. No pattern is too long
// or too complex: the time is at most the product of the lengths.
bool likeMatches(QByteArrayView pattern, QByteArrayView value);

// Registers long_like(pattern, value) on the connection: 1 for a match, 0
// for none, NULL when either is NULL, as `value LIKE pattern` gives.
void registerLongLike(sqlite3 *db);

} // namespace data
