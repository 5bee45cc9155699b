#include "pinyin/NameIndex.h"
#include "pinyin/NameKeys.h"

namespace pinyin {

int nameLength(const QString &name)
{
    int n = 0;
    for (QChar c : name)
        n += !c.isLowSurrogate();
    return n;
}

std::vector<KeyRow> keyRows(qint64 id, const QString &name, const QString &otherNamesValue,
                            const ReviewedReadings &reviewed)
{
    std::vector<KeyRow> rows;
    const int length = nameLength(name);
    const auto add = [&](KeyKind kind, const QString &key, const QString &other) {
        for (const KeyRow &r : rows)
            if (r.kind == kind && r.key == key)
                return;
        rows.push_back({kind, key, id, length, other});
    };
    const NameKeys own = nameKeys(name, reviewed);
    for (const QString &k : own.full)
        add(KeyKind::Pinyin, k, {});
    for (const QString &k : own.initials)
        add(KeyKind::Initials, k, {});
    for (const QString &other : otherNames(otherNamesValue)) {
        add(KeyKind::OtherName, other, other);
        const NameKeys keys = nameKeys(other, reviewed);
        for (const QString &k : keys.full)
            add(KeyKind::OtherPinyin, k, other);
        for (const QString &k : keys.initials)
            add(KeyKind::OtherInitials, k, other);
    }
    return rows;
}

} // namespace pinyin
