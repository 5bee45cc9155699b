#pragma once

#include "data/DrugContent.h"

#include <QString>

namespace data {

// Reads categories.json, drugs/*.json and help.json under `dir`, checking
// everything: every problem names the file, the line and the column.
DrugContent readSample(const QString &dir);

} // namespace data
