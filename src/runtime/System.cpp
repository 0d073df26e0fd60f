#include "System.h"

#include "Units.h"

#include <QApplication>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>

namespace rt {

namespace {
QString &programDirectoryOverride()
{
    static QString dir;
    return dir;
}
} // namespace

float ScreenObject::Width() const
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    return screen ? toTwips(screen->geometry().width()) : 0.0f;
}

float ScreenObject::Height() const
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    return screen ? toTwips(screen->geometry().height()) : 0.0f;
}

int ScreenObject::MousePointer() const
{
    return QGuiApplication::overrideCursor() ? Hourglass : Default;
}

void ScreenObject::setMousePointer(int pointer) const
{
    if (pointer == Hourglass) {
        if (!QGuiApplication::overrideCursor())
            QGuiApplication::setOverrideCursor(Qt::WaitCursor);
        else
            QGuiApplication::changeOverrideCursor(Qt::WaitCursor);
    } else {
        while (QGuiApplication::overrideCursor())
            QGuiApplication::restoreOverrideCursor();
    }
}

void MsgBoxInfo(QWidget *owner, const QString &text, const QString &title)
{
    QMessageBox box(QMessageBox::Information, title, text, QMessageBox::Ok, owner);
    box.setDefaultButton(QMessageBox::Ok);
    box.exec();
}

void DoEvents()
{
    QCoreApplication::processEvents();
}

QString programDirectory()
{
    const QString &dir = programDirectoryOverride();
    return dir.isEmpty() ? QCoreApplication::applicationDirPath() : dir;
}

void setProgramDirectoryForTesting(const QString &dir)
{
    programDirectoryOverride() = dir;
}

} // namespace rt
