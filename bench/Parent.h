#pragma once

#include <QStringList>

namespace bench {

// The benchmark as started by hand: each size's run and user session in a
// process of its own, the anchors, the process starts, then the table, the
// targets and the JSON. Gives the exit code: 0, or 3 when a run warned.
int runParent(const QStringList &args);

} // namespace bench
