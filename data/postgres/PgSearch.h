#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <optional>
#include <vector>

namespace data::pg {

// LIKE as the file's engine means it, on the server: % any run of
// characters, _ exactly one, no escape character, and only the Latin
// letters A-Z equal to a-z. The server's own LIKE would take \ as an escape
// and, with ILIKE, fold letters of every script. `parameter` is bound to
// `pattern`, whose letters decide how much of the value must be folded:
// none for a pattern without Latin letters, which is the quickest.
QString likeTest(const QString &column, const QString &parameter, QStringView pattern);

// The keys of the search index that a value must hold to match
// LIKE '%typed%': every character and adjacent pair of each run between
// wildcards, read as LIKE reads them. At most `limit` of them, pairs first:
// fewer keys name more candidates, never fewer, and LIKE tests them all.
QStringList requiredKeys(QStringView typed, int limit = 24);

// "The value holds every key": served by the field's GIN index. `parameter`
// is bound to arrayLiteral() of the keys.
QString holdsKeysTest(const QString &column, const QString &parameter);
QByteArray arrayLiteral(const QStringList &keys);

class Connection;

// Whether the index pays for a test: the server's estimate of the rows it
// names is at most this share of the table. A bitmap over most of the
// table costs several times a plain scan of it.
constexpr double SelectiveShare = 0.1;
// The rows the server expects `SELECT 1 FROM DRUG_ZB WHERE <where>` to give.
double estimatedRows(Connection &connection, const QString &where, const std::vector<std::optional<QByteArray>> &params);
double drugCount(Connection &connection);

} // namespace data::pg
