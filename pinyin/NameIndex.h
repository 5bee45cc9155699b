#pragma once

#include "pinyin/NameKeys.h"
#include "pinyin/Readings.h"

#include <QHash>
#include <QString>
#include <vector>

namespace pinyin {

// The kinds of key a drug is found by besides its name. The numbers are
// stored in the database.
enum class KeyKind {
    Pinyin = 0,        // a reading of the name without spaces
    Initials = 1,      // the initials of a reading of the name
    OtherName = 2,     // an other name as written
    OtherPinyin = 3,   // a reading of an other name
    OtherInitials = 4, // the initials of one
    LoosePinyin = 5,   // an everyday reading of a reviewed name (looseKeys)
    LooseInitials = 6, // its initials
};

// One key of one drug. `other` is the place, in otherNames() of the drug's
// 别名, of the other name a key of kinds 2 to 4 belongs to, else -1;
// `nameLength` is the length of the drug's name, which orders ties.
struct KeyRow {
    KeyKind kind;
    QString key;
    qint64 id = 0;
    int nameLength = 0;
    int other = -1;
    bool operator==(const KeyRow &) const = default;
};

// The keys of one drug from its name and its 别名 value, each (kind, key)
// once; an other name's own key is its first MaxOtherNameKey characters. A name's length counts characters, as the engine's length() does.
// Other names recur from drug to drug, so making the keys of many drugs
// can keep theirs in `cache`.
using KeyCache = QHash<QString, NameKeys>;
constexpr int MaxOtherNameKey = 32;
std::vector<KeyRow> keyRows(qint64 id, const QString &name, const QString &otherNames,
                            const ReviewedReadings &reviewed = ReviewedReadings::builtIn(), KeyCache *cache = nullptr);
int nameLength(const QString &name);

// What the keys are made from: the reviewed readings, Unihan's table and
// the way keys are made. Keys stored with another source are not this
// program's, and are made anew.
const QString &keySource();

// A drug found, with what found it.
struct NamedDrug {
    qint64 id = 0;
    int nameLength = 0;
    QString name;
};
struct KeyHit {
    qint64 id = 0;
    int nameLength = 0;
    int other = -1;
};
struct DrugNames {
    QString name;
    QString otherNames; // the 别名 value
};

// Sorts by name length, then ID, keeps each drug once and the first
// `limit`: what every NameIndex answer holds.
void keepFirstByLength(std::vector<NamedDrug> &found, int limit);
void keepFirstByLength(std::vector<KeyHit> &found, int limit);

// Where the names and their keys are kept: the database's tables, or memory.
// Each answer is ordered by name length, then ID, and holds at most `limit`
// drugs.
class NameIndex
{
public:
    virtual ~NameIndex() = default;
    // Drugs whose name starts with `prefix` (ASCII letters in any case).
    virtual std::vector<NamedDrug> namesStartingWith(const QString &prefix, int limit) = 0;
    // Drugs with a key of `kind` that starts with `prefix`, or equals it
    // when `exact`; a drug once, with one of its matching keys' `other`.
    virtual std::vector<KeyHit> keysStartingWith(KeyKind kind, const QString &prefix, bool exact, int limit) = 0;
    // The names of those drugs that exist.
    virtual QHash<qint64, DrugNames> names(const std::vector<qint64> &ids) = 0;
};

} // namespace pinyin
