#include "data/SearchIndex.h"
#include "data/Connection.h"
#include "data/DbError.h"
#include "data/Statement.h"

#include <algorithm>
#include <array>
#include <iterator>
#include <sqlite3.h>

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

// Fixed for good: the bitmaps in every file are laid out by it.
std::uint16_t bucketOf(int field, std::uint32_t first, std::uint32_t second)
{
    std::uint64_t x = ((std::uint64_t(first) << 32) | second) ^ (std::uint64_t(field + 1) * 0x9E3779B97F4A7C15ULL);
    x ^= x >> 30;
    x *= 0xBF58476D1CE4E5B9ULL;
    x ^= x >> 27;
    x *= 0x94D049BB133111EBULL;
    x ^= x >> 31;
    return std::uint16_t(x & (SearchIndex::Buckets - 1));
}

void sortUnique(SearchIndex::BucketList &list)
{
    std::sort(list.begin(), list.end());
    list.erase(std::unique(list.begin(), list.end()), list.end());
}

SearchIndex::BucketList rowBuckets(const Statement &row, int firstColumn)
{
    SearchIndex::BucketList out;
    for (int i = 0; i < IndexedCount; ++i) {
        const QByteArrayView value = row.bytes(firstColumn + i);
        SearchIndex::valueBuckets(IndexedColumns[i].field, value.data(), value.size(), out);
    }
    sortUnique(out);
    return out;
}

using Bitmap = std::array<std::uint8_t, SearchIndex::ChunkBytes>;

QByteArrayView trimmed(const Bitmap &bits)
{
    qsizetype size = bits.size();
    while (size > 0 && bits[size - 1] == 0)
        --size;
    return QByteArrayView(reinterpret_cast<const char *>(bits.data()), size);
}

qint64 chunkOf(qint64 id) { return id >> 10; }
int bitOf(qint64 id) { return int(id & (SearchIndex::ChunkBits - 1)); }

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

namespace {

// The buckets of each pair of adjacent characters up to the first NUL (the
// engine's LIKE sees a value, and a pattern, only that far). With
// `wildcards`, % and _ break the run: a pattern's pairs lie between them.
void pairBuckets(int field, const char *utf8, qsizetype bytes, bool wildcards, SearchIndex::BucketList &out)
{
    if (!utf8)
        return;
    const auto *p = reinterpret_cast<const unsigned char *>(utf8);
    std::uint32_t previous = 0;
    bool havePrevious = false;
    forEachCharacter(p, p + bytes, [&](std::uint32_t c) {
        if (c == 0)
            return false;
        if (wildcards && (c == '%' || c == '_')) {
            havePrevious = false;
            return true;
        }
        if (havePrevious)
            out.push_back(bucketOf(field, previous, c));
        previous = c;
        havePrevious = true;
        return true;
    });
}

} // namespace

void SearchIndex::valueBuckets(int field, const char *utf8, qsizetype bytes, BucketList &out)
{
    pairBuckets(field, utf8, bytes, false, out);
}

void SearchIndex::requiredBuckets(int field, QStringView typed, BucketList &out)
{
    const QByteArray utf8 = typed.toUtf8();
    pairBuckets(field, utf8.constData(), utf8.size(), true, out);
}

bool SearchIndex::available()
{
    // The triggers belong to it: without them a write could hide a row.
    // Each statement is reset at once, so no read lock outlives the check.
    Statement &parts = m_connection.cached(QStringLiteral(
        "select count(*) from sqlite_master where name in ('DRUG_SEARCH_META','DRUG_GRAM','DRUG_ZB_DIRTY',"
        "'DRUG_ZB_SEARCH_AI','DRUG_ZB_SEARCH_AU','DRUG_ZB_SEARCH_AD')"));
    const bool complete = parts.step() && parts.int64(0) == 6;
    parts.reset();
    if (!complete)
        return false;
    Statement &meta = m_connection.cached(QStringLiteral("select VERSION, BUCKETS, CHUNK_BITS from DRUG_SEARCH_META"));
    const bool matches = meta.step() && meta.int64(0) == Version && meta.int64(1) == Buckets && meta.int64(2) == ChunkBits
                         && !meta.step();
    meta.reset();
    return matches;
}

