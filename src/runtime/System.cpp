#include "System.h"

#include "ClipboardData.h"
#include "Errors.h"
#include "Picture.h"
#include "Units.h"

#include <QClipboard>
#include <QFile>
#include <QMimeData>
#include <cerrno>
#include <cstring>
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

void Kill(const QString &path)
{
    if (::unlink(QFile::encodeName(path).constData()) != 0)
        raise(ErrorCode::PathFileAccess,
              QStringLiteral("Datei kann nicht gelöscht werden: %1 (%2)")
                  .arg(path, QString::fromLocal8Bit(std::strerror(errno))));
}

void ClipboardObject::SetPicture(const Picture &picture) const
{
    if (picture.isEmpty())
        return;
    QGuiApplication::clipboard()->setMimeData(new PictureMimeData(picture.image(), picture.dotsPerMeter()),
                                              QClipboard::Clipboard);
}

bool ClipboardObject::HasBitmap() const
{
    // Ours only while we still own the clipboard: when the system refused the data or
    // another program took the clipboard back, it holds someone else's data.
    const auto *ours = dynamic_cast<const PictureMimeData *>(QGuiApplication::clipboard()->mimeData(QClipboard::Clipboard));
    return ours && ours->hasFormat(PictureMimeData::bitmapFormat());
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
