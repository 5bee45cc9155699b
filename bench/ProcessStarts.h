#pragma once

#include "Stats.h"

#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QString>

namespace bench {

// The program's start as a process (zelkano_start_probe) against the
// toolkit + engine floor of one (zelkano_floor_window), from this process:
// on the sample database beside the program and, when it was run, on the
// 100,000-drug one. Each size's probe peak goes into `memory`.
void runProcessStarts(const QMap<int, QString> &databases, double scale, QList<Result> &results, QJsonObject &memory);

} // namespace bench
