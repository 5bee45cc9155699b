#include "data/JsonText.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <cstring>

namespace data {

namespace {

// Reads the text as JSON, stopping at the first problem Qt's parser would
// not report, or at anything it reports well itself.
class StrictReader
{
public:
    explicit StrictReader(const QByteArray &text) : t(text), n(text.size()) {}

    std::optional<JsonProblem> run()
    {
        i = t.startsWith("\xEF\xBB\xBF") ? 3 : 0;
        value(0);
        return problem;
    }

private:
    static constexpr int MaxDepth = 512;

    void blank()
    {
        while (i < n && (t[i] == ' ' || t[i] == '\t' || t[i] == '\n' || t[i] == '\r'))
            ++i;
    }

    bool fail(qsizetype at, const QString &message, qsizetype earlier = -1)
    {
        problem = JsonProblem{at, message, earlier};
        return false;
    }

    // Each returns false to stop.
    bool value(int depth)
    {
        blank();
        if (i >= n || depth > MaxDepth)
            return false;
        if (t[i] == '{')
            return object(depth);
        if (t[i] == '[')
            return array(depth);
        if (t[i] == '"')
            return string(nullptr);
        // A number or a literal: Qt's parser checks those.
        while (i < n && !QByteArrayView(",]} \t\n\r").contains(t[i]))
            ++i;
        return true;
    }

    bool array(int depth)
    {
        ++i;
        blank();
        if (i < n && t[i] == ']') {
            ++i;
            return true;
        }
        while (value(depth + 1)) {
            blank();
            if (i >= n)
                return false;
            if (t[i] == ']') {
                ++i;
                return true;
            }
            if (t[i] != ',')
                return false;
            ++i;
        }
        return false;
    }

    bool object(int depth)
    {
        ++i;
        QHash<QString, qsizetype> names;
        blank();
        if (i < n && t[i] == '}') {
            ++i;
            return true;
        }
        while (true) {
            blank();
            if (i >= n || t[i] != '"')
                return false;
            const qsizetype at = i;
            QString name;
            if (!string(&name))
                return false;
            const auto seen = names.constFind(name);
            if (seen != names.cend())
                return fail(at, QStringLiteral("同一对象中名称 \"%1\" 出现了两次").arg(name), *seen);
            names.insert(name, at);
            blank();
            if (i >= n || t[i] != ':')
                return false;
            ++i;
            if (!value(depth + 1))
                return false;
            blank();
            if (i >= n)
                return false;
            if (t[i] == '}') {
                ++i;
                return true;
            }
            if (t[i] != ',')
                return false;
            ++i;
        }
    }

    // Four hex digits at `at`, or -1.
    int hex4(qsizetype at) const
    {
        if (at + 4 > n)
            return -1;
        int unit = 0;
        for (qsizetype k = at; k < at + 4; ++k) {
            const char c = t[k];
            const int digit = c >= '0' && c <= '9' ? c - '0'
                : c >= 'a' && c <= 'f'             ? c - 'a' + 10
                : c >= 'A' && c <= 'F'             ? c - 'A' + 10
                                                   : -1;
            if (digit < 0)
                return -1;
            unit = unit * 16 + digit;
        }
        return unit;
    }

