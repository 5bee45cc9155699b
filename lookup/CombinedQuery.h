#pragma once

#include "data/Engine.h"
#include "data/SearchIndex.h"

#include <QString>
#include <QStringList>
#include <utility>
#include <vector>

namespace data {
class Connection;
}

// The combined search's statement, apart from the window that runs it: the
// twelve boxes' texts in, the SQL and the values to bind out. Each filled
// box asks that its column contain the text; % and _ typed into a box keep
// their pattern meaning. A box also finds its text in simplified
// characters (麻黃 finds 麻黄), and Latin letters alone in the name and
// other-name boxes also find the start of the names' pinyin or initials.
// Values are bound, never pasted. On a server, how a column is tested, the
// list's order and the narrowing by its search index are the engine's.
class CombinedQuery
{
public:
    // The engine refuses LIKE patterns longer than this, in bytes.
    static constexpr int LikePatternLimit = 50000;

    // texts[i] is box i + 1's text; a missing or empty one is no criterion.
    explicit CombinedQuery(const QStringList &texts);

    // The statement through the search index, which names the rows that can
    // match (and for short texts the rows that do) so that only the rest
    // are tested. It may stage rows in temporary tables of the connection.
    QString sql(data::Connection &connection);
    // The same statement testing every row, or only those `rows` (a test
    // of ID) names.
    QString fullSql(data::Connection &connection, const QString &rows = QString());
    // (name without the colon, value), in box order.
    const std::vector<std::pair<QString, QString>> &parameters() const { return m_parameters; }

private:
    // A box whose column may hold either of two texts, or whose drugs are
    // also found by the pinyin of their names.
    struct Alternatives {
        int box;
        QStringList texts;  // as typed, and in simplified characters
        QString latin;      // the pinyin typed, or empty
        QString test;       // of the texts
        QString keyTest;    // of the pinyin, or empty
    };

    static QString statement(const QString &where);
    static QString alternativesTest(const Alternatives &a, bool keys);
    QString tests(bool keys) const;
    // A server's: every box through the engine's LIKE, its text and its
    // simplified form either, and with `keys` the pinyin of the name boxes.
    QString serverTests(data::Engine &engine, bool keys);
    bool hasKeyTest(int box) const;
    static QString serverStatement(data::Engine &engine, const QString &where);

    std::vector<std::pair<int, QString>> m_plain; // (box, test) of the other boxes
    std::vector<Alternatives> m_alternatives;
    std::vector<std::pair<QString, QString>> m_parameters;
    std::vector<data::SearchIndex::Criterion> m_filled;
    std::vector<data::SearchCriterion> m_typed; // every filled box, as typed
};
