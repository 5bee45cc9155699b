#include "data/postgres/PgNameIndex.h"
#include "data/Connection.h"

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
