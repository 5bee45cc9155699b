#pragma once

#include "app/WindowFont.h"

// Small helpers shared by the benchmark and its two helper processes.

#include <QCoreApplication>
#include <QFont>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <QElapsedTimer>
#include <chrono>
#include <cstdio>
#include <ctime>

// ---- Linux-only: peak memory -------------------------------------------
// VmHWM is the process's peak resident set; elsewhere getrusage's
// ru_maxrss is the nearest thing (kilobytes on Linux, bytes on macOS, and
// absent on Windows, where -1 is reported).
#if defined(__linux__)
#include <fstream>
#include <string>
#elif defined(__unix__) || defined(__APPLE__)
#include <sys/resource.h>
#endif

namespace bench {

inline long long peakRssKb()
{
#if defined(__linux__)
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stoll(line.substr(6));
    }
    return -1;
#elif defined(__APPLE__)
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
#elif defined(__unix__)
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
#else
    return -1;
#endif
}
// ---- end of Linux-only code ----------------------------------------------

// The benchmark runs without a display unless told otherwise.
inline void useOffscreenUnlessSet()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

inline double nowMs()
{
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

// The CPU time of this process.
inline double cpuMs()
{
    return 1000.0 * double(std::clock()) / CLOCKS_PER_SEC;
}

// Runs the event loop until the window is exposed and its first paint has
// been delivered, as the program's own event loop does after show().
inline bool waitExposed(QWidget *window, int timeoutMs = 10000)
{
    QElapsedTimer elapsed;
    elapsed.start();
    // Wakes the wait below now and then, so the check runs even when the
    // platform sends nothing more.
    QTimer tick;
    tick.start(5);
    while (!(window->windowHandle() && window->windowHandle()->isExposed())) {
        if (elapsed.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    QCoreApplication::processEvents();
    return true;
}

// The main window's font, so that the floor window looks up the same
// Chinese faces.
using ::windowFont;

} // namespace bench
