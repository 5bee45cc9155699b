#pragma once

#include <QString>

namespace bench {

// A user's session on a copy of `database`, in a process of its own, for
// the program's peak memory without the benchmark's repeated start-ups and
// its floor's connection: one start, then each operation once, with both
// trees and the list full. Gives the peak resident set in kB.
long long runSession(int drugs, const QString &database);

} // namespace bench
