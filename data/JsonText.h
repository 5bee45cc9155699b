#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <optional>
#include <vector>

namespace data {

// Where the items of a JSON array and their members begin in its text, as
// byte offsets, for messages that name a line and a column. Qt's parser has
// passed the text, so it is valid JSON; Qt keeps no positions of its own.
struct JsonPlaces {
    struct Item {
        qsizetype start = 0;
        QHash<QString, qsizetype> names;  // a member's name
        QHash<QString, qsizetype> values; // a member's value
    };
    qsizetype top = 0; // the top-level value
    std::vector<Item> items;

    explicit JsonPlaces(const QByteArray &t);
};

// What Qt's parser lets through or reports at the wrong place: an invalid
// escape, a lone surrogate (\ud800, which it would store as "?"), a name
// given twice in one object, and a string without its closing quote (which
// it reads on to the next quote and then reports as an "unterminated
// object" further on). `earlier` is where a repeated name first stands.
struct JsonProblem {
    qsizetype offset = 0;
    QString message;
    qsizetype earlier = -1;
};
std::optional<JsonProblem> strictJsonProblem(const QByteArray &text);

// "file:line:column" of a byte offset; a column counts characters, not bytes.
QString jsonPlace(const QString &path, const QByteArray &bytes, qsizetype offset);

} // namespace data
