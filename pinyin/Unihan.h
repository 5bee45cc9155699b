#pragma once

#include <QLatin1StringView>
#include <QVarLengthArray>

namespace pinyin {

// The Mandarin readings Unihan gives a character, lower-case and without
// tones, ü written v; the customary reading first, then the others by use.
// Compiled into the program from Debian's unicode-data at build time.
using Syllables = QVarLengthArray<QLatin1StringView, 8>;

Syllables unihanReadings(char32_t character);

// True when Unihan reads `character` as `syllable` (toneless).
bool isUnihanReading(char32_t character, QLatin1StringView syllable);

} // namespace pinyin
