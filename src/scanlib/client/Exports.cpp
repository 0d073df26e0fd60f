// The two C entries the program calls. Nothing thrown inside gets past them.

#include "base/Errors.h"
#include "base/Paths.h"
#include "scanlib/client/Dialogs.h"

#include "scanlib/api/VistoramoScan.h"

#include <QApplication>
#include <QWidget>
#include <memory>

#define VISTORAMO_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

QWidget *ownerWindow(std::uintptr_t owner)
{
    QWidget *w = owner ? QWidget::find(static_cast<WId>(owner)) : nullptr;
    return w ? w->window() : nullptr;
}

} // namespace

VISTORAMO_EXPORT void ChooseSource(std::uintptr_t owner) noexcept
{
    if (!qobject_cast<QApplication *>(QCoreApplication::instance()))
        return;
    rt::attempt("vistoramo-scan", [owner] {
        scanlib::ArrowCursor arrow;
        scanlib::SourceDialog dialog(ownerWindow(owner));
        dialog.exec();
    });
}

VISTORAMO_EXPORT std::int16_t AcquireToFile(std::uintptr_t owner, const char *path) noexcept
{
    if (!qobject_cast<QApplication *>(QCoreApplication::instance()) || !path || !*path)
        return VISTORAMO_UNUSABLE;
    std::int16_t result = VISTORAMO_INTERNAL_ERROR;
    rt::attempt("vistoramo-scan", [&] {
        scanlib::ArrowCursor arrow;
        // Torn down only once the caller is back in its event loop, after showing the scan:
        // taking a window down costs a few milliseconds.
        const auto later = [](QObject *object) { object->deleteLater(); };
        // A failed allocation is caught by the attempt this runs in.
        const std::unique_ptr<scanlib::AcquireDialog, decltype(later)> dialog(
            // NOLINTNEXTLINE(bugprone-unhandled-exception-at-new)
            new scanlib::AcquireDialog(ownerWindow(owner), rt::decodePath(path)), later);
        result = dialog->exec() == QDialog::Accepted ? VISTORAMO_ACQUIRED : VISTORAMO_NOT_ACQUIRED;
    });
    return result;
}
