#pragma once

#include "Stats.h"

#include <QList>
#include <QString>

namespace bench {

// Runs every search of searchCases() on the plain copy through the system's
// SQLite (zelkano_anchor, a process of its own, since SQLite and SQLCipher
// cannot share one) and puts the best correct anchor beside each search of
// the same size in `results`.
void runAnchors(const QString &plain, int drugs, double scale, QList<Result> &results);

} // namespace bench
