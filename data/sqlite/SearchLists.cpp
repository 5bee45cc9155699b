#include "data/sqlite/SearchLists.h"
#include "data/Connection.h"
#include "data/Statement.h"
#include "data/sqlite/ListCodec.h"

#include <algorithm>
#include <bit>

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

namespace {

// The keys met so far, each with a number of its own and the drug that
// last had it, through open addressing: the rebuild looks one up for every
// character and pair of every drug.
class KeyTable
{
public:
    struct Slot {
        Key key = 0; // no key is 0: a single character's has its character in it
        std::uint32_t number = 0;
        std::uint32_t lastDrug = 0;  // ID + 1
        std::uint32_t lastEntry = 0; // that drug's entry
    };

    KeyTable() { grow(1 << 16); }

    // The key's slot; a new key gets the count so far as its number.
    Slot &find(Key key)
    {
        size_t slot = hash(key);
        while (true) {
            Slot &s = m_slots[slot];
            if (s.key == key)
                return s;
            if (s.key == 0) {
                if ((m_count + 1) * 2 > m_slots.size()) {
                    grow(m_slots.size() * 2);
                    return find(key);
                }
                s.key = key;
                s.number = m_count++;
                return s;
            }
            slot = (slot + 1) & (m_slots.size() - 1);
        }
    }
    std::uint32_t count() const { return m_count; }

private:
    size_t hash(Key key) const { return size_t((key * 0x9E3779B97F4A7C15ULL) >> m_shift); }

    void grow(size_t size)
    {
        std::vector<Slot> old = std::move(m_slots);
        m_slots.assign(size, Slot{});
        m_shift = 64 - std::countr_zero(size);
        for (const Slot &s : old) {
            if (s.key == 0)
                continue;
            size_t slot = hash(s.key);
            while (m_slots[slot].key != 0)
                slot = (slot + 1) & (size - 1);
            m_slots[slot] = s;
        }
    }

    std::vector<Slot> m_slots;
    int m_shift = 0;
    std::uint32_t m_count = 0;
};

} // namespace

void rebuild(sqlite3 *db, const std::function<void(int percent)> &done)
{
    Statement(db, QStringLiteral("delete from DRUG_SEARCH_INDEX")).step();
    Statement(db, QStringLiteral("delete from DRUG_ZB_DIRTY")).step();
    qint64 top = 0;
    {
        Statement highest(db, QStringLiteral("select ifnull(max(ID), 0) from DRUG_ZB"));
        if (highest.step())
            top = highest.int64(0);
    }
    if (done)
        done(0);

    // One chunk at a time, in memory: every key of each drug once, with
    // its places, in ID order; then the chunk's rows in key order, which is
    // the table's own order, so that each goes in at its end.
    KeyTable table;
    std::vector<Key> keys; // by number
    struct Entry {
        std::uint32_t number;
        std::uint16_t offset, places;
    };
    std::vector<Entry> entries;
    std::vector<std::uint32_t> order; // numbers by key
    std::vector<std::uint32_t> start; // by number: its first entry, once grouped
    std::vector<std::uint32_t> next;
    std::vector<std::uint16_t> offsets, places;
    Statement insert(db, QStringLiteral("insert into DRUG_SEARCH_INDEX (K, IDS) values (?, ?)"));
    Statement unplaced(db, QStringLiteral("insert into DRUG_ZB_DIRTY (ID, INDEXED) values (?, 0)"));
    qint64 chunk = -1;
    const auto flush = [&] {
        if (order.size() != keys.size()) {
            order.resize(keys.size());
            for (std::uint32_t n = 0; n < order.size(); ++n)
                order[n] = n;
            std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) { return keys[a] < keys[b]; });
        }
        // The entries by number, each number's in drug order.
        start.assign(keys.size() + 1, 0);
        for (const Entry &e : entries)
            ++start[e.number + 1];
        for (size_t n = 1; n < start.size(); ++n)
            start[n] += start[n - 1];
        next.assign(start.begin(), start.end() - 1);
        offsets.resize(entries.size());
        places.resize(entries.size());
        for (const Entry &e : entries) {
            const std::uint32_t at = next[e.number]++;
            offsets[at] = e.offset;
            places[at] = e.places;
        }
        for (const std::uint32_t n : order) {
            if (start[n] == start[n + 1])
                continue;
            insert.bind(1, rowKey(chunk, keys[n]));
            insert.bindBlob(2, encode(offsets.data() + start[n], start[n + 1] - start[n],
                                      hasPlaces(keys[n]) ? places.data() + start[n] : nullptr));
            insert.step();
            insert.reset();
        }
        entries.clear();
        if (done && top > 0)
            done(int(std::min<qint64>(100, ((chunk + 1) << ChunkShift) * 100 / (top + 1))));
    };
    Statement rows(db, QStringLiteral("select ID, %1 from DRUG_ZB order by ID").arg(columnList()));
    std::vector<Posting> occurrences;
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
        rowOccurrences(rows, 1, occurrences);
        const auto offset = std::uint16_t(id & (ChunkSize - 1));
        const std::uint32_t drug = std::uint32_t(id) + 1;
        for (const Posting &p : occurrences) {
            KeyTable::Slot &slot = table.find(p.key);
            if (slot.number == keys.size())
                keys.push_back(p.key);
            if (slot.lastDrug == drug) {
                // Again in the same drug: later in its text, so its last place.
                std::uint16_t &kept = entries[slot.lastEntry].places;
                kept = std::uint16_t((kept & 0xFF00) | (p.places & 0xFF));
                continue;
            }
            slot.lastDrug = drug;
            slot.lastEntry = std::uint32_t(entries.size());
            entries.push_back({slot.number, offset, p.places});
        }
    }
    if (chunk >= 0)
        flush();
    Statement highest(db, QStringLiteral("update DRUG_SEARCH_TOP set TOP = (select ifnull(max(ID), -1) from DRUG_ZB where ID between 0 and ?)"));
    highest.bind(1, MaxIndexedId);
    highest.step();
}

} // namespace data::index
