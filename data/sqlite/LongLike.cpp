#include "data/sqlite/LongLike.h"
#include "data/sqlite/LikeText.h"

#include <sqlite3.h>
#include <vector>

namespace data {

namespace {

using Text = std::vector<char32_t>;

// The characters of UTF-8 text as the engine's LIKE reads them
// (sqlite3Utf8Read): a bad sequence reads as U+FFFD, a NUL ends the text.
Text characters(QByteArrayView utf8)
{
    Text text;
    text.reserve(size_t(utf8.size()));
    const auto *p = reinterpret_cast<const unsigned char *>(utf8.data());
    forEachLikeCharacter(p, p + utf8.size(), [&](std::uint32_t c) {
        if (c == 0)
            return false;
        text.push_back(char32_t(c));
        return true;
    });
    return text;
}

bool same(char32_t pattern, char32_t c)
{
    const auto lower = [](char32_t x) { return x >= 'A' && x <= 'Z' ? x + 32 : x; };
    return pattern == '_' || pattern == c || (pattern < 0x80 && c < 0x80 && lower(pattern) == lower(c));
}

bool sameRun(const char32_t *pattern, const char32_t *text, size_t length)
{
    for (size_t i = 0; i < length; ++i) {
        if (!same(pattern[i], text[i]))
            return false;
    }
    return true;
}

// The pieces between the %s must occur in order: the first at the start,
// the last at the end, and each other one where it first occurs after the
// one before; that leftmost choice never loses a match.
bool matches(const Text &p, const Text &s)
{
    size_t firstEnd = 0;
    while (firstEnd < p.size() && p[firstEnd] != '%')
        ++firstEnd;
    if (firstEnd == p.size())
        return p.size() == s.size() && sameRun(p.data(), s.data(), p.size());
    size_t lastStart = p.size();
    while (p[lastStart - 1] != '%')
        --lastStart;
    const size_t lastLength = p.size() - lastStart;
    if (firstEnd + lastLength > s.size() || !sameRun(p.data(), s.data(), firstEnd)
        || !sameRun(p.data() + lastStart, s.data() + s.size() - lastLength, lastLength))
        return false;
    size_t at = firstEnd;
    const size_t limit = s.size() - lastLength;
    for (size_t q = firstEnd; q < lastStart;) {
        if (p[q] == '%') {
            ++q;
            continue;
        }
        size_t end = q;
        while (p[end] != '%')
            ++end;
        const size_t length = end - q;
        while (at + length <= limit && !sameRun(p.data() + q, s.data() + at, length))
            ++at;
        if (at + length > limit)
            return false;
        at += length;
        q = end;
    }
    return true;
}

void longLike(sqlite3_context *context, int, sqlite3_value **arguments)
{
    if (sqlite3_value_type(arguments[0]) == SQLITE_NULL || sqlite3_value_type(arguments[1]) == SQLITE_NULL)
        return; // NULL
    // A bound pattern stays the same for every row: read it once.
    auto *pattern = static_cast<Text *>(sqlite3_get_auxdata(context, 0));
    if (!pattern) {
        const auto *bytes = reinterpret_cast<const char *>(sqlite3_value_text(arguments[0]));
        auto *read = new Text(characters(QByteArrayView(bytes, sqlite3_value_bytes(arguments[0]))));
        sqlite3_set_auxdata(context, 0, read, [](void *p) { delete static_cast<Text *>(p); });
        pattern = static_cast<Text *>(sqlite3_get_auxdata(context, 0));
        if (!pattern) { // not kept (out of memory): sqlite3_set_auxdata has deleted it
            sqlite3_result_error_nomem(context);
            return;
        }
    }
    const auto *bytes = reinterpret_cast<const char *>(sqlite3_value_text(arguments[1]));
    const Text value = characters(QByteArrayView(bytes, sqlite3_value_bytes(arguments[1])));
    sqlite3_result_int(context, matches(*pattern, value) ? 1 : 0);
}

} // namespace

bool likeMatches(QByteArrayView pattern, QByteArrayView value)
{
    return matches(characters(pattern), characters(value));
}

void registerLongLike(sqlite3 *db)
{
    sqlite3_create_function_v2(db, "long_like", 2, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, longLike, nullptr,
                               nullptr, nullptr);
}

} // namespace data
