#include "SearchCases.h"

namespace bench {

const QList<SearchCase> &searchCases()
{
    // Texts the search index answers alone, one it narrows with a wildcard
    // between characters, and a Latin pattern.
    static const QList<SearchCase> cases{
        {QStringLiteral("combined search, selective"), 0, selectiveCriterion(), {30, 15, 7}, true},
        {QStringLiteral("combined search, one common character"), 0, QStringLiteral("热"), {20, 9, 5}},
        {QStringLiteral("combined search, one absent character"), 0, QStringLiteral("龙"), {20, 9, 5}},
        {QStringLiteral("combined search, two characters"), 0, QStringLiteral("清热"), {20, 9, 5}},
        {QStringLiteral("combined search, wildcard between characters"), 0, QStringLiteral("热%寒"), {20, 9, 5}},
        {QStringLiteral("combined search, Latin pattern"), 10, QStringLiteral("a%b"), {20, 9, 5}},
    };
    return cases;
}

} // namespace bench
