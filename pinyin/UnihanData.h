#pragma once

#include <cstdint>

// The table the build makes from Unihan_Readings.txt (see MakeUnihanTable.cpp).
namespace pinyin::unihan {

// The toneless syllables, sorted, each ended by a NUL; SyllableStart gives
// where each begins.
extern const char SyllableText[];
extern const std::uint16_t SyllableStart[];
extern const int SyllableCount;

// code point << 9 | syllable number, grouped by code point in ascending
// order; within a character, its customary reading first.
extern const std::uint32_t Readings[];
extern const int ReadingCount;

} // namespace pinyin::unihan
