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

PictureMimeData::~PictureMimeData()
{
    // An encoding still running uses only its own copy of the picture; it is waited for
    // here (by the futures' end) so that no worker outlives the program.
    const std::lock_guard lock(mutex_);
    for (auto &entry : encodings_)
        if (entry.second->bytes.valid())
            entry.second->bytes.wait();
}

QStringList PictureMimeData::formats() const
{
    // Only what we encode quickly; offering application/x-qt-image here would make Qt offer
    // every image format it can write, each converted the slow way. PNG first: a clipboard
    // keeper that saves only the first format keeps the small one (a tenth of the BMP).
    return {Png, Bmp};
}

bool PictureMimeData::hasFormat(const QString &mimeType) const
{
    return formats().contains(mimeType);
}

QByteArray PictureMimeData::encoded(const QString &mimeType) const
{
    if (mimeType != Bmp && mimeType != Png)
        return {};
    std::shared_ptr<Encoding> encoding;
    QByteArray answer;
    const bool ok = attempt("clipboard request", [&] {
        {
            const std::lock_guard lock(mutex_);
            auto &slot = encodings_[mimeType];
            if (!slot) {
                auto fresh = std::make_shared<Encoding>();
                fresh->bytes = std::async(std::launch::async, [image = image_, dpm = dotsPerMeter_, png = mimeType == Png] {
                                   return png ? img::encodePng(image, dpm) : img::encodeBmp(image, dpm);
                               }).share();
                slot = std::move(fresh);
            }
            encoding = slot;
        }
        answer = encoding->bytes.get();
    });
    if (!ok) {
        // Forgotten, so that the next request (with memory again) encodes anew.
        const std::lock_guard lock(mutex_);
        const auto it = encodings_.find(mimeType);
        if (it != encodings_.end() && (!encoding || it->second == encoding))
            encodings_.erase(it);
    }
    return answer;
}

QVariant PictureMimeData::retrieveData(const QString &mimeType, QMetaType type) const
{
    // Programs in this process (and Qt's own image conversions) take the image itself.
    if (mimeType == QtImage || (type.id() == QMetaType::QImage && hasFormat(mimeType)))
        return image_;
    const QByteArray bytes = encoded(mimeType);
    return bytes.isEmpty() ? QVariant() : QVariant(bytes);
}

} // namespace rt
