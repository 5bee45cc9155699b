#include "pinyin/MemoryNameIndex.h"

#include <algorithm>
#include <map>
#include <tuple>

namespace pinyin {

namespace {

template <class T>
std::vector<T> firstByLength(std::vector<T> found, int limit)
{
    std::sort(found.begin(), found.end(),
              [](const T &a, const T &b) { return std::tie(a.nameLength, a.id) < std::tie(b.nameLength, b.id); });
    if (int(found.size()) > limit)
        found.resize(size_t(limit));
    return found;
}

} // namespace

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
    return firstByLength(std::move(found), limit);
}

std::vector<KeyHit> MemoryNameIndex::keysStartingWith(KeyKind kind, const QString &prefix, bool exact, int limit)
{
    std::map<qint64, KeyHit> found;
    for (const KeyRow &r : m_rows)
        if (r.kind == kind && (exact ? r.key == prefix : r.key.startsWith(prefix)))
            found.try_emplace(r.id, KeyHit{r.id, r.nameLength, r.other});
    std::vector<KeyHit> hits;
    for (const auto &[id, hit] : found)
        hits.push_back(hit);
    return firstByLength(std::move(hits), limit);
}

QHash<qint64, QString> MemoryNameIndex::names(const std::vector<qint64> &ids)
{
    QHash<qint64, QString> out;
    for (const Drug &d : m_drugs)
        if (std::find(ids.begin(), ids.end(), d.id) != ids.end())
            out.insert(d.id, d.name);
    return out;
}

} // namespace pinyin
