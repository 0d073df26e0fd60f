#include "Errors.h"

#include <cstdio>
#include <stdexcept>

namespace rt {

RuntimeError::RuntimeError(ErrorCode code, QString text)
    : code_(code), text_(std::move(text)),
      what_(std::to_string(static_cast<int>(code)) + ": " + text_.toStdString())
{
}

void raise(ErrorCode code, const QString &text)
{
    throw RuntimeError(code, text);
}

void logSkipped(const char *where, const std::exception &e) noexcept
{
    if (qEnvironmentVariableIsSet("VISTORAMO_QUIET"))
        return;
    std::fprintf(stderr, "vistoramo: %s: %s\n", where, e.what());
}

} // namespace rt