std::vector<qint64> SearchIndex::candidates(BucketList required)
{
    sortUnique(required);
    // Chunks in ascending order, as the bitmap rows come.
    std::vector<std::pair<qint64, Bitmap>> found;
    Statement &rows = m_connection.cached(QStringLiteral("select CHUNK, BITS from DRUG_GRAM where BUCKET = ?"));
    for (size_t n = 0; n < required.size(); ++n) {
        rows.reset();
        rows.bind(1, qint64(required[n]));
        std::vector<std::pair<qint64, Bitmap>> next;
        auto have = found.begin();
        while (rows.step()) {
            const qint64 chunk = rows.int64(0);
            const QByteArrayView bits = rows.bytes(1);
            if (n > 0) {
                while (have != found.end() && have->first < chunk)
                    ++have;
                if (have == found.end())
                    break;
                if (have->first != chunk)
                    continue;
            }
            Bitmap out{};
            bool any = false;
            for (qsizetype j = 0; j < bits.size() && j < ChunkBytes; ++j) {
                out[size_t(j)] = std::uint8_t(bits[j]) & (n > 0 ? have->second[size_t(j)] : 0xFF);
                any = any || out[size_t(j)];
            }
            if (any)
                next.emplace_back(chunk, out);
        }
        found.swap(next);
        if (found.empty())
            break;
    }
    rows.reset();

    std::vector<qint64> ids;
    for (const auto &[chunk, bits] : found) {
        for (int j = 0; j < ChunkBytes; ++j) {
            for (int k = 0; k < 8; ++k) {
                if (bits[size_t(j)] & (1U << k))
                    ids.push_back(chunk * ChunkBits + j * 8 + k);
            }
        }
    }
    Statement &dirty = m_connection.cached(QStringLiteral("select ID from DRUG_ZB_DIRTY"));
    const size_t indexed = ids.size();
    while (dirty.step())
        ids.push_back(dirty.int64(0));
    dirty.reset();
    if (ids.size() > indexed) {
        std::sort(ids.begin(), ids.end());
        ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
    }
    return ids;
}

