#pragma once

#include "data/Engine.h"

#include <QString>
#include <QStringList>
#include <vector>

namespace data {
class Connection;
}

// The combined search's statement, apart from the window that runs it: the
// twelve boxes' texts in, the SQL and the values to bind out. Each filled
// box asks that its column contain the text; % and _ typed into a box keep
// their pattern meaning. Values are bound, never pasted. How a column is
// tested, the list's order and the narrowing by a search index are the
// connection's engine's.
class CombinedQuery
{
public:
    // texts[i] is box i + 1's text; a missing or empty one is no criterion.
    explicit CombinedQuery(const QStringList &texts);

    // The statement through the search index, which names the rows that can
    // match (and for short texts the rows that do) so that only the rest
    // are tested. It may stage rows in temporary tables of the connection.
    QString sql(data::Connection &connection);
    // The same statement testing every row.
    QString fullSql(data::Connection &connection);
    // (name without the colon, value) of the statement made last.
    const data::Parameters &parameters() const { return m_parameters; }

private:
    QString tests(data::Engine &engine);
    static QString statement(data::Engine &engine, const QString &where);

    std::vector<data::SearchCriterion> m_filled;
    data::Parameters m_parameters;
};
