#pragma once

#include <cstdint>

namespace data {

// Calls f(c) for each character of UTF-8 text as the engine's LIKE reads it
// (sqlite3Utf8Read): a bad sequence reads as U+FFFD. Stops early when f
// returns false. The search index and our own LIKE for long patterns must
// read a value exactly as the engine does, so both read it here.
template <class F>
void forEachLikeCharacter(const unsigned char *p, const unsigned char *end, F &&f)
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
        }
        if (!f(c))
            return;
    }
}

} // namespace data
