#pragma once

#include "pinyin/NameIndex.h"

namespace data {
class Connection;
}

namespace data::pg {

// The name box's look-up on a server: drugs by the start of their names,
// and by their name keys (DRUG_NAME_KEY) as the file's NameKeyTable finds
// them. A drug another client wrote and whose keys are not made yet
// (DRUG_ZB_DIRTY) is found by its name alone.
class PgNameIndex : public pinyin::NameIndex
{
public:
    explicit PgNameIndex(Connection &connection) : m_connection(connection) {}

    std::vector<pinyin::NamedDrug> namesStartingWith(const QString &prefix, int limit) override;
    std::vector<pinyin::KeyHit> keysStartingWith(pinyin::KeyKind kind, const QString &prefix, bool exact, int limit) override;
    QHash<qint64, pinyin::DrugNames> names(const std::vector<qint64> &ids) override;

private:
    Connection &m_connection;
    int m_usable = -1; // not asked yet
};

} // namespace data::pg
