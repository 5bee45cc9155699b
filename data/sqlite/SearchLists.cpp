#include "data/sqlite/SearchLists.h"
#include "data/Connection.h"
#include "data/Statement.h"
#include "data/sqlite/ListCodec.h"

#include <algorithm>
#include <unordered_map>

namespace data::index {

void fold(Connection &connection)
{
    // Every change of every folded row, applied to each index row once.
    struct Change {
        qint64 row;
        int offset;
        bool on;
        std::uint16_t places;
    };
    std::vector<Change> changes;
    std::vector<qint64> folded;
    qint64 top = -1; // the highest ID given entries
    {
        Statement &dirty = connection.cached(QStringLiteral("select ID, INDEXED, %1 from DRUG_ZB_DIRTY where INDEXED >= 0 and ID between 0 and ? order by ID limit ?")
                                                   .arg(columnList()));
        Statement &current = connection.cached(QStringLiteral("select %1 from DRUG_ZB where ID = ?").arg(columnList()));
        dirty.bind(1, MaxIndexedId);
        dirty.bind(2, qint64(FoldLimit));
        std::vector<Posting> old, now;
        try {
            while (dirty.step()) {
                const qint64 id = dirty.int64(0);
                old.clear();
                if (dirty.int64(1))
                    rowPostings(dirty, 2, old);
                current.reset();
                current.bind(1, id);
                now.clear();
                const bool exists = current.step();
                if (exists)
                    rowPostings(current, 0, now);
                current.reset();
                folded.push_back(id);
                // A deleted row keeps its entries: no row answers to its ID,
                // which is never given out again (one added under it by
                // another program is not known to the index, see the
                // triggers), and clearing a whole record costs a write of
                // some thousand index rows.
                if (!exists)
                    continue;
                const qint64 chunk = id >> ChunkShift;
                const int offset = int(id & (ChunkSize - 1));
                if (!now.empty())
                    top = std::max(top, id);
                // Both lists are in key order: keys only in the new one or
                // with other places are set, keys only in the old one cleared.
                size_t i = 0, j = 0;
                while (i < old.size() || j < now.size()) {
                    if (j == now.size() || (i < old.size() && old[i].key < now[j].key)) {
                        changes.push_back({rowKey(chunk, old[i].key), offset, false, 0});
                        ++i;
                    } else if (i == old.size() || now[j].key < old[i].key) {
                        changes.push_back({rowKey(chunk, now[j].key), offset, true, now[j].places});
                        ++j;
                    } else {
                        if (old[i].places != now[j].places)
                            changes.push_back({rowKey(chunk, now[j].key), offset, true, now[j].places});
                        ++i;
                        ++j;
                    }
                }
            }
        } catch (...) {
            dirty.reset();
            current.reset();
            throw;
        }
        dirty.reset();
    }
    std::stable_sort(changes.begin(), changes.end(), [](const Change &a, const Change &b) { return a.row < b.row; });
    Statement &read = connection.cached(QStringLiteral("select IDS from DRUG_SEARCH_INDEX where K = ?"));
    Statement &write = connection.cached(QStringLiteral("insert or replace into DRUG_SEARCH_INDEX (K, IDS) values (?, ?)"));
    Statement &erase = connection.cached(QStringLiteral("delete from DRUG_SEARCH_INDEX where K = ?"));
    Bits bits;
    Places places;
    for (size_t i = 0; i < changes.size();) {
        const qint64 key = changes[i].row;
        const bool placed = hasPlaces(Key(key) & KeyMask);
        read.reset();
        read.bind(1, key);
        if (read.step()) {
            if (decode(read.bytes(0), bits, &places) != placed)
                damaged();
        } else {
            bits.fill(0);
        }
        read.reset();
        for (; i < changes.size() && changes[i].row == key; ++i) {
            const std::uint64_t mask = std::uint64_t(1) << (changes[i].offset % 64);
            std::uint64_t &word = bits[size_t(changes[i].offset / 64)];
            word = changes[i].on ? word | mask : word & ~mask;
            places[size_t(changes[i].offset)] = changes[i].places;
        }
        const QByteArray stored = encode(bits, placed ? &places : nullptr);
        Statement &statement = stored.isEmpty() ? erase : write;
        statement.reset();
        statement.bind(1, key);
        if (!stored.isEmpty())
            statement.bindBlob(2, stored);
        statement.step();
        statement.reset();
    }
    if (top >= 0) {
        Statement &raise = connection.cached(QStringLiteral("update DRUG_SEARCH_TOP set TOP = max(TOP, ?)"));
        raise.bind(1, top);
        raise.step();
        raise.reset();
    }
    Statement &done = connection.cached(QStringLiteral("delete from DRUG_ZB_DIRTY where ID = ?"));
    for (const qint64 id : folded) {
        done.reset();
        done.bind(1, id);
        done.step();
        done.reset();
    }
}

void rebuild(sqlite3 *db)
{
    Statement(db, QStringLiteral("delete from DRUG_SEARCH_INDEX")).step();
    Statement(db, QStringLiteral("delete from DRUG_ZB_DIRTY")).step();

    // Rows come in ID order, so one chunk is gathered at a time, each key's
    // offsets already sorted; its rows then go in in key order.
    struct List {
        Key key;
        std::vector<std::uint16_t> offsets, places;
    };
    std::unordered_map<Key, std::uint32_t> listOf;
    std::vector<List> lists;
    std::vector<std::uint32_t> order; // lists by key
    Statement insert(db, QStringLiteral("insert into DRUG_SEARCH_INDEX (K, IDS) values (?, ?)"));
    Statement unplaced(db, QStringLiteral("insert into DRUG_ZB_DIRTY (ID, INDEXED) values (?, 0)"));
    qint64 chunk = -1;
    Bits bits;
    Places places;
    const auto flush = [&] {
        if (order.size() != lists.size()) {
            order.resize(lists.size());
            for (std::uint32_t s = 0; s < order.size(); ++s)
                order[s] = s;
            std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) { return lists[a].key < lists[b].key; });
        }
        for (const std::uint32_t s : order) {
            List &list = lists[s];
            if (list.offsets.empty())
                continue;
            const bool placed = hasPlaces(list.key);
            bits.fill(0);
            for (size_t n = 0; n < list.offsets.size(); ++n) {
                const std::uint16_t offset = list.offsets[n];
                bits[offset / 64] |= std::uint64_t(1) << (offset % 64);
                if (placed)
                    places[offset] = list.places[n];
            }
            list.offsets.clear();
            list.places.clear();
            insert.bind(1, rowKey(chunk, list.key));
            insert.bindBlob(2, encode(bits, placed ? &places : nullptr));
            insert.step();
            insert.reset();
        }
    };
    Statement rows(db, QStringLiteral("select ID, %1 from DRUG_ZB order by ID").arg(columnList()));
    std::vector<Posting> postings;
    while (rows.step()) {
        const qint64 id = rows.int64(0);
        if (id < 0 || id > MaxIndexedId) {
            // No place in the index: tested by every search.
            unplaced.bind(1, id);
            unplaced.step();
            unplaced.reset();
            continue;
        }
        if (id >> ChunkShift != chunk) {
            if (chunk >= 0)
                flush();
            chunk = id >> ChunkShift;
        }
        rowPostings(rows, 1, postings);
        const auto offset = std::uint16_t(id & (ChunkSize - 1));
        for (const Posting &p : postings) {
            const auto [it, added] = listOf.try_emplace(p.key, std::uint32_t(lists.size()));
            if (added)
                lists.push_back({p.key, {}, {}});
            List &list = lists[it->second];
            list.offsets.push_back(offset);
            if (hasPlaces(p.key))
                list.places.push_back(p.places);
        }
    }
    if (chunk >= 0)
        flush();
    Statement top(db, QStringLiteral("update DRUG_SEARCH_TOP set TOP = (select ifnull(max(ID), -1) from DRUG_ZB where ID between 0 and ?)"));
    top.bind(1, MaxIndexedId);
    top.step();
}

} // namespace data::index
