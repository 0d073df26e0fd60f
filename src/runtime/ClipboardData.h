#pragma once
// The picture as the clipboard offers it to other programs: image/bmp and image/png,
// encoded by us when a program asks (Qt's stock conversions are many times slower for
// page-sized scans), and the image itself to programs in this process.

#include <QImage>
#include <QMimeData>
#include <QSize>

namespace rt {

// The clipboard's picture. A request that cannot be met (memory short) is refused with an
// empty answer; nothing is thrown into the toolkit's event loop.
class PictureMimeData : public QMimeData {
public:
    explicit PictureMimeData(QImage image, QSize dotsPerMeter = {}) : image_(std::move(image)), dotsPerMeter_(dotsPerMeter) { }
    static QString bitmapFormat() { return QStringLiteral("image/bmp"); }
    QStringList formats() const override;
    bool hasFormat(const QString &mimeType) const override;

protected:
    QVariant retrieveData(const QString &mimeType, QMetaType type) const override;

private:
    QImage image_;
    QSize dotsPerMeter_;
};

} // namespace rt
