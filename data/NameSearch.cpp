#include "data/NameSearch.h"
#include "data/Connection.h"
#include "data/Statement.h"
#include "data/postgres/PgNameIndex.h"
#include "data/sqlite/NameKeyTable.h"
#include "data/sqlite/NameKeyWriter.h"

#include <algorithm>

namespace data {

namespace {

// Kinds 0, 1, 5 and 6 are a name's readings and initials; 3 and 4 an
// other name's.
QString kinds(bool otherNames)
{
    return otherNames ? QStringLiteral("3, 4") : QStringLiteral("0, 1, 5, 6");
}

} // namespace

std::vector<pinyin::NameMatch> findDrugNames(Connection &connection, QStringView typed, int limit)
{
    if (connection.isServer()) {
        pg::PgNameIndex index(connection);
        return pinyin::findNames(index, typed, limit);
    }
    NameKeyTable table(connection);
    return pinyin::findNames(table, typed, limit);
}

bool nameKeysUsable(Connection &connection)
{
    return connection.engine().nameKeysUsable();
}

QString nameKeyTest(bool otherNames, const QString &from, const QString &to)
{
    return QStringLiteral("ID in (select ID from DRUG_NAME_KEY where KIND in (%1) and K between %2 and %3 "
                          "and ID not in (select ID from DRUG_ZB_DIRTY))")
        .arg(kinds(otherNames), from, to);
}

std::pair<QString, QString> nameKeyBounds(const QString &prefix)
{
    return {prefix, NameKeyTable::prefixEnd(prefix)};
}

std::vector<qint64> nameKeyIds(Connection &connection, bool otherNames, const QString &prefix)
{
    Statement &s = connection.cached(QStringLiteral("select ID from DRUG_NAME_KEY where KIND in (%1) and K between ?1 and ?2 "
                                                    "and ID not in (select ID from DRUG_ZB_DIRTY)")
                                         .arg(kinds(otherNames)));
    const auto [from, to] = nameKeyBounds(prefix);
    s.bind(1, from);
    s.bind(2, to);
    std::vector<qint64> ids;
    while (s.step())
        ids.push_back(s.int64(0));
    s.reset();
    std::sort(ids.begin(), ids.end());
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
    return ids;
}

} // namespace data
