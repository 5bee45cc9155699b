#include "data/SearchIndex.h"
#include "data/LikeText.h"
#include "data/Connection.h"
#include "data/DatabaseBuilder.h"
#include "data/DbError.h"
#include "data/DrugFields.h"
#include "data/Statement.h"

#include <algorithm>
#include <array>
#include <bit>
#include <iterator>
#include <sqlite3.h>
#include <unordered_map>

namespace data {

namespace {

// The indexed columns in the order DRUG_ZB_DIRTY lists them, with the
// field each one feeds.
struct IndexedColumn {
    QStringView name;
    int field;
};
constexpr int IndexedCount = [] {
    int n = 0;
    for (const DrugField &f : DrugFields)
        n += f.indexField >= 0;
    return n;
}();
constexpr std::array<IndexedColumn, IndexedCount> IndexedColumns = [] {
    std::array<IndexedColumn, IndexedCount> out{};
    int i = 0;
    for (const DrugField &f : DrugFields) {
        if (f.indexField >= 0)
            out[size_t(i++)] = {f.column, f.indexField};
    }
    return out;
}();

using Key = SearchIndex::Key;
using KeyList = SearchIndex::KeyList;

constexpr int ChunkPosition = 46; // a row's key: chunk << 46 | key
constexpr Key KeyMask = (Key(1) << ChunkPosition) - 1;
constexpr Key SecondMask = (Key(1) << 21) - 1;

QString columnList()
{
    return indexedColumns().join(QLatin1Char(','));
}

// Characters as the engine's LIKE reads them, Latin capitals folded to
// small ones.
template <class F>
void forEachCharacter(const unsigned char *p, const unsigned char *end, F &&f)
{
    forEachLikeCharacter(p, end, [&](std::uint32_t c) { return f(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c); });
}

// A key holds 21 bits of a character. Only a damaged stored value decodes
// past U+10FFFF; those share one code that no typed text produces.
std::uint32_t keyCharacter(std::uint32_t c)
{
    return c > 0x10FFFF ? std::uint32_t(SecondMask) : c;
}

Key singleKey(int field, std::uint32_t c)
{
    return Key(field) << 42 | Key(keyCharacter(c)) << 21;
}

Key pairKey(int field, std::uint32_t first, std::uint32_t second)
{
    return singleKey(field, first) | keyCharacter(second);
}

qint64 rowKey(qint64 chunk, Key key)
{
    return qint64(Key(chunk) << ChunkPosition | key);
}

void sortUnique(KeyList &list)
{
    std::sort(list.begin(), list.end());
    list.erase(std::unique(list.begin(), list.end()), list.end());
}

// The plant-form box tests two columns, whose places cannot be compared.
constexpr int PlantFormField = 8;

bool hasPlaces(Key key)
{
    return (key & SecondMask) == 0 && int(key >> 42) != PlantFormField;
}

// Where a character stands in a value, for deciding "a, then later b":
// exact below 128, then in steps of 16, 255 from 2,160 on. Only the order of
// two places matters, and this keeps it.
std::uint8_t place(int at)
{
    return std::uint8_t(at < 128 ? at : std::min(255, 128 + (at - 128) / 16));
}

// A key of a row; for a single character in a one-column field, the places
// of its first and last occurrence (first << 8 | last).
struct Posting {
    Key key;
    std::uint16_t places;
};

void rowPostings(const Statement &row, int firstColumn, std::vector<Posting> &out)
{
    out.clear();
    for (int i = 0; i < IndexedCount; ++i) {
        const QByteArrayView value = row.bytes(firstColumn + i);
        if (!value.data())
            continue;
        const int field = IndexedColumns[i].field;
        const auto *p = reinterpret_cast<const unsigned char *>(value.data());
        std::uint32_t previous = 0;
        int at = 0;
        forEachCharacter(p, p + value.size(), [&](std::uint32_t c) {
            if (c == 0)
                return false;
            const std::uint8_t here = place(at++);
            out.push_back({singleKey(field, c), std::uint16_t(here << 8 | here)});
            if (previous)
                out.push_back({pairKey(field, previous, c), 0});
            previous = c;
            return true;
        });
    }
    std::stable_sort(out.begin(), out.end(), [](const Posting &a, const Posting &b) { return a.key < b.key; });
    size_t kept = 0;
    for (size_t i = 0; i < out.size(); ++i) {
        if (kept > 0 && out[kept - 1].key == out[i].key) {
            Posting &p = out[kept - 1];
            const int first = std::min(p.places >> 8, out[i].places >> 8);
            const int last = std::max(p.places & 0xFF, out[i].places & 0xFF);
            p.places = hasPlaces(p.key) ? std::uint16_t(first << 8 | last) : 0;
        } else {
            out[kept++] = {out[i].key, hasPlaces(out[i].key) ? out[i].places : std::uint16_t(0)};
        }
    }
    out.resize(kept);
}

// The drugs of one key in one chunk: bit ID & (ChunkSize - 1); for a key
// with places, those of each drug by its offset.
using Bits = std::array<std::uint64_t, SearchIndex::ChunkSize / 64>;
using Places = std::array<std::uint16_t, SearchIndex::ChunkSize>;

// Stored as the smaller of two forms: a bitmap (bit k of byte j is offset
// 8j + k; missing bytes are 0), or the offsets as varints of the gaps
// (offset - previous - 1, the first from -1). 0x00 and the bitmap's bytes;
// 0x01 and the gaps; with places, 0x02 and each gap followed by its first
// and last place; 0x03, the bitmap's length as a varint, the bitmap, then
// the first and last place of each drug in it, in order.
enum : char { BitmapForm = 0, GapForm = 1, PlacedGapForm = 2, PlacedBitmapForm = 3 };

int varintSize(unsigned value)
{
    return value < 0x80 ? 1 : value < 0x4000 ? 2 : 3;
}

void appendVarint(QByteArray &out, unsigned value)
{
    while (value >= 0x80) {
        out.append(char(0x80 | (value & 0x7F)));
        value >>= 7;
    }
    out.append(char(value));
}

template <class F>
void forEachOffset(const Bits &bits, F &&f)
{
    for (int w = 0; w < int(bits.size()); ++w) {
        for (std::uint64_t word = bits[size_t(w)]; word; word &= word - 1)
            f(w * 64 + std::countr_zero(word));
    }
}

QByteArray encode(const Bits &bits, const Places *places)
{
    int gapBytes = 1, count = 0, previous = -1;
    forEachOffset(bits, [&](int offset) {
        gapBytes += varintSize(unsigned(offset - previous - 1));
        previous = offset;
        ++count;
    });
    if (count == 0)
        return {};
    const int bitmapBytes = previous / 8 + 1;
    const int extra = places ? 2 * count : 0;
    QByteArray out;
    const auto appendPlaces = [&](int offset) {
        out.append(char((*places)[size_t(offset)] >> 8));
        out.append(char((*places)[size_t(offset)] & 0xFF));
    };
    if (gapBytes + extra <= 1 + (places ? varintSize(unsigned(bitmapBytes)) : 0) + bitmapBytes + extra) {
        out.reserve(gapBytes + extra);
        out.append(places ? PlacedGapForm : GapForm);
        previous = -1;
        forEachOffset(bits, [&](int offset) {
            appendVarint(out, unsigned(offset - previous - 1));
            if (places)
                appendPlaces(offset);
            previous = offset;
        });
    } else {
        out.append(places ? PlacedBitmapForm : BitmapForm);
        if (places)
            appendVarint(out, unsigned(bitmapBytes));
        for (int j = 0; j < bitmapBytes; ++j)
            out.append(char(bits[size_t(j / 8)] >> (8 * (j % 8))));
        if (places)
            forEachOffset(bits, appendPlaces);
    }
    return out;
}

[[noreturn]] void damaged()
{
    throw DbError(QStringLiteral("搜索索引已损坏，请重建数据库的搜索索引"));
}

class Reader
{
public:
    explicit Reader(QByteArrayView blob)
        : m_p(reinterpret_cast<const unsigned char *>(blob.data())), m_end(m_p + blob.size()) {}
    bool atEnd() const { return m_p == m_end; }
    unsigned byte()
    {
        if (m_p == m_end)
            damaged();
        return *m_p++;
    }
    unsigned varint()
    {
        unsigned value = 0;
        for (int shift = 0;; shift += 7) {
            if (shift > 14)
                damaged();
            const unsigned b = byte();
            value |= (b & 0x7F) << shift;
            if (!(b & 0x80))
                return value;
        }
    }

private:
    const unsigned char *m_p;
    const unsigned char *m_end;
};

// Fills `bits`, and `places` where given and stored; false when the row
// holds no places.
bool decode(QByteArrayView blob, Bits &bits, Places *places = nullptr)
{
    bits.fill(0);
    Reader in(blob);
    const unsigned form = in.byte();
    const bool placed = form == PlacedGapForm || form == PlacedBitmapForm;
    const auto set = [&](int offset) {
        if (offset < 0 || offset >= SearchIndex::ChunkSize)
            damaged();
        bits[size_t(offset / 64)] |= std::uint64_t(1) << (offset % 64);
    };
    const auto readPlaces = [&](int offset) {
        const unsigned first = in.byte();
        const unsigned last = in.byte();
        if (places)
            (*places)[size_t(offset)] = std::uint16_t(first << 8 | last);
    };
    if (form == GapForm || form == PlacedGapForm) {
        int offset = -1;
        while (!in.atEnd()) {
            offset += int(in.varint()) + 1;
            set(offset);
            if (placed)
                readPlaces(offset);
        }
    } else if (form == BitmapForm || form == PlacedBitmapForm) {
        const int length = placed ? int(in.varint()) : int(blob.size()) - 1;
        if (length > SearchIndex::ChunkSize / 8)
            damaged();
        for (int j = 0; j < length; ++j) {
            const unsigned b = in.byte();
            for (int k = 0; k < 8; ++k) {
                if (b & (1U << k))
                    set(j * 8 + k);
            }
        }
        if (placed)
            forEachOffset(bits, readPlaces);
        if (!in.atEnd())
            damaged();
    } else {
        damaged();
    }
    return placed;
}

// A box's text of two single characters with only % around and between
// them: the value must hold the first before the last.
bool orderedPair(int field, QStringView typed, Key &first, Key &last)
{
    if (field == PlantFormField)
        return false;
    const QByteArray utf8 = typed.toUtf8();
    const auto *p = reinterpret_cast<const unsigned char *>(utf8.constData());
    std::vector<std::uint32_t> runs;
    int run = 0;
    bool plain = true;
    forEachCharacter(p, p + utf8.size(), [&](std::uint32_t c) {
        if (c == 0 || c == '_') {
            plain = false;
            return false;
        }
        if (c == '%') {
            run = 0;
            return true;
        }
        if (++run > 1)
            plain = false;
        runs.push_back(c);
        return true;
    });
    if (!plain || runs.size() != 2)
        return false;
    first = singleKey(field, runs[0]);
    last = singleKey(field, runs[1]);
    return true;
}

} // namespace

bool SearchIndex::requiredKeys(int field, QStringView typed, KeyList &out)
{
    // Between wildcards, a run of one character needs that character, a
    // longer run each of its pairs (which hold its characters).
    const QByteArray utf8 = typed.toUtf8();
    const auto *p = reinterpret_cast<const unsigned char *>(utf8.constData());
    std::uint32_t previous = 0;
    int run = 0, characters = 0;
    bool wildcard = false, cut = false;
    const auto endRun = [&] {
        if (run == 1)
            out.push_back(singleKey(field, previous));
        run = 0;
        previous = 0;
    };
    forEachCharacter(p, p + utf8.size(), [&](std::uint32_t c) {
        if (c == 0) {
            cut = true; // the pattern ends here, its trailing % with it
            return false;
        }
        if (c == '%' || c == '_') {
            wildcard = true;
            endRun();
            return true;
        }
        if (previous)
            out.push_back(pairKey(field, previous, c));
        previous = c;
        ++run;
        ++characters;
        return true;
    });
    endRun();
    return !wildcard && !cut && characters >= 1 && characters <= 2;
}

bool SearchIndex::available()
{
    // A newer file may lay its index out otherwise. The triggers belong to
    // the index: without them a write could hide a row. Each statement is
    // reset at once, so no read lock outlives the check.
    Statement &version = m_connection.cached(QStringLiteral("pragma user_version"));
    const bool current = version.step() && version.int64(0) == DatabaseBuilder::SchemaVersion;
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
        Statement &dirty = m_connection.cached(QStringLiteral("select ID, INDEXED, %1 from DRUG_ZB_DIRTY where INDEXED >= 0 and ID between 0 and ? order by ID limit ?")
                                                   .arg(columnList()));
        Statement &current = m_connection.cached(QStringLiteral("select %1 from DRUG_ZB where ID = ?").arg(columnList()));
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
    Statement &read = m_connection.cached(QStringLiteral("select IDS from DRUG_SEARCH_INDEX where K = ?"));
    Statement &write = m_connection.cached(QStringLiteral("insert or replace into DRUG_SEARCH_INDEX (K, IDS) values (?, ?)"));
    Statement &erase = m_connection.cached(QStringLiteral("delete from DRUG_SEARCH_INDEX where K = ?"));
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
        Statement &raise = m_connection.cached(QStringLiteral("update DRUG_SEARCH_TOP set TOP = max(TOP, ?)"));
        raise.bind(1, top);
        raise.step();
        raise.reset();
    }
    Statement &done = m_connection.cached(QStringLiteral("delete from DRUG_ZB_DIRTY where ID = ?"));
    for (const qint64 id : folded) {
        done.reset();
        done.bind(1, id);
        done.step();
        done.reset();
    }
}

void SearchIndex::rebuild(sqlite3 *db)
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

} // namespace data
