#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
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

// "file:line:column" of a byte offset; a column counts characters, not bytes.
QString jsonPlace(const QString &path, const QByteArray &bytes, qsizetype offset);

} // namespace data
