#include "data/JsonText.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace data {

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
                item.names.insert(key, name); // the last of a repeated name counts, as in Qt
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
