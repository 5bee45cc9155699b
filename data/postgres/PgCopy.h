#pragma once

#include "data/StoredRows.h"

namespace data::pg {

class Connection;

// Every row of the server's tables as stored, read in one snapshot.
StoredRows readServer(Connection &connection);

// Writes `rows` to the server in one transaction, keys and values exactly
// as given; tables that are missing are made first. A value the server
// cannot hold as it is fails the whole copy by table, ID and column before
// anything is sent. Tables that hold a drug are refused unless `replace`,
// which empties all four in the same transaction. Every client is told that
// everything changed.
void writeServer(Connection &connection, const StoredRows &rows, bool replace);

// One value in COPY's text form: \N is NULL, and a backslash, a line break,
// a carriage return and a tab are escaped; everything else goes as it is.
void appendCopyValue(QByteArray &out, const RawValue &value);

} // namespace data::pg
