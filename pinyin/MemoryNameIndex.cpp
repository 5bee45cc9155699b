#include "pinyin/MemoryNameIndex.h"

#include <algorithm>

namespace pinyin {


MemoryNameIndex::MemoryNameIndex(std::vector<Drug> drugs, const ReviewedReadings &reviewed) : m_drugs(std::move(drugs))
{
    for (const Drug &d : m_drugs) {
        std::vector<KeyRow> rows = keyRows(d.id, d.name, d.otherNames, reviewed);
        m_rows.insert(m_rows.end(), rows.begin(), rows.end());
    }
}

std::vector<NamedDrug> MemoryNameIndex::namesStartingWith(const QString &prefix, int limit)
{
    std::vector<NamedDrug> found;
    for (const Drug &d : m_drugs)
        if (d.name.startsWith(prefix, Qt::CaseInsensitive))
            found.push_back({d.id, nameLength(d.name), d.name});
    keepFirstByLength(found, limit);
    return found;
}

std::vector<KeyHit> MemoryNameIndex::keysStartingWith(KeyKind kind, const QString &prefix, bool exact, int limit)
{
    std::vector<KeyHit> hits;
    for (const KeyRow &r : m_rows)
        if (r.kind == kind && (exact ? r.key == prefix : r.key.startsWith(prefix)))
            hits.push_back({r.id, r.nameLength, r.other});
    keepFirstByLength(hits, limit);
    return hits;
}

QHash<qint64, DrugNames> MemoryNameIndex::names(const std::vector<qint64> &ids)
{
    QHash<qint64, DrugNames> out;
    for (const Drug &d : m_drugs)
        if (std::find(ids.begin(), ids.end(), d.id) != ids.end())
            out.insert(d.id, {d.name, d.otherNames});
    return out;
}

} // namespace pinyin
