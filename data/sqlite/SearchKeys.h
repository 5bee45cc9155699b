#pragma once

#include "data/DrugFields.h"

#include <QString>
#include <QStringView>
#include <array>
#include <cstdint>
#include <vector>

namespace data {
class Statement;
}

// The keys of the search index: what a stored value holds, and what a typed
// text asks for. For each searched field, each character and each pair of
// adjacent characters (Latin letters folded as LIKE folds them) is a key.
namespace data::index {

// Drugs to a row of the index: bit/offset ID & (ChunkSize - 1).
inline constexpr int ChunkShift = 12;
inline constexpr int ChunkSize = 1 << ChunkShift;
// The row key is chunk << 46 | key, so IDs above this stay dirty for good.
inline constexpr qint64 MaxIndexedId = (qint64(1) << (17 + ChunkShift)) - 1;

// field << 42 | first << 21 | second; second is 0 for a single character.
using Key = std::uint64_t;
using KeyList = std::vector<Key>;

inline constexpr int ChunkPosition = 46; // a row's key: chunk << 46 | key
inline constexpr Key KeyMask = (Key(1) << ChunkPosition) - 1;
inline constexpr Key SecondMask = (Key(1) << 21) - 1;

// The fields that more than one column feeds (the plant-form box tests
// two): where a character stands in one cannot be compared with the other.
inline constexpr std::array<bool, 16> SharedField = [] {
    std::array<int, 16> columns{};
    for (const DrugField &f : DrugFields) {
        if (f.indexField >= 0)
            ++columns[size_t(f.indexField)];
    }
    std::array<bool, 16> shared{};
    for (size_t i = 0; i < shared.size(); ++i)
        shared[i] = columns[i] > 1;
    return shared;
}();

// The indexed columns, comma-separated, in the list's order.
QString columnList();

// A key holds 21 bits of a character. Only a damaged stored value decodes
// past U+10FFFF; those share one code that no typed text produces.
inline std::uint32_t keyCharacter(std::uint32_t c)
{
    return c > 0x10FFFF ? std::uint32_t(SecondMask) : c;
}
inline Key singleKey(int field, std::uint32_t c)
{
    return Key(field) << 42 | Key(keyCharacter(c)) << 21;
}
inline qint64 rowKey(qint64 chunk, Key key)
{
    return qint64(Key(chunk) << ChunkPosition | key);
}
void sortUnique(KeyList &list);

// Single characters of a one-column field keep where they stand.
inline bool hasPlaces(Key key)
{
    return (key & SecondMask) == 0 && !SharedField[size_t(key >> 42)];
}

// A key of a row; for a single character in a one-column field, the places
// of its first and last occurrence (first << 8 | last).
struct Posting {
    Key key;
    std::uint16_t places;
};

// Every key of the indexed columns of `row`, which starts at `firstColumn`,
// each time it occurs, in the order of the text; a single character's
// places are where it stands (here << 8 | here) in a field that keeps them.
void rowOccurrences(const Statement &row, int firstColumn, std::vector<Posting> &out);
// The same keys in key order without repeats, with the first and the last
// place of each.
void rowPostings(const Statement &row, int firstColumn, std::vector<Posting> &out);

// The keys a value must hold in `field` to match LIKE '%typed%', appended
// to `out`. True when holding them is also enough: a text of one or two
// characters without wildcards.
bool requiredKeys(int field, QStringView typed, KeyList &out);

// A box's text of two single characters with only % around and between
// them: the value must hold the first before the last.
bool orderedPair(int field, QStringView typed, Key &first, Key &last);

} // namespace data::index
