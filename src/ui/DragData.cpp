#include "ui/DragData.h"

#include "base/Errors.h"
#include "image/PngEncoder.h"

#include <QSaveFile>
#include <QUrl>

namespace {
const QString Png = QStringLiteral("image/png");
const QString UriList = QStringLiteral("text/uri-list");
} // namespace

DragData::DragData(const rt::Picture &picture, const QString &file) : file_(file)
{
    png_ = std::async(std::launch::async, [image = picture.image(), dpm = picture.dotsPerMeter(), file] {
               QByteArray bytes = img::encodePng(image, dpm);
               if (!file.isEmpty()) {
                   QSaveFile out(file);
                   if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size() || !out.commit())
                       rt::raise(rt::ErrorCode::PathFileAccess, out.errorString());
               }
               return bytes;
           }).share();
    if (!file.isEmpty())
        setUrls({QUrl::fromLocalFile(file)});
}

DragData::~DragData()
{
    if (png_.valid())
        png_.wait(); // the worker uses nothing of this object, but must not outlive the program
}

QStringList DragData::formats() const
{
    return file_.isEmpty() ? QStringList{Png} : QStringList{Png, UriList};
}

bool DragData::hasFormat(const QString &mimeType) const
{
    return formats().contains(mimeType);
}

QByteArray DragData::png() const
{
    QByteArray bytes; // empty where the worker failed
    rt::attempt("drag", [&] { bytes = png_.get(); });
    return bytes;
}

QVariant DragData::retrieveData(const QString &mimeType, QMetaType type) const
{
    if (mimeType == Png)
        return png();
    if (mimeType == UriList && !file_.isEmpty()) {
        // The file is offered once it is complete.
        if (png().isEmpty())
            return {};
        return QMimeData::retrieveData(mimeType, type);
    }
    return {};
}
