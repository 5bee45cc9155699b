#include "data/sqlite/ListCodec.h"
#include "data/DbError.h"

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

void appendVarint(QByteArray &out, unsigned value)
{
    while (value >= 0x80) {
        out.append(char(0x80 | (value & 0x7F)));
        value >>= 7;
    }
    out.append(char(value));
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
