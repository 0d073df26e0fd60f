// The two C entries the program calls. Nothing thrown inside gets past them.

#include "Dialogs.h"
#include "Guard.h"

#include <QApplication>
#include <QFile>
#include <QWidget>
#include <cstdint>

#define VISTORAMO_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

// Results of AcquireToFile besides 0 (image written).
constexpr std::int16_t notAcquired = 1;   // cancelled, or the user gave up after an error
constexpr std::int16_t unusable = 2;      // no application object, or no path
constexpr std::int16_t internalError = 3; // something failed inside the library

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
    runGuarded([owner] {
        ArrowCursor arrow;
        SourceDialog dialog(ownerWindow(owner));
        dialog.exec();
    });
}

VISTORAMO_EXPORT std::int16_t AcquireToFile(std::uintptr_t owner, const char *path) noexcept
{
    if (!qobject_cast<QApplication *>(QCoreApplication::instance()) || !path || !*path)
        return unusable;
    std::int16_t result = internalError;
    runGuarded([&] {
        ArrowCursor arrow;
        AcquireDialog dialog(ownerWindow(owner), QFile::decodeName(path));
        result = dialog.exec() == QDialog::Accepted ? 0 : notAcquired;
    });
    return result;
}
