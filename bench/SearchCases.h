#pragma once

#include <QList>
#include <QString>

// The combined searches the benchmark times, each beside its anchor. A new
// search is a row here (and, if it has one, a target in Targets.cpp).
namespace bench {

// How many timed runs an operation gets at 1,000, 10,000 and 100,000 drugs
// (times --reps-scale, at least 3).
struct Reps {
    int at1k, at10k, at100k;
};

// The text of the selective search: one 功能主治 in 1,200 holds it.
inline QString selectiveCriterion()
{
    return QStringLiteral("证型0042");
}

struct SearchCase {
    QString operation;
    int box;      // LabeledEdits' index
    QString text; // typed into it
    Reps reps;
    // Finds a few drugs, the first shown on the sheet with the text in it.
    bool selective = false;
};

const QList<SearchCase> &searchCases();

} // namespace bench
