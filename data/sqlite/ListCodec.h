#pragma once

#include "data/sqlite/SearchKeys.h"

#include <QByteArray>
#include <QByteArrayView>
#include <array>
#include <bit>
#include <cstdint>

// How one row of the search index stores one key's drugs among ChunkSize
// consecutive IDs.
namespace data::index {

// The drugs of one key in one chunk: bit ID & (ChunkSize - 1); for a key
// with places, those of each drug by its offset.
using Bits = std::array<std::uint64_t, ChunkSize / 64>;
using Places = std::array<std::uint16_t, ChunkSize>;

template <class F>
void forEachOffset(const Bits &bits, F &&f)
{
    for (int w = 0; w < int(bits.size()); ++w) {
        for (std::uint64_t word = bits[size_t(w)]; word; word &= word - 1)
            f(w * 64 + std::countr_zero(word));
    }
}

// The smaller of the stored forms; empty when no drug is set.
QByteArray encode(const Bits &bits, const Places *places);
// The same from the drugs' offsets in ascending order and, where given,
// their places.
QByteArray encode(const std::uint16_t *offsets, size_t count, const std::uint16_t *places);
// Fills `bits`, and `places` where given and stored; false when the row
// holds no places. A row that cannot be read is damaged().
bool decode(QByteArrayView blob, Bits &bits, Places *places = nullptr);

[[noreturn]] void damaged();

} // namespace data::index
