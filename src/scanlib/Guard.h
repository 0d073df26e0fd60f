#pragma once
// Keeps C++ exceptions out of Qt's event loop and out of the C entries: whatever the
// wrapped code throws is logged and dropped there.

#include <QtGlobal>
#include <exception>
#include <type_traits>
#include <utility>

namespace scanlib {

template <typename F>
bool runGuarded(F &&f) noexcept
{
    try {
        std::forward<F>(f)();
        return true;
    } catch (const std::exception &e) {
        qWarning("vistoramo-scan: %s", e.what());
    } catch (...) {
        qWarning("vistoramo-scan: unbekannter Fehler");
    }
    return false;
}

// A callable for signal connections that runs f guarded. It takes exactly the arguments f
// takes, so that Qt can tell how many of a signal's arguments to pass.
template <typename F>
struct Guarded {
    F f;
    template <typename... Args>
    requires std::is_invocable_v<const F &, Args...>
    void operator()(Args &&...args) const noexcept
    {
        runGuarded([&] { f(std::forward<Args>(args)...); });
    }
};

template <typename F>
Guarded<F> guarded(F f)
{
    return Guarded<F>{std::move(f)};
}

} // namespace scanlib
