#include "data/sqlite/SearchKeys.h"
#include "data/Statement.h"
#include "data/sqlite/LikeText.h"

#include <algorithm>

namespace data::index {

namespace {

// The indexed columns in the order DRUG_ZB_DIRTY lists them, with the
// field each one feeds.
struct IndexedColumn {
    QStringView name;
    int field;
};
constexpr int IndexedCount = [] {
    int n = 0;
    for (const DrugField &f : DrugFields)
        n += f.indexField >= 0;
    return n;
}();
constexpr std::array<IndexedColumn, IndexedCount> IndexedColumns = [] {
    std::array<IndexedColumn, IndexedCount> out{};
    int i = 0;
    for (const DrugField &f : DrugFields) {
        if (f.indexField >= 0)
            out[size_t(i++)] = {f.column, f.indexField};
    }
    return out;
}();

// Characters as the engine's LIKE reads them, Latin capitals folded to
// small ones.
template <class F>
void forEachCharacter(const unsigned char *p, const unsigned char *end, F &&f)
{
    forEachLikeCharacter(p, end, [&](std::uint32_t c) { return f(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c); });
}

Key pairKey(int field, std::uint32_t first, std::uint32_t second)
{
    return singleKey(field, first) | keyCharacter(second);
}

// Where a character stands in a value, for deciding "a, then later b":
// exact below 128, then in steps of 16, 255 from 2,160 on. Only the order of
// two places matters, and this keeps it.
std::uint8_t place(int at)
{
    return std::uint8_t(at < 128 ? at : std::min(255, 128 + (at - 128) / 16));
}

} // namespace

QString columnList()
{
    return indexedColumns().join(QLatin1Char(','));
}

void sortUnique(KeyList &list)
{
    std::sort(list.begin(), list.end());
    list.erase(std::unique(list.begin(), list.end()), list.end());
}

void rowOccurrences(const Statement &row, int firstColumn, std::vector<Posting> &out)
{
    out.clear();
    for (int i = 0; i < IndexedCount; ++i) {
        const QByteArrayView value = row.bytes(firstColumn + i);
        if (!value.data())
            continue;
        const int field = IndexedColumns[i].field;
        const bool placed = !SharedField[size_t(field)];
        const auto *p = reinterpret_cast<const unsigned char *>(value.data());
        std::uint32_t previous = 0;
        int at = 0;
        forEachCharacter(p, p + value.size(), [&](std::uint32_t c) {
            if (c == 0)
                return false;
            const std::uint8_t here = place(at++);
            out.push_back({singleKey(field, c), placed ? std::uint16_t(here << 8 | here) : std::uint16_t(0)});
            if (previous)
                out.push_back({pairKey(field, previous, c), 0});
            previous = c;
            return true;
        });
    }
}

void rowPostings(const Statement &row, int firstColumn, std::vector<Posting> &out)
{
    rowOccurrences(row, firstColumn, out);
    std::stable_sort(out.begin(), out.end(), [](const Posting &a, const Posting &b) { return a.key < b.key; });
    size_t kept = 0;
    for (size_t i = 0; i < out.size(); ++i) {
        if (kept > 0 && out[kept - 1].key == out[i].key) {
            Posting &p = out[kept - 1];
            const int first = std::min(p.places >> 8, out[i].places >> 8);
            const int last = std::max(p.places & 0xFF, out[i].places & 0xFF);
            p.places = hasPlaces(p.key) ? std::uint16_t(first << 8 | last) : 0;
        } else {
            out[kept++] = {out[i].key, hasPlaces(out[i].key) ? out[i].places : std::uint16_t(0)};
        }
    }
    out.resize(kept);
}

bool requiredKeys(int field, QStringView typed, KeyList &out)
{
    // Between wildcards, a run of one character needs that character, a
    // longer run each of its pairs (which hold its characters).
    const QByteArray utf8 = typed.toUtf8();
    const auto *p = reinterpret_cast<const unsigned char *>(utf8.constData());
    std::uint32_t previous = 0;
    int run = 0, characters = 0;
    bool wildcard = false, cut = false;
    const auto endRun = [&] {
        if (run == 1)
            out.push_back(singleKey(field, previous));
        run = 0;
        previous = 0;
    };
    forEachCharacter(p, p + utf8.size(), [&](std::uint32_t c) {
        if (c == 0) {
            cut = true; // the pattern ends here, its trailing % with it
            return false;
        }
        if (c == '%' || c == '_') {
            wildcard = true;
            endRun();
            return true;
        }
        if (previous)
            out.push_back(pairKey(field, previous, c));
        previous = c;
        ++run;
        ++characters;
        return true;
    });
    endRun();
    return !wildcard && !cut && characters >= 1 && characters <= 2;
}

bool orderedPair(int field, QStringView typed, Key &first, Key &last)
{
    if (SharedField[size_t(field)])
        return false;
    const QByteArray utf8 = typed.toUtf8();
    const auto *p = reinterpret_cast<const unsigned char *>(utf8.constData());
    std::vector<std::uint32_t> runs;
    int run = 0;
    bool plain = true;
    forEachCharacter(p, p + utf8.size(), [&](std::uint32_t c) {
        if (c == 0 || c == '_') {
            plain = false;
            return false;
        }
        if (c == '%') {
            run = 0;
            return true;
        }
        if (++run > 1)
            plain = false;
        runs.push_back(c);
        return true;
    });
    if (!plain || runs.size() != 2)
        return false;
    first = singleKey(field, runs[0]);
    last = singleKey(field, runs[1]);
    return true;
}

} // namespace data::index
