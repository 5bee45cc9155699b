#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>
#include <cstdint>
#include <vector>

struct sqlite3;

namespace data {

class Connection;

// Narrows "column contains text" searches without reading every row. For each
// searched field, each hashed pair of adjacent characters has a bitmap of the
// drugs whose value holds that pair (DRUG_GRAM). A value can contain a text
// only if it holds every pair of the text, so the bitmaps give candidates,
// and the search's own test then decides: the index may let a row through
// that does not match, never hide one that does.
//
// Triggers list each row written since the index took it in (DRUG_ZB_DIRTY);
// those rows are always candidates, so a write by another program is found
// at once. update() folds them into the bitmaps.
class SearchIndex
{
public:
    static constexpr int FieldCount = 12;
    static constexpr int Buckets = 4096;
    static constexpr int ChunkBits = 1024; // drugs to a bitmap row
    static constexpr int ChunkBytes = ChunkBits / 8;
    static constexpr int Version = 1;
    // Dirty rows folded by one update(); any left over stay candidates.
    static constexpr int FoldLimit = 2000;

    using BucketList = std::vector<std::uint16_t>;

    // The box order of the combined search: field 8 holds both plant-form
    // columns, as its box tests either.
    static QStringList fieldColumns(int field);

    // The buckets a value must have in `field` to match LIKE '%typed%': the
    // pairs within each run of typed characters between wildcards. Appended
    // to `out`, which may then hold repeats.
    static void requiredBuckets(int field, QStringView typed, BucketList &out);
    // The buckets of a stored value, as UTF-8.
    static void valueBuckets(int field, const char *utf8, qsizetype bytes, BucketList &out);

    explicit SearchIndex(Connection &connection) : m_connection(connection) {}

    // False for a file without the index, or with another layout of it.
    bool available();
    // The IDs of the rows that have every bucket, and of every dirty row;
    // sorted, without repeats.
    std::vector<qint64> candidates(BucketList required);
    // Puts IDs into temp.SEARCH_IDS for a statement to join.
    void stage(const std::vector<qint64> &ids);
    // Folds dirty rows into the bitmaps, inside the caller's transaction.
    // Does nothing on a file without the index.
    void update();

    // Makes the whole index anew from DRUG_ZB, in the caller's transaction.
    static void rebuild(sqlite3 *db);

private:
    Connection &m_connection;
};

} // namespace data