void SearchIndex::stage(const std::vector<qint64> &ids)
{
    m_connection.execute(QStringLiteral("create temp table if not exists SEARCH_IDS (ID INTEGER PRIMARY KEY)"));
    m_connection.cached(QStringLiteral("delete from temp.SEARCH_IDS")).step();
    // One transaction on the temporary store alone: the drug file is not locked.
    m_connection.execute(QStringLiteral("savepoint stage"));
    try {
        Statement &insert = m_connection.cached(QStringLiteral("insert into temp.SEARCH_IDS (ID) values (?)"));
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

void SearchIndex::update()
{
    if (!available())
        return;
    struct Pending {
        qint64 id;
        BucketList old;
    };
    std::vector<Pending> pending;
    {
        Statement &dirty = m_connection.cached(QStringLiteral("select ID, INDEXED, %1 from DRUG_ZB_DIRTY order by ID limit ?")
                                                   .arg(columnList()));
        dirty.bind(1, qint64(FoldLimit));
        while (dirty.step())
            pending.push_back({dirty.int64(0), dirty.int64(1) ? rowBuckets(dirty, 2) : BucketList()});
        dirty.reset();
    }
    Statement &current = m_connection.cached(QStringLiteral("select %1 from DRUG_ZB where ID = ?").arg(columnList()));
    Statement &read = m_connection.cached(QStringLiteral("select BITS from DRUG_GRAM where BUCKET = ? and CHUNK = ?"));
    Statement &write = m_connection.cached(
        QStringLiteral("insert or replace into DRUG_GRAM (BUCKET, CHUNK, BITS) values (?, ?, ?)"));
    Statement &erase = m_connection.cached(QStringLiteral("delete from DRUG_GRAM where BUCKET = ? and CHUNK = ?"));
    Statement &done = m_connection.cached(QStringLiteral("delete from DRUG_ZB_DIRTY where ID = ?"));
    for (const Pending &row : pending) {
        current.reset();
        current.bind(1, row.id);
        const BucketList now = current.step() ? rowBuckets(current, 0) : BucketList();
        current.reset();
        // The index holds at least the old buckets, so only the differences
        // need writing.
        BucketList set, clear;
        std::set_difference(now.begin(), now.end(), row.old.begin(), row.old.end(), std::back_inserter(set));
        std::set_difference(row.old.begin(), row.old.end(), now.begin(), now.end(), std::back_inserter(clear));
        const qint64 chunk = chunkOf(row.id);
        const int bit = bitOf(row.id);
        const auto change = [&](std::uint16_t bucket, bool on) {
            read.reset();
            read.bind(1, qint64(bucket));
            read.bind(2, chunk);
            Bitmap bits{};
            if (read.step()) {
                const QByteArrayView stored = read.bytes(0);
                std::copy_n(stored.begin(), std::min<qsizetype>(stored.size(), ChunkBytes), bits.begin());
            }
            read.reset();
            const std::uint8_t mask = std::uint8_t(1U << (bit % 8));
            std::uint8_t &byte = bits[size_t(bit / 8)];
            if (bool(byte & mask) == on)
                return;
            byte = on ? std::uint8_t(byte | mask) : std::uint8_t(byte & ~mask);
            const QByteArrayView kept = trimmed(bits);
            Statement &statement = kept.isEmpty() ? erase : write;
            statement.reset();
            statement.bind(1, qint64(bucket));
            statement.bind(2, chunk);
            if (!kept.isEmpty())
                statement.bindBlob(3, kept);
            statement.step();
            statement.reset();
        };
        for (const std::uint16_t bucket : set)
            change(bucket, true);
        for (const std::uint16_t bucket : clear)
            change(bucket, false);
        done.reset();
        done.bind(1, row.id);
        done.step();
        done.reset();
    }
}

void SearchIndex::rebuild(sqlite3 *db)
{
    Statement(db, QStringLiteral("delete from DRUG_GRAM")).step();
    Statement(db, QStringLiteral("delete from DRUG_ZB_DIRTY")).step();

    // Rows come in ID order, so one chunk is filled at a time and then kept
    // per bucket; the rows are written in key order at the end.
    std::vector<std::vector<std::pair<qint64, QByteArray>>> byBucket(Buckets);
    std::vector<Bitmap> chunkBits(Buckets);
    qint64 chunk = 0;
    bool haveChunk = false;
    const auto flush = [&] {
        for (int b = 0; b < Buckets; ++b) {
            const QByteArrayView kept = trimmed(chunkBits[size_t(b)]);
            if (!kept.isEmpty())
                byBucket[size_t(b)].emplace_back(chunk, kept.toByteArray());
            chunkBits[size_t(b)].fill(0);
        }
    };
    Statement rows(db, QStringLiteral("select ID, %1 from DRUG_ZB order by ID").arg(columnList()));
    while (rows.step()) {
        const qint64 id = rows.int64(0);
        if (haveChunk && chunkOf(id) != chunk)
            flush();
        chunk = chunkOf(id);
        haveChunk = true;
        const int bit = bitOf(id);
        for (const std::uint16_t bucket : rowBuckets(rows, 1))
            chunkBits[bucket][size_t(bit / 8)] |= std::uint8_t(1U << (bit % 8));
    }
    if (haveChunk)
        flush();

    Statement insert(db, QStringLiteral("insert into DRUG_GRAM (BUCKET, CHUNK, BITS) values (?, ?, ?)"));
    for (int b = 0; b < Buckets; ++b) {
        for (const auto &[c, bits] : byBucket[size_t(b)]) {
            insert.bind(1, qint64(b));
            insert.bind(2, c);
            insert.bindBlob(3, bits);
            insert.step();
            insert.reset();
        }
    }
}

} // namespace data