    // The string at i; its text into `out` where given.
    bool string(QString *out)
    {
        const qsizetype start = i++;
        QByteArray bytes;
        const auto unterminated = [&] {
            // Named by its beginning, up to the end of its line.
            qsizetype end = start + 1;
            while (end < n && t[end] != '\n' && t[end] != '\r')
                ++end;
            QString beginning = QString::fromUtf8(t.mid(start + 1, end - start - 1));
            if (beginning.size() > 20)
                beginning = beginning.left(20) + QStringLiteral("…");
            return fail(start, QStringLiteral("字符串 \"%1 没有结束，缺少右引号").arg(beginning));
        };
        while (true) {
            if (i >= n || t[i] == '\n' || t[i] == '\r')
                return unterminated();
            const char c = t[i];
            if (c == '"') {
                ++i;
                if (out)
                    *out = QString::fromUtf8(bytes);
                return true;
            }
            if (c != '\\') {
                bytes += c;
                ++i;
                continue;
            }
            if (i + 1 >= n)
                return unterminated();
            const char e = t[i + 1];
            static const char simple[] = "\"\\/bfnrt";
            static const char meaning[] = "\"\\/\b\f\n\r\t";
            if (const char *found = e ? std::strchr(simple, e) : nullptr) {
                bytes += meaning[found - simple];
                i += 2;
                continue;
            }
            if (e != 'u') {
                // The escaped character whole, however many bytes it has.
                qsizetype end = i + 2;
                while (end < n && (t[end] & 0xC0) == 0x80)
                    ++end;
                return fail(i, QStringLiteral("无效的转义 \\%1").arg(QString::fromUtf8(t.mid(i + 1, end - i - 1))));
            }
            const int unit = hex4(i + 2);
            if (unit < 0)
                return fail(i, QStringLiteral("无效的转义 %1，\\u 后面须是四位十六进制数").arg(QString::fromUtf8(t.mid(i, 6))));
            char32_t code = char32_t(unit);
            qsizetype next = i + 6;
            if (unit >= 0xD800 && unit <= 0xDBFF) {
                const int low = next + 1 < n && t[next] == '\\' && t[next + 1] == 'u' ? hex4(next + 2) : -1;
                if (low < 0xDC00 || low > 0xDFFF)
                    return fail(i, QStringLiteral("%1 是落单的代理项，不是一个字符").arg(QString::fromUtf8(t.mid(i, 6))));
                code = 0x10000 + ((char32_t(unit) - 0xD800) << 10) + (char32_t(low) - 0xDC00);
                next += 6;
            } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
                return fail(i, QStringLiteral("%1 是落单的代理项，不是一个字符").arg(QString::fromUtf8(t.mid(i, 6))));
            }
            bytes += QString::fromUcs4(&code, 1).toUtf8();
            i = next;
        }
    }

    const QByteArray &t;
    const qsizetype n;
    qsizetype i = 0;
    std::optional<JsonProblem> problem;
};

} // namespace

std::optional<JsonProblem> strictJsonProblem(const QByteArray &text)
{
    return StrictReader(text).run();
}

JsonPlaces::JsonPlaces(const QByteArray &t)
{
    const qsizetype n = t.size();
    qsizetype i = t.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    const auto blank = [&] {
        while (i < n && (t[i] == ' ' || t[i] == '\t' || t[i] == '\n' || t[i] == '\r'))
            ++i;
    };
    const auto skipString = [&] {
        for (++i; i < n && t[i] != '"'; ++i) {
            if (t[i] == '\\')
                ++i;
        }
        ++i;
    };
    const auto skipValue = [&] {
        int depth = 0;
        do {
            if (i >= n)
                return;
            const char c = t[i];
            if (c == '"') {
                skipString();
                continue;
            }
            if (depth == 0 && (c == ',' || c == '}' || c == ']' || c == ' ' || c == '\t' || c == '\n' || c == '\r'))
                return; // the end of a number or a literal
            if (c == '{' || c == '[')
                ++depth;
            else if (c == '}' || c == ']')
                --depth;
            ++i;
        } while (depth > 0);
    };
    blank();
    top = i;
    if (i >= n || t[i] != '[')
        return;
    ++i;
    for (blank(); i < n && t[i] != ']'; blank()) {
        Item item;
        item.start = i;
        if (t[i] == '{') {
            for (++i, blank(); i < n && t[i] != '}'; blank()) {
                const qsizetype name = i;
                skipString();
                const QByteArray token = t.mid(name, i - name);
                // Only a name with escapes needs the parser to read it.
                const QString key = token.contains('\\')
                    ? QJsonDocument::fromJson('[' + token + ']').array().at(0).toString()
                    : QString::fromUtf8(token.mid(1, token.size() - 2));
                blank();
                ++i; // ':'
                blank();
                item.names.insert(key, name);
                item.values.insert(key, i);
                skipValue();
                blank();
                if (i < n && t[i] == ',')
                    ++i;
            }
            ++i;
        } else {
            skipValue();
        }
        items.push_back(std::move(item));
        blank();
        if (i < n && t[i] == ',')
            ++i;
    }
}

QString jsonPlace(const QString &path, const QByteArray &bytes, qsizetype offset)
{
    int line = 1, column = 1;
    for (qsizetype i = 0; i < offset && i < bytes.size(); ++i) {
        if (bytes[i] == '\n') {
            ++line;
            column = 1;
        } else if ((bytes[i] & 0xC0) != 0x80) {
            ++column;
        }
    }
    return QStringLiteral("%1:%2:%3").arg(path).arg(line).arg(column);
}

} // namespace data
