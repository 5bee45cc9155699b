#pragma once

#include "data/Query.h"

#include <QByteArrayView>
#include <QString>

namespace data::pg {

// A copy to the server is exact or does not happen: the server's text holds
// valid UTF-8 without NUL, and no BLOB, so a file value outside that fails
// the copy. Text as UTF-8 (RFC 3629: no surrogates, nothing past U+10FFFF,
// no overlong forms), as the server checks it.
bool isServerText(QByteArrayView bytes);

// Empty when the value of a text column has an exact place on the server;
// else why not.
QString unfitForServer(const RawValue &value);

// Throws DbError naming the table, the row's ID and the column.
void requireFitForServer(const RawValue &value, const QString &table, qint64 id, const QString &column);

} // namespace data::pg
