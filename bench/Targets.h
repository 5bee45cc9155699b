#pragma once

#include "Stats.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QList>

namespace bench {

// Checks the run against every target, prints each as met, missed or n/a
// (not measured in this run) and gives them as JSON.
QJsonArray checkTargets(const QList<Result> &results, const QJsonObject &memory);

} // namespace bench
