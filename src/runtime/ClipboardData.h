#pragma once
// The picture as the clipboard offers it to other programs: image/png and image/bmp,
// encoded by us (Qt's stock conversions are many times slower for page-sized scans), and
// the image itself to programs in this process.

#include <QByteArray>
#include <QImage>
#include <QMimeData>
#include <QSize>
#include <future>
#include <map>
#include <memory>
#include <mutex>

namespace rt {

// The clipboard's picture. Each format is encoded once, on a worker thread, when it is first
// asked for; every later request, and one that arrives while that encoding runs, gets the
// same bytes (one shared QByteArray) instead of encoding a copy of its own. A request that
// cannot be met (memory short) is refused with an empty answer and is tried again by the
// next request; nothing is thrown into the toolkit's event loop.
class PictureMimeData : public QMimeData {
public:
    explicit PictureMimeData(QImage image, QSize dotsPerMeter = {}) : image_(std::move(image)), dotsPerMeter_(dotsPerMeter) { }
    ~PictureMimeData() override;
    static QString bitmapFormat() { return QStringLiteral("image/bmp"); }
    QStringList formats() const override;
    bool hasFormat(const QString &mimeType) const override;
    // The bytes of image/bmp or image/png; waits for an encoding under way. Empty for any
    // other format, or when memory is short.
    QByteArray encoded(const QString &mimeType) const;

protected:
    QVariant retrieveData(const QString &mimeType, QMetaType type) const override;

private:
    struct Encoding {
        std::shared_future<QByteArray> bytes;
    };

    QImage image_;
    QSize dotsPerMeter_;
    mutable std::mutex mutex_;
    mutable std::map<QString, std::shared_ptr<Encoding>> encodings_;
};

} // namespace rt
