#pragma once

#include "pinyin/NameIndex.h"

namespace data {
class Connection;
}

namespace data::pg {

// The name box's look-up on a server: drugs by the start of their names.
// The server holds no pinyin keys, so it finds no drug by them; the name
// box then lists the names alone, as a file without keys does.
class PgNameIndex : public pinyin::NameIndex
{
public:
    explicit PgNameIndex(Connection &connection) : m_connection(connection) {}

    std::vector<pinyin::NamedDrug> namesStartingWith(const QString &prefix, int limit) override;
    std::vector<pinyin::KeyHit> keysStartingWith(pinyin::KeyKind, const QString &, bool, int) override { return {}; }
    QHash<qint64, pinyin::DrugNames> names(const std::vector<qint64> &ids) override;

private:
    Connection &m_connection;
};

} // namespace data::pg
