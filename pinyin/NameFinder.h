#pragma once

#include "pinyin/NameIndex.h"

#include <QString>
#include <QStringView>
#include <vector>

namespace pinyin {

// How a drug matched what was typed, best first: the list is in this order,
// ties by name length, then ID. The last is an everyday reading that the
// reviewed one replaces (yingsuke for 罂粟壳, ying su qiao).
enum class MatchKind { ExactName, NamePrefix, ExactInitials, PinyinPrefix, InitialsPrefix, OtherName, LooseReading };

struct NameMatch {
    qint64 id = 0;
    QString name;
    // The other name that matched, for MatchKind::OtherName.
    QString otherName;
    // The name's reading shown beside it: the one typed where pinyin
    // found it, else the first.
    QString reading;
    MatchKind kind = MatchKind::ExactName;

    // "黄芪（黄耆）  huang qi"
    QString display() const;
};

constexpr int MaxMatches = 50;

// Every drug whose name, or other name, starts with the typed text or its
// simplified form, or whose pinyin or initials start with the typed
// letters; best first, at most `limit`.
std::vector<NameMatch> findNames(NameIndex &index, QStringView typed, int limit = MaxMatches,
                                 const ReviewedReadings &reviewed = ReviewedReadings::builtIn());

} // namespace pinyin
