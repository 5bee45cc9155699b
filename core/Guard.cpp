#include "core/Guard.h"
#include "core/Error.h"

#include <atomic>
#include <cstdio>

namespace core {

namespace {

void reportToConsole(const QString &message)
{
    std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
}

std::atomic<ErrorReporter> g_reporter{&reportToConsole};

} // namespace

ErrorReporter setErrorReporter(ErrorReporter reporter) noexcept
{
    return g_reporter.exchange(reporter ? reporter : &reportToConsole);
}

void reportException(std::exception_ptr error) noexcept
{
    const ErrorReporter report = g_reporter.load();
    try {
        try {
            std::rethrow_exception(error);
        } catch (const Error &e) {
            report(e.message());
        } catch (const std::exception &e) {
            report(QString::fromLocal8Bit(e.what()));
        } catch (...) {
            report(QStringLiteral("未知错误"));
        }
    } catch (...) {
        // Showing the report failed too; the console is all that is left.
        std::fputs("error report could not be shown\n", stderr);
    }
}

} // namespace core
