#pragma once

#include <QString>
#include <QStringView>

namespace pinyin {

// What the user typed into a name box, in the forms it is looked up by.
struct TypedName {
    // Trimmed, otherwise as typed.
    QString text;
    // `text` with traditional characters made simplified; equal to `text`
    // when nothing changed. The text as typed is always searched too: an
    // other name such as 於术 would be lost by the conversion (于术).
    QString simplified;
    // When the text is pinyin: lower-case letters only, without the spaces,
    // apostrophes, tone marks or tone digits it may have been typed with
    // ("Ma Huang", "má huáng", "ma2huang2" -> "mahuang"; ü -> v; full-width
    // letters as their ASCII twins). Empty otherwise.
    QString latin;
};

TypedName typedName(QStringView typed);

} // namespace pinyin
