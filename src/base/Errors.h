#pragma once
// Run-time errors: what a control, the loader or a library call cannot do.
// The window's routines decide what follows through the two policies below.

#include <QString>
#include <exception>
#include <optional>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <utility>

namespace rt {

enum class ErrorCode {
    Overflow = 6,
    OutOfMemory = 7,
    FileNotFound = 53,
    PathFileAccess = 75,
    CantLoadLibrary = 48,
    InvalidPropertyValue = 380,
    InvalidPicture = 481,
};

class RuntimeError : public std::exception {
public:
    RuntimeError(ErrorCode code, QString text);
    ErrorCode code() const noexcept { return code_; }
    const QString &text() const noexcept { return text_; }
    const char *what() const noexcept override { return what_.c_str(); }

private:
    ErrorCode code_;
    QString text_;
    std::string what_;
};

[[noreturn]] void raise(ErrorCode code, const QString &text);

// Records an error that a routine swallowed (see the logging category vistoramo.errors).
void logSkipped(const char *where, const std::exception &e) noexcept;

// The one place where exceptions stop: runs f; whatever it throws is logged under where
// and dropped. True when f ran through; a run-time error that stopped it is kept in
// *failure where the caller asks for it.
template <class F>
bool attempt(const char *where, F &&f, std::optional<RuntimeError> *failure = nullptr) noexcept
{
    try {
        f();
        return true;
    } catch (const RuntimeError &e) {
        logSkipped(where, e);
        if (failure)
            failure->emplace(e.code(), e.text());
    } catch (const std::exception &e) {
        logSkipped(where, e);
    } catch (...) {
        logSkipped(where, std::runtime_error("unknown error"));
    }
    return false;
}

// "Skip and continue": runs one step; a failing step is skipped, the next one runs.
template <class Step>
void skip(Step &&step) noexcept
{
    attempt("skipped step", step);
}

// Runs an event handler so that no exception ever reaches Qt's event loop.
template <class Handler>
void runHandler(const char *name, Handler &&handler) noexcept
{
    attempt(name, handler);
}

// A callable for signal connections that runs f through attempt. It takes exactly the
// arguments f takes, so that Qt can tell how many of a signal's arguments to pass.
template <typename F>
struct Guarded {
    F f;
    template <typename... Args>
    requires std::is_invocable_v<const F &, Args...>
    void operator()(Args &&...args) const noexcept
    {
        attempt("signal handler", [&] { f(std::forward<Args>(args)...); });
    }
};

template <typename F>
Guarded<F> guarded(F f)
{
    return Guarded<F>{std::move(f)};
}

} // namespace rt
