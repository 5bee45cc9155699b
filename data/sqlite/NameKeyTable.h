#pragma once

#include "pinyin/NameIndex.h"

namespace data {

class Connection;

// The drugs' names and the keys they are found by besides the name (pinyin,
// initials, other names), as the database keeps them: names in DRUG_ZB,
// keys in DRUG_NAME_KEY. The keys of a row written since the last fold
// (DRUG_ZB_DIRTY) are not trusted, so such a row is found by its name only;
// so is every row of a file whose keys are not this program's.
class NameKeyTable : public pinyin::NameIndex
{
public:
    explicit NameKeyTable(Connection &connection) : m_connection(connection) {}

    std::vector<pinyin::NamedDrug> namesStartingWith(const QString &prefix, int limit) override;
    std::vector<pinyin::KeyHit> keysStartingWith(pinyin::KeyKind kind, const QString &prefix, bool exact, int limit) override;
    QHash<qint64, pinyin::DrugNames> names(const std::vector<qint64> &ids) override;

    // Every text that starts with `prefix` is >= prefix and < this.
    static QString prefixEnd(const QString &prefix);

private:
    bool keysCurrent();

    Connection &m_connection;
    int m_current = -1; // not asked yet
};

} // namespace data
