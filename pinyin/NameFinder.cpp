#include "pinyin/NameFinder.h"
#include "pinyin/NameKeys.h"
#include "pinyin/TypedName.h"

#include <algorithm>
#include <map>
#include <tuple>

namespace pinyin {

namespace {

struct Found {
    MatchKind kind;
    int length;
    qint64 id;
    QString name;
    int other = -1;
};

// The reading that explains the match, so the row shows why it is there;
// after an everyday reading, the reviewed one, which is right.
QString shownReading(const QString &name, MatchKind kind, const QString &latin, const ReviewedReadings &reviewed)
{
    const QStringList readings = nameReadings(name, reviewed);
    if (readings.isEmpty())
        return {};
    for (const QString &r : readings) {
        if (kind == MatchKind::PinyinPrefix && compactReading(r).startsWith(latin))
            return r;
        if ((kind == MatchKind::ExactInitials || kind == MatchKind::InitialsPrefix) && readingInitials(r).startsWith(latin))
            return r;
    }
    return readings.front();
}

} // namespace

QString NameMatch::display() const
{
    QString text = name;
    if (!otherName.isEmpty())
        text += u'（' + otherName + u'）';
    if (!reading.isEmpty())
        text += u'　' + reading;
    return text;
}

std::vector<NameMatch> findNames(NameIndex &index, QStringView typed, int limit, const ReviewedReadings &reviewed)
{
    const TypedName t = typedName(typed);
    if (t.text.isEmpty() || limit <= 0)
        return {};
    QStringList texts{t.text};
    if (t.simplified != t.text)
        texts << t.simplified;

    std::map<qint64, Found> best;
    const auto offer = [&](Found found) {
        const auto [at, fresh] = best.try_emplace(found.id, found);
        if (!fresh && found.kind < at->second.kind)
            at->second = std::move(found);
    };
    // The list is ordered by kind first, so once `limit` drugs are found no
    // later kind can enter it.
    const auto full = [&] { return int(best.size()) >= limit; };
    const auto keys = [&](KeyKind key, const QString &prefix, bool exact, MatchKind kind) {
        for (const KeyHit &hit : index.keysStartingWith(key, prefix, exact, limit))
            offer({kind, hit.nameLength, hit.id, {}, hit.other});
    };

    for (const QString &text : texts)
        for (NamedDrug &d : index.namesStartingWith(text, limit)) {
            const bool exact = std::any_of(texts.begin(), texts.end(), [&](const QString &s) {
                return d.name.compare(s, Qt::CaseInsensitive) == 0;
            });
            offer({exact ? MatchKind::ExactName : MatchKind::NamePrefix, d.nameLength, d.id, std::move(d.name)});
        }
    if (!t.latin.isEmpty()) {
        if (!full())
            keys(KeyKind::Initials, t.latin, true, MatchKind::ExactInitials);
        if (!full())
            keys(KeyKind::Pinyin, t.latin, false, MatchKind::PinyinPrefix);
        if (!full())
            keys(KeyKind::Initials, t.latin, false, MatchKind::InitialsPrefix);
    }
    if (!full()) {
        for (const QString &text : texts)
            keys(KeyKind::OtherName, text, false, MatchKind::OtherName);
        if (!t.latin.isEmpty()) {
            keys(KeyKind::OtherPinyin, t.latin, false, MatchKind::OtherName);
            keys(KeyKind::OtherInitials, t.latin, false, MatchKind::OtherName);
        }
    }
    if (!full() && !t.latin.isEmpty()) {
        keys(KeyKind::LoosePinyin, t.latin, false, MatchKind::LooseReading);
        keys(KeyKind::LooseInitials, t.latin, false, MatchKind::LooseReading);
    }

    std::vector<Found> order;
    order.reserve(best.size());
    for (auto &[id, found] : best)
        order.push_back(std::move(found));
    std::sort(order.begin(), order.end(), [](const Found &a, const Found &b) {
        return std::tie(a.kind, a.length, a.id) < std::tie(b.kind, b.length, b.id);
    });
    if (int(order.size()) > limit)
        order.resize(size_t(limit));

    std::vector<qint64> unnamed;
    for (const Found &f : order)
        if (f.name.isNull() || f.other >= 0)
            unnamed.push_back(f.id);
    const QHash<qint64, DrugNames> names = unnamed.empty() ? QHash<qint64, DrugNames>() : index.names(unnamed);

    std::vector<NameMatch> matches;
    matches.reserve(order.size());
    for (Found &f : order) {
        const auto stored = names.constFind(f.id);
        if (f.name.isNull() && stored == names.cend())
            continue; // deleted since its keys were written
        QString name = f.name.isNull() ? stored->name : std::move(f.name);
        QString other = f.other >= 0 && stored != names.cend() ? otherNames(stored->otherNames).value(f.other) : QString();
        QString reading = shownReading(name, f.kind, t.latin, reviewed);
        matches.push_back({f.id, std::move(name), std::move(other), std::move(reading), f.kind});
    }
    return matches;
}

} // namespace pinyin
