#pragma once

#include "pinyin/Readings.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

namespace pinyin {

// What one syllable of a reading stands for: a Han character, or a run of
// ASCII letters and digits (read as itself, lower-case). Punctuation and
// spaces stand for nothing.
struct ReadingUnit {
    char32_t han = 0;
    QString latin;
    // Where it stands in the name (UTF-16 positions, end excluded).
    qsizetype start = 0, end = 0;
};
QList<ReadingUnit> readingUnits(QStringView name);

// A name's readings, syllables separated by one space ("bai zhu"): the
// reviewed ones where there are, else the combinations of the readings of
// its parts, the customary first: a reviewed name standing inside it takes
// its reviewed readings, any other character every reading Unihan gives. A name of several
// polyphonic characters has many combinations, so at most MaxReadings are
// kept, the least unusual ones. Empty for a name with nothing to read.
constexpr int MaxReadings = 32;
// Names are found by the start of their readings, so the readings of a
// long name cover its first MaxReadingUnits units only.
constexpr int MaxReadingUnits = 16;
QStringList nameReadings(QStringView name, const ReviewedReadings &reviewed = ReviewedReadings::builtIn());

// "bai zhu" -> "baizhu", and its initials "bz".
QString compactReading(QStringView reading);
QString readingInitials(QStringView reading);

// What a name is found by when typed in Latin letters: the start of any of
// `full` (a reading without spaces) or of `initials`. Each list is distinct
// and holds at most `limit`, the customary first.
struct NameKeys {
    QStringList full;
    QStringList initials;
    bool operator==(const NameKeys &) const = default;
};
NameKeys nameKeys(QStringView name, const ReviewedReadings &reviewed = ReviewedReadings::builtIn(),
                  int limit = MaxReadings);

// The keys Unihan's readings alone give a name whose reading was reviewed,
// beyond those the reviewed reading gives: the everyday readings people
// type (yingsuke for 罂粟壳, reviewed ying su qiao): those among the first
// MaxLooseReadings of Unihan's that the reviewed ones are not. None for a
// name without a reviewed part: its keys hold them.
constexpr int MaxLooseReadings = 8;
NameKeys looseKeys(QStringView name, const NameKeys &reviewedKeys);

// The other names a 别名 value lists, split on "、" (and the commas and
// semicolons a user may type instead), trimmed, without empty ones or
// repeats.
QStringList otherNames(QStringView value);

} // namespace pinyin
