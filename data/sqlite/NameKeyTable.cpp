#include "data/sqlite/NameKeyTable.h"
#include "data/Connection.h"
#include "data/sqlite/NameKeyWriter.h"

namespace data {

QString NameKeyTable::prefixEnd(const QString &prefix)
{
    // Text compares as UTF-8 bytes (NOCASE folds ASCII letters alone), and
    // no character is above U+10FFFF.
    return prefix + QString::fromUcs4(U"\U0010FFFF");
}

// Both read every row in the range and leave ordering to the caller: a
// short prefix matches thousands of rows, and sorting them in C++ is many
// times faster than the engine's sorter.
std::vector<pinyin::NamedDrug> NameKeyTable::namesStartingWith(const QString &prefix, int limit)
{
    Statement &s = m_connection.cached(QStringLiteral(
        "SELECT ID, length(药物名称) FROM DRUG_ZB WHERE 药物名称 >= ?1 AND 药物名称 < ?2"));
    s.bind(1, prefix);
    s.bind(2, prefixEnd(prefix));
    std::vector<pinyin::NamedDrug> found;
    while (s.step())
        found.push_back({s.int64(0), int(s.int64(1)), {}});
    pinyin::keepFirstByLength(found, limit);
    Statement &name = m_connection.cached(QStringLiteral("SELECT 药物名称 FROM DRUG_ZB WHERE ID = ?1"));
    for (pinyin::NamedDrug &d : found) {
        name.reset();
        name.bind(1, d.id);
        if (name.step())
            d.name = name.text(0);
    }
    // A statement stopped at a row keeps the file's read lock, and no other
    // program could save until the next look-up.
    name.reset();
    return found;
}

bool NameKeyTable::keysCurrent()
{
    if (m_current < 0)
        m_current = namekeys::current(m_connection);
    return m_current;
}

std::vector<pinyin::KeyHit> NameKeyTable::keysStartingWith(pinyin::KeyKind kind, const QString &prefix, bool exact, int limit)
{
    if (!keysCurrent())
        return {};
    Statement &s = m_connection.cached(QStringLiteral(
        "SELECT ID, LEN, OTHER FROM DRUG_NAME_KEY WHERE KIND = ?1 AND K BETWEEN ?2 AND ?3 "
        "AND ID NOT IN (SELECT ID FROM DRUG_ZB_DIRTY)"));
    s.bind(1, qint64(kind));
    s.bind(2, prefix);
    s.bind(3, exact ? prefix : prefixEnd(prefix));
    std::vector<pinyin::KeyHit> found;
    while (s.step())
        found.push_back({s.int64(0), int(s.int64(1)), s.isNull(2) ? -1 : int(s.int64(2))});
    pinyin::keepFirstByLength(found, limit);
    return found;
}

QHash<qint64, pinyin::DrugNames> NameKeyTable::names(const std::vector<qint64> &ids)
{
    Statement &s = m_connection.cached(QStringLiteral("SELECT 药物名称, 别名 FROM DRUG_ZB WHERE ID = ?1"));
    QHash<qint64, pinyin::DrugNames> out;
    for (qint64 id : ids) {
        s.reset();
        s.bind(1, id);
        if (s.step())
            out.insert(id, {s.text(0), s.text(1)});
    }
    s.reset();
    return out;
}

} // namespace data
