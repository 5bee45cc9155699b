#pragma once

#include <QString>
#include <exception>
#include <type_traits>
#include <utility>

namespace core {

// Shows the message of an error that reached the top of an event handler.
using ErrorReporter = void (*)(const QString &message);

// The window puts in its error report; until then what is caught goes to
// the console. Returns the reporter it replaces.
ErrorReporter setErrorReporter(ErrorReporter reporter) noexcept;

// Hands what reached the top of an event handler to the reporter.
void reportException(std::exception_ptr error) noexcept;

// Every event handler is entered through this: our code throws, and no
// exception may cross a Qt frame.
template <class F>
void guarded(F &&f) noexcept
{
    try {
        std::forward<F>(f)();
    } catch (...) {
        reportException(std::current_exception());
    }
}

// A slot that runs f under the guard; arguments f does not take are dropped,
// as Qt does for a slot with fewer parameters than its signal.
template <class F>
auto guard(F f)
{
    return [f = std::move(f)](auto &&...args) {
        guarded([&] {
            if constexpr (std::is_invocable_v<const F &, decltype(args)...>)
                f(std::forward<decltype(args)>(args)...);
            else
                f();
        });
    };
}

} // namespace core
