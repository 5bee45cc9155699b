#include "pinyin/NameIndex.h"
#include "pinyin/NameKeys.h"
#include "pinyin/UnihanData.h"

#include <QCryptographicHash>
#include <algorithm>
#include <cstring>
#include <tuple>

namespace pinyin {

namespace {

template <class T>
void keepFirst(std::vector<T> &found, int limit)
{
    std::sort(found.begin(), found.end(),
              [](const T &a, const T &b) { return std::tie(a.nameLength, a.id) < std::tie(b.nameLength, b.id); });
    found.erase(std::unique(found.begin(), found.end(), [](const T &a, const T &b) { return a.id == b.id; }), found.end());
    if (int(found.size()) > limit)
        found.resize(size_t(std::max(limit, 0)));
}

} // namespace

void keepFirstByLength(std::vector<NamedDrug> &found, int limit)
{
    keepFirst(found, limit);
}

void keepFirstByLength(std::vector<KeyHit> &found, int limit)
{
    keepFirst(found, limit);
}

const QString &keySource()
{
    // Raise when the way keys are made from the readings changes.
    static constexpr char Layout[] = "name keys 1";
    static const QString source = [] {
        QCryptographicHash hash(QCryptographicHash::Sha1);
        hash.addData(QByteArrayView(Layout));
        const QHash<QString, QStringList> &all = ReviewedReadings::builtIn().all();
        QStringList names = all.keys();
        names.sort();
        for (const QString &name : names)
            hash.addData((name + u'=' + all.value(name).join(u'|') + u'\n').toUtf8());
        hash.addData(QByteArrayView(reinterpret_cast<const char *>(unihan::Readings), unihan::ReadingCount * 4));
        const char *last = unihan::SyllableText + unihan::SyllableStart[unihan::SyllableCount - 1];
        hash.addData(QByteArrayView(unihan::SyllableText, last + std::strlen(last) - unihan::SyllableText));
        return QString::fromLatin1(hash.result().toHex());
    }();
    return source;
}

int nameLength(const QString &name)
{
    int n = 0;
    for (QChar c : name)
        n += !c.isLowSurrogate();
    return n;
}

std::vector<KeyRow> keyRows(qint64 id, const QString &name, const QString &otherNamesValue,
                            const ReviewedReadings &reviewed, KeyCache *cache)
{
    std::vector<KeyRow> rows;
    const int length = nameLength(name);
    const auto add = [&](KeyKind kind, const QString &key, int other) {
        for (const KeyRow &r : rows)
            if (r.kind == kind && r.key == key)
                return;
        rows.push_back({kind, key, id, length, other});
    };
    const NameKeys own = nameKeys(name, reviewed);
    for (const QString &k : own.full)
        add(KeyKind::Pinyin, k, -1);
    for (const QString &k : own.initials)
        add(KeyKind::Initials, k, -1);
    const NameKeys loose = looseKeys(name, own);
    for (const QString &k : loose.full)
        add(KeyKind::LoosePinyin, k, -1);
    for (const QString &k : loose.initials)
        add(KeyKind::LooseInitials, k, -1);
    const QStringList others = otherNames(otherNamesValue);
    for (int place = 0; place < others.size(); ++place) {
        const QString &other = others[place];
        QString key = other.left(MaxOtherNameKey);
        if (key.size() < other.size() && key.back().isHighSurrogate())
            key.chop(1);
        add(KeyKind::OtherName, key, place);
        const auto cached = cache ? cache->constFind(other) : KeyCache::const_iterator();
        const NameKeys keys = cache && cached != cache->cend() ? *cached : nameKeys(other, reviewed);
        if (cache && cached == cache->cend())
            cache->insert(other, keys);
        for (const QString &k : keys.full)
            add(KeyKind::OtherPinyin, k, place);
        for (const QString &k : keys.initials)
            add(KeyKind::OtherInitials, k, place);
    }
    return rows;
}

} // namespace pinyin
