#include "data/postgres/PgNameIndex.h"
#include "data/Connection.h"
#include "data/NameSearch.h"

namespace data::pg {

std::vector<pinyin::NamedDrug> PgNameIndex::namesStartingWith(const QString &prefix, int limit)
{
    // The name index's range: Latin letters in either case, as the file's
    // NOCASE names compare; % and _ are no wildcards here.
    Query &q = m_connection.query(QStringLiteral(
        "SELECT ID, length(药物名称), 药物名称 FROM DRUG_ZB WHERE zelkano_fold(药物名称) >= zelkano_fold(?1) "
        "AND zelkano_fold(药物名称) < zelkano_fold(?1) || U&'\\+10FFFF'"));
    q.bind(1, prefix);
    std::vector<pinyin::NamedDrug> found;
    while (q.step())
        found.push_back({q.int64(0), int(q.int64(1)), q.text(2)});
    q.reset();
    pinyin::keepFirstByLength(found, limit);
    return found;
}

std::vector<pinyin::KeyHit> PgNameIndex::keysStartingWith(pinyin::KeyKind kind, const QString &prefix, bool exact,
                                                          int limit)
{
    if (m_usable < 0)
        m_usable = nameKeysUsable(m_connection);
    if (!m_usable)
        return {};
    Query &q = m_connection.query(QStringLiteral(
        "SELECT ID, LEN, OTHER FROM DRUG_NAME_KEY WHERE KIND = ?1 AND K >= ?2 AND K < ?3 "
        "AND ID NOT IN (SELECT ID FROM DRUG_ZB_DIRTY)"));
    const auto [from, to] = nameKeyBounds(prefix);
    q.bind(1, qint64(kind));
    q.bind(2, from);
    // An exact key is the only text >= it and < it followed by the lowest character.
    q.bind(3, exact ? prefix + QChar(1) : to);
    std::vector<pinyin::KeyHit> found;
    while (q.step())
        found.push_back({q.int64(0), int(q.int64(1)), q.isNull(2) ? -1 : int(q.int64(2))});
    q.reset();
    pinyin::keepFirstByLength(found, limit);
    return found;
}

QHash<qint64, pinyin::DrugNames> PgNameIndex::names(const std::vector<qint64> &ids)
{
    Query &q = m_connection.query(QStringLiteral("SELECT 药物名称, 别名 FROM DRUG_ZB WHERE ID = ?1"));
    QHash<qint64, pinyin::DrugNames> out;
    for (const qint64 id : ids) {
        q.bind(1, id);
        if (q.step())
            out.insert(id, {q.text(0), q.text(1)});
        q.reset();
    }
    return out;
}

} // namespace data::pg
