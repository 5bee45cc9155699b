#pragma once

#include "data/Progress.h"

class QWidget;

namespace app {

// How long a step of opening may run before it shows; tests set 0.
inline int OpenProgressDelayMs = 500;

// Shows the long steps of opening the database (the one-time upgrade of a
// file of an earlier layout) in a progress dialog owned by `window`: the
// step and the share done. The dialog goes when the share reaches 100.
data::Progress openProgress(QWidget *window);

} // namespace app
