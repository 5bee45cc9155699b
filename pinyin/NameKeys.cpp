#include "pinyin/NameKeys.h"
#include "pinyin/Unihan.h"

#include <QRegularExpression>
#include <algorithm>

namespace pinyin {

namespace {

bool isHan(char32_t c)
{
    return QChar::script(c) == QChar::Script_Han;
}

bool isAsciiWordChar(char32_t c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

// The reading choices of each part of a name, customary first. A reviewed
// name is one part; else a part is a reviewed name or other name standing inside a longer one (白术 in
// 炒白术, read zhu), else a single unit; units Unihan cannot read are left
// out, so the rest of the name is still found.
QList<QStringList> choices(const QString &name, const ReviewedReadings &reviewed)
{
    if (const QStringList whole = reviewed.readings(name); !whole.isEmpty())
        return {whole};
    constexpr int LongestWord = 8;
    const QList<ReadingUnit> units = readingUnits(name).mid(0, MaxReadingUnits);
    QList<QStringList> out;
    for (qsizetype u = 0; u < units.size();) {
        qsizetype taken = 0;
        if (units[u].han) {
            for (qsizetype k = std::min<qsizetype>(LongestWord, units.size() - u); k >= 2 && !taken; --k) {
                const QStringList words = reviewed.readings(name.mid(units[u].start, units[u + k - 1].end - units[u].start));
                if (!words.isEmpty()) {
                    out << words;
                    taken = k;
                }
            }
        }
        if (!taken) {
            taken = 1;
            if (!units[u].han) {
                out << QStringList{units[u].latin};
            } else {
                QStringList list;
                for (QLatin1StringView s : unihanReadings(units[u].han))
                    list << QString(s);
                if (!list.isEmpty())
                    out << list;
            }
        }
        u += taken;
    }
    return out;
}

// The `limit` combinations of one choice per unit with the lowest sum of
// choice positions, joined by `separator`, lowest first, without repeats.
// Keeping only the best `limit` prefixes at each unit loses none of them:
// every prefix beyond those has `limit` better ones, each of which extends
// with a customary choice at no cost.
QStringList combine(const QList<QStringList> &units, int limit, const QString &separator)
{
    struct Partial { int cost; QString text; };
    std::vector<Partial> partials{{0, QString()}};
    for (const QStringList &unit : units) {
        std::vector<Partial> next;
        next.reserve(partials.size() * size_t(unit.size()));
        for (const Partial &p : partials)
            for (int k = 0; k < unit.size(); ++k)
                next.push_back({p.cost + k, p.text.isEmpty() ? unit[k] : p.text + separator + unit[k]});
        std::stable_sort(next.begin(), next.end(), [](const Partial &a, const Partial &b) { return a.cost < b.cost; });
        std::vector<Partial> kept;
        for (Partial &p : next) {
            if (int(kept.size()) == limit)
                break;
            if (std::none_of(kept.begin(), kept.end(), [&](const Partial &k) { return k.text == p.text; }))
                kept.push_back(std::move(p));
        }
        partials = std::move(kept);
    }
    QStringList out;
    for (const Partial &p : partials)
        if (!p.text.isEmpty())
            out << p.text;
    return out;
}

} // namespace

QList<ReadingUnit> readingUnits(QStringView name)
{
    QList<ReadingUnit> units;
    qsizetype runStart = -1;
    const auto flush = [&](qsizetype at) {
        if (runStart >= 0)
            units.append(ReadingUnit{0, name.mid(runStart, at - runStart).toString().toLower(), runStart, at});
        runStart = -1;
    };
    for (qsizetype i = 0; i < name.size();) {
        const qsizetype start = i;
        char32_t c = name[i++].unicode();
        if (QChar::isHighSurrogate(c) && i < name.size() && name[i].isLowSurrogate())
            c = QChar::surrogateToUcs4(char16_t(c), name[i++].unicode());
        if (isAsciiWordChar(c)) {
            if (runStart < 0)
                runStart = start;
            continue;
        }
        flush(start);
        if (isHan(c))
            units.append(ReadingUnit{c, {}, start, i});
    }
    flush(name.size());
    return units;
}

QStringList nameReadings(QStringView name, const ReviewedReadings &reviewed)
{
    return combine(choices(name.trimmed().toString(), reviewed), MaxReadings, QStringLiteral(" "));
}

QString compactReading(QStringView reading)
{
    QString out;
    out.reserve(reading.size());
    for (QChar c : reading)
        if (c != u' ')
            out += c;
    return out;
}

QString readingInitials(QStringView reading)
{
    QString out;
    bool start = true;
    for (QChar c : reading) {
        if (c == u' ') {
            start = true;
        } else if (start) {
            out += c;
            start = false;
        }
    }
    return out;
}

NameKeys nameKeys(QStringView name, const ReviewedReadings &reviewed, int limit)
{
    const QList<QStringList> parts = choices(name.trimmed().toString(), reviewed);
    NameKeys keys;
    for (const QString &r : combine(parts, limit, QStringLiteral(" "))) {
        const QString full = compactReading(r);
        if (!keys.full.contains(full))
            keys.full << full;
    }
    // Initials vary less than readings, so they get their own bound.
    QList<QStringList> firsts;
    for (const QStringList &part : parts) {
        QStringList letters;
        for (const QString &r : part)
            if (!letters.contains(readingInitials(r)))
                letters << readingInitials(r);
        firsts << letters;
    }
    keys.initials = combine(firsts, limit, QString());
    return keys;
}

NameKeys looseKeys(QStringView name, const NameKeys &reviewedKeys)
{
    static const ReviewedReadings none;
    // A name without a reviewed part has these among its own keys already.
    const NameKeys all = nameKeys(name, none, MaxLooseReadings);
    NameKeys loose;
    for (const QString &k : all.full)
        if (!reviewedKeys.full.contains(k))
            loose.full << k;
    for (const QString &k : all.initials)
        if (!reviewedKeys.initials.contains(k))
            loose.initials << k;
    return loose;
}

QStringList otherNames(QStringView value)
{
    static const QRegularExpression separators(QStringLiteral("[、，；,;]"));
    QStringList out;
    for (const QString &part : value.toString().split(separators)) {
        const QString name = part.trimmed();
        if (!name.isEmpty() && !out.contains(name))
            out << name;
    }
    return out;
}

} // namespace pinyin
