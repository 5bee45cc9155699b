#include "data/SearchIndex.h"
#include "data/Connection.h"
#include "data/DatabaseBuilder.h"
#include "data/DbError.h"
#include "data/Statement.h"

#include <algorithm>
#include <array>
#include <bit>
#include <iterator>
#include <sqlite3.h>
#include <unordered_map>

namespace data {

namespace {

// The indexed columns in the order DRUG_ZB_DIRTY lists them, with the field
// (search box) each one feeds.
struct IndexedColumn {
    const char16_t *name;
    int field;
};
constexpr IndexedColumn IndexedColumns[] = {
    {u"药物名称", 1}, {u"类别", 9},      {u"英文名称", 10},  {u"别名", 2},     {u"来源", 7},
    {u"植物形态1", 8}, {u"植物形态2", 8}, {u"生长地", 4},     {u"采制", 6},     {u"化学成分", 5},
    {u"性味", 3},      {u"功能主治", 0},  {u"附注", 11},
};
constexpr int IndexedCount = int(std::size(IndexedColumns));

using Key = SearchIndex::Key;
using KeyList = SearchIndex::KeyList;

constexpr int ChunkPosition = 46; // a row's key: chunk << 46 | key
constexpr Key KeyMask = (Key(1) << ChunkPosition) - 1;
constexpr Key SecondMask = (Key(1) << 21) - 1;

QString columnList()
{
    QStringList names;
    for (const IndexedColumn &c : IndexedColumns)
        names << QString::fromUtf16(c.name);
    return names.join(QLatin1Char(','));
}

// Characters as the engine's LIKE reads them: UTF-8 decoded its way (a bad
// sequence reads as U+FFFD, as there), Latin capitals folded to small ones.
template <class F>
void forEachCharacter(const unsigned char *p, const unsigned char *end, F &&f)
{
    static constexpr unsigned char Lead[64] = {
        0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21,
        22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11,
        12, 13, 14, 15, 0,  1,  2,  3,  4,  5,  6,  7,  0,  1,  2,  3,  0,  1,  0,  0,
    };
    while (p < end) {
        std::uint32_t c = *p++;
        if (c >= 0xC0) {
            c = Lead[c - 0xC0];
            while (p < end && (*p & 0xC0) == 0x80)
                c = (c << 6) + (0x3F & *p++);
            if (c < 0x80 || (c & 0xFFFFF800) == 0xD800 || (c & 0xFFFFFFFE) == 0xFFFE)
                c = 0xFFFD;
        } else if (c >= 'A' && c <= 'Z') {
            c += 'a' - 'A';
        }
        if (!f(c))
            return;
    }
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

void rowKeys(const Statement &row, int firstColumn, KeyList &out)
{
    out.clear();
    for (int i = 0; i < IndexedCount; ++i) {
        const QByteArrayView value = row.bytes(firstColumn + i);
        SearchIndex::valueKeys(IndexedColumns[i].field, value.data(), value.size(), out);
    }
    sortUnique(out);
}

// The drugs of one key in one chunk: bit ID & (ChunkSize - 1).
using Bits = std::array<std::uint64_t, SearchIndex::ChunkSize / 64>;

// Stored as the smaller of two forms: 0x00 and the bitmap's bytes (bit k of
// byte j is offset 8j + k; missing bytes are 0), or 0x01 and the offsets as
// varints of the gaps (offset - previous - 1, the first from -1).
enum : char { BitmapForm = 0, GapForm = 1 };

int varintSize(unsigned value)
{
    return value < 0x80 ? 1 : value < 0x4000 ? 2 : 3;
}

QByteArray encode(const Bits &bits)
{
    int gapBytes = 1, lastByte = -1, previous = -1;
    for (int w = 0; w < int(bits.size()); ++w) {
        for (std::uint64_t word = bits[size_t(w)]; word; word &= word - 1) {
            const int offset = w * 64 + std::countr_zero(word);
            gapBytes += varintSize(unsigned(offset - previous - 1));
            previous = offset;
        }
    }
    if (previous < 0)
        return {};
    lastByte = previous / 8;
    QByteArray out;
    if (gapBytes <= lastByte + 2) {
        out.reserve(gapBytes);
        out.append(GapForm);
        previous = -1;
        for (int w = 0; w < int(bits.size()); ++w) {
            for (std::uint64_t word = bits[size_t(w)]; word; word &= word - 1) {
                const int offset = w * 64 + std::countr_zero(word);
                unsigned gap = unsigned(offset - previous - 1);
                while (gap >= 0x80) {
                    out.append(char(0x80 | (gap & 0x7F)));
                    gap >>= 7;
                }
                out.append(char(gap));
                previous = offset;
            }
        }
    } else {
        out.resize(lastByte + 2);
        out[0] = BitmapForm;
        for (int j = 0; j <= lastByte; ++j)
            out[j + 1] = char(bits[size_t(j / 8)] >> (8 * (j % 8)));
    }
    return out;
}

[[noreturn]] void damaged()
{
    throw DbError(QStringLiteral("搜索索引已损坏，请重建数据库的搜索索引"));
}

void decode(QByteArrayView blob, Bits &bits)
{
    bits.fill(0);
    if (blob.isEmpty())
        damaged();
    const auto *p = reinterpret_cast<const unsigned char *>(blob.data()) + 1;
    const auto *end = reinterpret_cast<const unsigned char *>(blob.data()) + blob.size();
    if (blob[0] == BitmapForm) {
        if (end - p > SearchIndex::ChunkSize / 8)
            damaged();
        for (int j = 0; p < end; ++j, ++p)
            bits[size_t(j / 8)] |= std::uint64_t(*p) << (8 * (j % 8));
    } else if (blob[0] == GapForm) {
        int offset = -1;
        while (p < end) {
            unsigned gap = 0;
            for (int shift = 0;; shift += 7) {
                if (p == end || shift > 14)
                    damaged();
                gap |= unsigned(*p & 0x7F) << shift;
                if (!(*p++ & 0x80))
                    break;
            }
            offset += int(gap) + 1;
            if (offset >= SearchIndex::ChunkSize)
                damaged();
            bits[size_t(offset / 64)] |= std::uint64_t(1) << (offset % 64);
        }
    } else {
        damaged();
    }
}

} // namespace

QStringList SearchIndex::fieldColumns(int field)
{
    QStringList columns;
    for (const IndexedColumn &c : IndexedColumns) {
        if (c.field == field)
            columns << QString::fromUtf16(c.name);
    }
    return columns;
}

// Up to the first NUL: the engine's LIKE sees a value, and a pattern, only
// that far.
void SearchIndex::valueKeys(int field, const char *utf8, qsizetype bytes, KeyList &out)
{
    if (!utf8)
        return;
    const auto *p = reinterpret_cast<const unsigned char *>(utf8);
    std::uint32_t previous = 0;
    forEachCharacter(p, p + bytes, [&](std::uint32_t c) {
        if (c == 0)
            return false;
        out.push_back(singleKey(field, c));
        if (previous)
            out.push_back(pairKey(field, previous, c));
        previous = c;
        return true;
    });
}

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

SearchIndex::Candidates SearchIndex::candidates(KeyList required)
{
    Candidates out;
    sortUnique(required);
    // Pairs first: they are rarer, so chunks drop out sooner.
    std::stable_partition(required.begin(), required.end(), [](Key k) { return (k & SecondMask) != 0; });
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
                decode(next.bytes(1), bits);
                next.reset();
                bool any = true;
                for (size_t n = 1; n < required.size() && any; ++n) {
                    row.reset();
                    row.bind(1, rowKey(at, required[n]));
                    any = row.step();
                    if (!any)
                        break;
                    decode(row.bytes(0), more);
                    std::uint64_t left = 0;
                    for (size_t w = 0; w < bits.size(); ++w)
                        left |= bits[w] &= more[w];
                    any = left != 0;
                }
                row.reset();
                if (any) {
                    for (size_t w = 0; w < bits.size(); ++w) {
                        for (std::uint64_t word = bits[w]; word; word &= word - 1)
                            out.held.push_back((at << ChunkShift) + qint64(w * 64) + std::countr_zero(word));
                    }
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
        std::vector<qint64> held;
        std::set_difference(out.held.begin(), out.held.end(), out.dirty.begin(), out.dirty.end(),
                            std::back_inserter(held));
        out.held.swap(held);
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
    bool decides = true;
    for (const Criterion &c : criteria)
        decides = requiredKeys(c.field, c.typed, required) && decides;
    if (required.empty() || !available())
        return tests;
    Candidates found = candidates(std::move(required));
    if (!decides) {
        std::vector<qint64> all;
        std::merge(found.held.begin(), found.held.end(), found.dirty.begin(), found.dirty.end(), std::back_inserter(all));
        stage(QStringLiteral("SEARCH_IDS"), all);
        return QStringLiteral("ID in (select ID from temp.SEARCH_IDS) and ") + tests;
    }
    stage(QStringLiteral("SEARCH_IDS"), found.held);
    // The index has decided; only dirty rows need the tests. Past an eighth
    // of the table, reading the order's index whole (it holds every column
    // the list shows) costs less than a seek into the table per row; the
    // unary + keeps the engine from seeking by ID.
    Statement &top = m_connection.cached(QStringLiteral("select max(ID) from DRUG_ZB"));
    const qint64 drugs = top.step() ? top.int64(0) : 0;
    top.reset();
    const QString id = qint64(found.held.size()) * 8 > drugs ? QStringLiteral("+ID") : QStringLiteral("ID");
    const QString held = id + QStringLiteral(" in (select ID from temp.SEARCH_IDS)");
    if (found.dirty.empty())
        return held;
    stage(QStringLiteral("SEARCH_DIRTY"), found.dirty);
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
        bool operator<(const Change &o) const { return row < o.row; }
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
        KeyList old, now, set, clear;
        try {
            while (dirty.step()) {
                const qint64 id = dirty.int64(0);
                old.clear();
                if (dirty.int64(1))
                    rowKeys(dirty, 2, old);
                current.reset();
                current.bind(1, id);
                now.clear();
                if (current.step())
                    rowKeys(current, 0, now);
                current.reset();
                set.clear();
                clear.clear();
                std::set_difference(now.begin(), now.end(), old.begin(), old.end(), std::back_inserter(set));
                std::set_difference(old.begin(), old.end(), now.begin(), now.end(), std::back_inserter(clear));
                const qint64 chunk = id >> ChunkShift;
                const int offset = int(id & (ChunkSize - 1));
                if (!set.empty())
                    top = std::max(top, id);
                for (const Key key : set)
                    changes.push_back({rowKey(chunk, key), offset, true});
                for (const Key key : clear)
                    changes.push_back({rowKey(chunk, key), offset, false});
                folded.push_back(id);
            }
        } catch (...) {
            dirty.reset();
            current.reset();
            throw;
        }
        dirty.reset();
    }
    std::stable_sort(changes.begin(), changes.end());
    Statement &read = m_connection.cached(QStringLiteral("select IDS from DRUG_SEARCH_INDEX where K = ?"));
    Statement &write = m_connection.cached(QStringLiteral("insert or replace into DRUG_SEARCH_INDEX (K, IDS) values (?, ?)"));
    Statement &erase = m_connection.cached(QStringLiteral("delete from DRUG_SEARCH_INDEX where K = ?"));
    Bits bits;
    for (size_t i = 0; i < changes.size();) {
        const qint64 key = changes[i].row;
        read.reset();
        read.bind(1, key);
        if (read.step())
            decode(read.bytes(0), bits);
        else
            bits.fill(0);
        read.reset();
        for (; i < changes.size() && changes[i].row == key; ++i) {
            const std::uint64_t mask = std::uint64_t(1) << (changes[i].offset % 64);
            std::uint64_t &word = bits[size_t(changes[i].offset / 64)];
            word = changes[i].on ? word | mask : word & ~mask;
        }
        const QByteArray stored = encode(bits);
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
    std::unordered_map<Key, std::uint32_t> slotOf;
    std::vector<Key> slotKeys;
    std::vector<std::vector<std::uint16_t>> lists;
    std::vector<std::uint32_t> order; // lists by key
    Statement insert(db, QStringLiteral("insert into DRUG_SEARCH_INDEX (K, IDS) values (?, ?)"));
    Statement unplaced(db, QStringLiteral("insert into DRUG_ZB_DIRTY (ID, INDEXED) values (?, 0)"));
    qint64 chunk = -1;
    Bits bits;
    const auto flush = [&] {
        if (order.size() != lists.size()) {
            order.resize(lists.size());
            for (std::uint32_t s = 0; s < order.size(); ++s)
                order[s] = s;
            std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) { return slotKeys[a] < slotKeys[b]; });
        }
        for (const std::uint32_t s : order) {
            std::vector<std::uint16_t> &offsets = lists[s];
            if (offsets.empty())
                continue;
            bits.fill(0);
            for (const std::uint16_t offset : offsets)
                bits[offset / 64] |= std::uint64_t(1) << (offset % 64);
            offsets.clear();
            insert.bind(1, rowKey(chunk, slotKeys[s]));
            insert.bindBlob(2, encode(bits));
            insert.step();
            insert.reset();
        }
    };
    Statement rows(db, QStringLiteral("select ID, %1 from DRUG_ZB order by ID").arg(columnList()));
    KeyList keys;
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
        rowKeys(rows, 1, keys);
        const auto offset = std::uint16_t(id & (ChunkSize - 1));
        for (const Key key : keys) {
            const auto [it, added] = slotOf.try_emplace(key, std::uint32_t(lists.size()));
            if (added) {
                slotKeys.push_back(key);
                lists.emplace_back();
            }
            lists[it->second].push_back(offset);
        }
    }
    if (chunk >= 0)
        flush();
    Statement top(db, QStringLiteral("update DRUG_SEARCH_TOP set TOP = (select ifnull(max(ID), -1) from DRUG_ZB where ID between 0 and ?)"));
    top.bind(1, MaxIndexedId);
    top.step();
}

} // namespace data
