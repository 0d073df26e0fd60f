#include "runtime/System.h"

#include "base/Errors.h"
#include "base/Paths.h"
#include "base/SystemErrors.h"
#include "runtime/ClipboardData.h"
#include "runtime/PictureLoader.h"
#include "runtime/Units.h"

#include <QClipboard>
#include <QFile>
#include <QMimeData>
#include <algorithm>
#include <cerrno>
#include <unistd.h>

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

float screenWidth()
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    return screen ? toTwips(screen->geometry().width()) : 0.0f;
}

float screenHeight()
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    return screen ? toTwips(screen->geometry().height()) : 0.0f;
}

MousePointer mousePointer()
{
    return QGuiApplication::overrideCursor() ? MousePointer::Hourglass : MousePointer::Default;
}

void setMousePointer(MousePointer pointer)
{
    if (pointer == MousePointer::Hourglass) {
        if (!QGuiApplication::overrideCursor())
            QGuiApplication::setOverrideCursor(Qt::WaitCursor);
        else
            QGuiApplication::changeOverrideCursor(Qt::WaitCursor);
    } else {
        while (QGuiApplication::overrideCursor())
            QGuiApplication::restoreOverrideCursor();
    }
}

void showInformation(QWidget *owner, const QString &text, const QString &title)
{
    QMessageBox box(QMessageBox::Information, title, text, QMessageBox::Ok, owner);
    box.setDefaultButton(QMessageBox::Ok);
    box.exec();
}

void doEvents()
{
    QCoreApplication::processEvents();
}

void deleteFile(const QString &path)
{
    if (::unlink(encodePath(path).constData()) != 0)
        raise(ErrorCode::PathFileAccess,
              QStringLiteral("Datei kann nicht gelöscht werden: %1 (%2)").arg(path, systemErrorText(errno)));
}

void setClipboardPicture(const Picture &picture)
{
    if (picture.isEmpty())
        return;
    QGuiApplication::clipboard()->setMimeData(new PictureMimeData(picture.image(), picture.dotsPerMeter()),
                                              QClipboard::Clipboard);
}

bool clipboardHasBitmap()
{
    // Ours only while we still own the clipboard: when the system refused the data or
    // another program took the clipboard back, it holds someone else's data.
    const auto *ours = dynamic_cast<const PictureMimeData *>(QGuiApplication::clipboard()->mimeData(QClipboard::Clipboard));
    return ours && ours->hasFormat(PictureMimeData::bitmapFormat());
}

QString programDirectory()
{
    const QString &dir = programDirectoryOverride();
    if (!dir.isEmpty())
        return dir;
    // The link names the executable in the system's own bytes, whatever they are.
    QByteArray exe(4096, Qt::Uninitialized);
    const ssize_t n = ::readlink("/proc/self/exe", exe.data(), static_cast<size_t>(exe.size()));
    if (n <= 0 || n >= exe.size())
        return QCoreApplication::applicationDirPath();
    exe.truncate(n);
    exe.truncate(std::max<qsizetype>(exe.lastIndexOf('/'), 1));
    return decodePath(exe);
}

void setProgramDirectoryForTesting(const QString &dir)
{
    programDirectoryOverride() = dir;
}

} // namespace rt
