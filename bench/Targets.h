#pragma once

#include "Stats.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QList>

namespace bench {

// Checks the run against every target, prints each as met, missed or n/a
// (not measured in this run) and gives them as JSON.
// `server`: the targets of a run on a server.
QJsonArray checkTargets(const QList<Result> &results, const QJsonObject &memory, bool server = false);

} // namespace bench
