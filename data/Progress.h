#pragma once

#include <QString>
#include <functional>

namespace data {

// What a long task tells whoever watches it: the step it is at, in the
// user's words, and the share of the whole task done, 0 to 100. The data
// layer only reports; the window or the command line shows it.
using Progress = std::function<void(const QString &step, int percent)>;

} // namespace data
