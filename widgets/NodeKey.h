#pragma once

#include <QString>
#include <optional>

// What a selectable tree node stands for: a drug ID or a help topic code,
// kept exactly as read.
struct NodeKey {
    QString key;
    // Where a row of a list kept in order sits (the result list's category
    // code; nullopt for NULL), so that a changed row finds its place again.
    std::optional<QString> order{};
};

// Removes every leading and trailing character at or below the blank
// (blanks and control characters); inner characters stay.
inline QString trimText(const QString &text)
{
    qsizetype begin = 0, end = text.size();
    while (begin < end && text[begin].unicode() <= u' ')
        ++begin;
    while (end > begin && text[end - 1].unicode() <= u' ')
        --end;
    return text.mid(begin, end - begin);
}
