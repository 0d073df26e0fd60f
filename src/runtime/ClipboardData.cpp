#include "runtime/ClipboardData.h"

#include "base/Errors.h"
#include "image/BmpWriter.h"
#include "image/PngEncoder.h"

namespace rt {

namespace {
const QString Bmp = QStringLiteral("image/bmp");
const QString Png = QStringLiteral("image/png");
const QString QtImage = QStringLiteral("application/x-qt-image");
} // namespace

QStringList PictureMimeData::formats() const
{
    // Only what we encode quickly; offering application/x-qt-image here would make Qt offer
    // every image format it can write, each converted the slow way.
    return {Bmp, Png};
}

bool PictureMimeData::hasFormat(const QString &mimeType) const
{
    return formats().contains(mimeType);
}

QVariant PictureMimeData::retrieveData(const QString &mimeType, QMetaType type) const
{
    // Programs in this process (and Qt's own image conversions) take the image itself.
    QVariant answer;
    attempt("clipboard request", [&] {
        if (mimeType == QtImage || (type.id() == QMetaType::QImage && hasFormat(mimeType)))
            answer = image_;
        else if (mimeType == Bmp)
            answer = img::encodeBmp(image_, dotsPerMeter_);
        else if (mimeType == Png)
            answer = img::encodePng(image_, dotsPerMeter_);
    });
    return answer;
}

} // namespace rt
