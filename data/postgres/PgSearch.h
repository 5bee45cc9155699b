#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QStringView>

namespace data::pg {

// LIKE as the file's engine means it, on the server: % any run of
// characters, _ exactly one, no escape character, and only the Latin
// letters A-Z equal to a-z. The server's own LIKE would take \ as an escape
// and, with ILIKE, fold letters of every script.
QString likeTest(const QString &column, const QString &parameter);

// The keys of the search index that a value must hold to match
// LIKE '%typed%': every character and adjacent pair of each run between
// wildcards, read as LIKE reads them. At most `limit` of them, pairs first:
// fewer keys name more candidates, never fewer, and LIKE tests them all.
QStringList requiredKeys(QStringView typed, int limit = 24);

// "The value holds every key": served by the field's GIN index. `parameter`
// is bound to arrayLiteral() of the keys.
QString holdsKeysTest(const QString &column, const QString &parameter);
QByteArray arrayLiteral(const QStringList &keys);

} // namespace data::pg
