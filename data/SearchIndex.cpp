#include "data/SearchIndex.h"
#include "data/Connection.h"
#include "data/DbError.h"
#include "data/Statement.h"
#include "data/sqlite/ListCodec.h"
#include "data/sqlite/NameKeyWriter.h"
#include "data/sqlite/Schema.h"
#include "data/sqlite/SearchKeys.h"
#include "data/sqlite/SearchLists.h"

#include <algorithm>
#include <iterator>

namespace data {

using namespace index;

bool SearchIndex::requiredKeys(int field, QStringView typed, KeyList &out)
{
    return index::requiredKeys(field, typed, out);
}

bool SearchIndex::available()
{
    // A newer file may lay its index out otherwise. The triggers belong to
    // the index: without them a write could hide a row. Each statement is
    // reset at once, so no read lock outlives the check.
    Statement &version = m_connection.cached(QStringLiteral("pragma user_version"));
    const bool current = version.step() && version.int64(0) == SchemaVersion;
    version.reset();
    if (!current)
        return false;
    Statement &parts = m_connection.cached(QStringLiteral(
        "select count(*) from sqlite_master where name in ('DRUG_SEARCH_INDEX','DRUG_SEARCH_TOP','DRUG_ZB_DIRTY',"
        "'DRUG_ZB_SEARCH_AI','DRUG_ZB_SEARCH_AU','DRUG_ZB_SEARCH_AD')"));
    const bool complete = parts.step() && parts.int64(0) == 6;
    parts.reset();
    return complete;
}

SearchIndex::Candidates SearchIndex::candidates(KeyList required, const std::vector<std::pair<Key, Key>> &ordered)
{
    Candidates out;
    sortUnique(required);
    // Pairs first: they are rarer, so chunks drop out sooner.
    std::stable_partition(required.begin(), required.end(), [](Key k) { return (k & SecondMask) != 0; });
    // The places of the keys an order asks about, per chunk.
    std::vector<std::pair<Key, Places>> placed;
    for (const auto &[first, last] : ordered) {
        for (const Key key : {first, last}) {
            if (std::find_if(placed.begin(), placed.end(), [&](const auto &p) { return p.first == key; }) == placed.end())
                placed.emplace_back(key, Places{});
        }
    }
    const auto placesOf = [&](Key key) -> Places * {
        for (auto &p : placed) {
            if (p.first == key)
                return &p.second;
        }
        return nullptr;
    };
    const auto read = [&](QByteArrayView blob, Key key, Bits &bits) {
        Places *places = placesOf(key);
        if (!decode(blob, bits, places) && places)
            damaged();
    };
    if (!required.empty()) {
        // The first key's chunks in order, skipping those without it; the
        // other keys looked up in each.
        Statement &next = m_connection.cached(
            QStringLiteral("select K, IDS from DRUG_SEARCH_INDEX where K >= ? order by K limit 1"));
        Statement &row = m_connection.cached(QStringLiteral("select IDS from DRUG_SEARCH_INDEX where K = ?"));
        const Key first = required.front();
        Bits bits, more;
        qint64 chunk = 0;
        try {
            while (true) {
                next.reset();
                next.bind(1, rowKey(chunk, first));
                if (!next.step())
                    break;
                const Key found = Key(next.int64(0));
                const qint64 at = qint64(found >> ChunkPosition);
                if ((found & KeyMask) != first) {
                    chunk = (found & KeyMask) < first ? at : at + 1;
                    continue;
                }
                read(next.bytes(1), first, bits);
                next.reset();
                bool any = true;
                for (size_t n = 1; n < required.size() && any; ++n) {
                    row.reset();
                    row.bind(1, rowKey(at, required[n]));
                    any = row.step();
                    if (!any)
                        break;
                    read(row.bytes(0), required[n], more);
                    std::uint64_t left = 0;
                    for (size_t w = 0; w < bits.size(); ++w)
                        left |= bits[w] &= more[w];
                    any = left != 0;
                }
                row.reset();
                if (any) {
                    forEachOffset(bits, [&](int offset) {
                        // Each order holds, fails, or cannot be told from the
                        // places (the same coarse place).
                        bool sure = true;
                        for (const auto &[a, b] : ordered) {
                            const int begins = (*placesOf(a))[size_t(offset)] >> 8;
                            const int ends = (*placesOf(b))[size_t(offset)] & 0xFF;
                            if (begins > ends || (begins == ends && begins < 128))
                                return;
                            sure = sure && begins < ends;
                        }
                        (sure ? out.held : out.unsure).push_back((at << ChunkShift) + offset);
                    });
                }
                chunk = at + 1;
            }
        } catch (...) {
            next.reset();
            row.reset();
            throw;
        }
        next.reset();
    }
    Statement &dirty = m_connection.cached(QStringLiteral("select ID from DRUG_ZB_DIRTY order by ID"));
    while (dirty.step())
        out.dirty.push_back(dirty.int64(0));
    dirty.reset();
    if (!out.dirty.empty()) {
        for (std::vector<qint64> *list : {&out.held, &out.unsure}) {
            std::vector<qint64> kept;
            std::set_difference(list->begin(), list->end(), out.dirty.begin(), out.dirty.end(), std::back_inserter(kept));
            list->swap(kept);
        }
    }
    return out;
}

std::optional<std::vector<qint64>> SearchIndex::candidatesOfAny(int field, const QStringList &texts, const std::vector<qint64> &also)
{
    if (!available())
        return std::nullopt;
    std::vector<qint64> all = also;
    for (const QString &text : texts) {
        KeyList required;
        requiredKeys(field, text, required);
        if (required.empty())
            return std::nullopt;
        const Candidates found = candidates(std::move(required));
        for (const std::vector<qint64> *list : {&found.held, &found.unsure, &found.dirty})
            all.insert(all.end(), list->begin(), list->end());
    }
    std::sort(all.begin(), all.end());
    all.erase(std::unique(all.begin(), all.end()), all.end());
    return all;
}

void SearchIndex::stage(const QString &table, const std::vector<qint64> &ids)
{
    m_connection.execute(QStringLiteral("create temp table if not exists %1 (ID INTEGER PRIMARY KEY)").arg(table));
    m_connection.cached(QStringLiteral("delete from temp.%1").arg(table)).step();
    // One transaction on the temporary store alone: the drug file is not locked.
    m_connection.execute(QStringLiteral("savepoint stage"));
    try {
        Statement &insert = m_connection.cached(QStringLiteral("insert into temp.%1 (ID) values (?)").arg(table));
        for (const qint64 id : ids) {
            insert.bind(1, id);
            insert.step();
            insert.reset();
        }
    } catch (...) {
        m_connection.execute(QStringLiteral("rollback to stage"));
        m_connection.execute(QStringLiteral("release stage"));
        throw;
    }
    m_connection.execute(QStringLiteral("release stage"));
}

QString SearchIndex::narrow(const std::vector<Criterion> &criteria, const QString &tests)
{
    KeyList required;
    std::vector<std::pair<Key, Key>> ordered;
    bool decides = true;
    for (const Criterion &c : criteria) {
        bool exact = requiredKeys(c.field, c.typed, required);
        Key first = 0, last = 0;
        if (!exact && orderedPair(c.field, c.typed, first, last)) {
            ordered.emplace_back(first, last);
            exact = true;
        }
        decides = decides && exact;
    }
    if (required.empty() || !available())
        return tests;
    Candidates found = candidates(std::move(required), ordered);
    std::vector<qint64> tested;
    std::merge(found.unsure.begin(), found.unsure.end(), found.dirty.begin(), found.dirty.end(), std::back_inserter(tested));
    if (!decides) {
        std::vector<qint64> all;
        std::merge(found.held.begin(), found.held.end(), tested.begin(), tested.end(), std::back_inserter(all));
        stage(QStringLiteral("SEARCH_IDS"), all);
        return QStringLiteral("ID in (select ID from temp.SEARCH_IDS) and ") + tests;
    }
    stage(QStringLiteral("SEARCH_IDS"), found.held);
    // The index has decided but for the rows it cannot speak for, which
    // alone get the tests. Past an eighth of the table, reading the order's
    // index whole (it holds every column the list shows) costs less than a
    // seek into the table per row; the unary + keeps the engine from seeking
    // by ID.
    Statement &top = m_connection.cached(QStringLiteral("select max(ID) from DRUG_ZB"));
    const qint64 drugs = top.step() ? top.int64(0) : 0;
    top.reset();
    const QString id = qint64(found.held.size()) * 8 > drugs ? QStringLiteral("+ID") : QStringLiteral("ID");
    const QString held = id + QStringLiteral(" in (select ID from temp.SEARCH_IDS)");
    if (tested.empty())
        return held;
    stage(QStringLiteral("SEARCH_DIRTY"), tested);
    return QStringLiteral("(%1 or %2 in (select ID from temp.SEARCH_DIRTY) and %3)").arg(held, id, tests);
}

void SearchIndex::update()
{
    if (!available())
        return;
    // The name keys take the same rows in first: the fold below forgets them.
    namekeys::fold(m_connection);
    fold(m_connection);
}

void SearchIndex::rebuild(sqlite3 *db)
{
    index::rebuild(db);
}

} // namespace data
