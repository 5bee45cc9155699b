#include "data/sqlite/ListCodec.h"
#include "data/DbError.h"

#include <algorithm>

namespace data::index {

namespace {

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

} // namespace

[[noreturn]] void damaged()
{
    throw DbError(QStringLiteral("搜索索引已损坏，请重建数据库的搜索索引"));
}

QByteArray encode(const std::uint16_t *offsets, size_t count, const std::uint16_t *places)
{
    if (count == 0)
        return {};
    int gapBytes = 1, previous = -1;
    for (size_t i = 0; i < count; ++i) {
        gapBytes += varintSize(unsigned(offsets[i] - previous - 1));
        previous = offsets[i];
    }
    const int bitmapBytes = previous / 8 + 1;
    const int extra = places ? 2 * int(count) : 0;
    const bool gaps = gapBytes + extra <= 1 + (places ? varintSize(unsigned(bitmapBytes)) : 0) + bitmapBytes + extra;
    QByteArray out(gaps ? gapBytes + extra : 1 + (places ? varintSize(unsigned(bitmapBytes)) : 0) + bitmapBytes + extra,
                   Qt::Uninitialized);
    char *p = out.data();
    const auto varint = [&](unsigned value) {
        while (value >= 0x80) {
            *p++ = char(0x80 | (value & 0x7F));
            value >>= 7;
        }
        *p++ = char(value);
    };
    const auto place = [&](size_t i) {
        *p++ = char(places[i] >> 8);
        *p++ = char(places[i] & 0xFF);
    };
    if (gaps) {
        *p++ = places ? PlacedGapForm : GapForm;
        previous = -1;
        for (size_t i = 0; i < count; ++i) {
            varint(unsigned(offsets[i] - previous - 1));
            if (places)
                place(i);
            previous = offsets[i];
        }
    } else {
        *p++ = places ? PlacedBitmapForm : BitmapForm;
        if (places)
            varint(unsigned(bitmapBytes));
        std::fill(p, p + bitmapBytes, char(0));
        for (size_t i = 0; i < count; ++i)
            p[offsets[i] / 8] = char(p[offsets[i] / 8] | (1 << (offsets[i] % 8)));
        p += bitmapBytes;
        if (places) {
            for (size_t i = 0; i < count; ++i)
                place(i);
        }
    }
    return out;
}

QByteArray encode(const Bits &bits, const Places *places)
{
    std::array<std::uint16_t, ChunkSize> offsets, kept;
    size_t count = 0;
    forEachOffset(bits, [&](int offset) {
        if (places)
            kept[count] = (*places)[size_t(offset)];
        offsets[count++] = std::uint16_t(offset);
    });
    return encode(offsets.data(), count, places ? kept.data() : nullptr);
}

bool decode(QByteArrayView blob, Bits &bits, Places *places)
{
    bits.fill(0);
    Reader in(blob);
    const unsigned form = in.byte();
    const bool placed = form == PlacedGapForm || form == PlacedBitmapForm;
    const auto set = [&](int offset) {
        if (offset < 0 || offset >= ChunkSize)
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
        if (length > ChunkSize / 8)
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

} // namespace data::index
