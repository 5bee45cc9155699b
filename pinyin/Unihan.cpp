#include "pinyin/Unihan.h"
#include "pinyin/UnihanData.h"

#include <algorithm>

namespace pinyin {

Syllables unihanReadings(char32_t character)
{
    using namespace unihan;
    const std::uint32_t *end = Readings + ReadingCount;
    const std::uint32_t *at = std::lower_bound(Readings, end, std::uint32_t(character) << 9,
                                               [](std::uint32_t pair, std::uint32_t key) { return (pair >> 9) < (key >> 9); });
    Syllables out;
    for (; at != end && (*at >> 9) == character; ++at)
        out.append(QLatin1StringView(SyllableText + SyllableStart[*at & 0x1FF]));
    return out;
}

bool isUnihanReading(char32_t character, QLatin1StringView syllable)
{
    const Syllables readings = unihanReadings(character);
    return std::find(readings.begin(), readings.end(), syllable) != readings.end();
}

} // namespace pinyin
