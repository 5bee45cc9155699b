#pragma once

#include <QString>
#include <cstdio>
#include <stdexcept>

// The benchmark's progress lines and its one way to give up: a failed
// operation throws, and main() prints what failed.
namespace bench {

[[noreturn]] inline void fail(const QString &what)
{
    throw std::runtime_error(what.toStdString());
}

inline void progress(const QString &text)
{
    std::fprintf(stderr, "%s\n", qPrintable(text));
    std::fflush(stderr);
}

} // namespace bench
