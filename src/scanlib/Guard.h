#pragma once
// Keeps C++ exceptions out of Qt's event loop and out of the C entries: whatever the
// wrapped code throws is logged and dropped there.

#include <QtGlobal>
#include <exception>
#include <type_traits>
#include <utility>

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

// A callable for signal connections that runs f guarded; f takes the signal's arguments
// or none.
template <typename F>
auto guarded(F f)
{
    return [f = std::move(f)](auto &&...args) noexcept {
        runGuarded([&] {
            if constexpr (std::is_invocable_v<const F &, decltype(args)...>)
                f(std::forward<decltype(args)>(args)...);
            else
                f();
        });
    };
}
