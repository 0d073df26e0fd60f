#include "base/Errors.h"

#include <QLoggingCategory>
#include <stdexcept>

// Swallowed errors are part of normal running (no start picture, say); they are printed
// only where asked for: QT_LOGGING_RULES="vistoramo.errors.debug=true".
Q_LOGGING_CATEGORY(lcErrors, "vistoramo.errors", QtInfoMsg)

namespace rt {

RuntimeError::RuntimeError(ErrorCode code, QString text)
    : code_(code), text_(std::move(text)), what_(std::to_string(static_cast<int>(code)) + ": " + text_.toStdString())
{
}

void raise(ErrorCode code, const QString &text)
{
    throw RuntimeError(code, text);
}

void logSkipped(const char *where, const std::exception &e) noexcept
{
    qCDebug(lcErrors, "%s: %s", where, e.what());
}

} // namespace rt
