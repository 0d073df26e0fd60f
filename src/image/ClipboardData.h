#pragma once
// The picture as the clipboard offers it to other programs: image/bmp and image/png,
// encoded by us when a program asks (Qt's stock conversions are many times slower for
// page-sized scans), and the image itself to programs in this process.

#include <QImage>
#include <QMimeData>

namespace rt {

// An uncompressed BMP of the image, pixel for pixel: 1-bit for two-colour images, 8-bit for
// grey and palette images, 24-bit for everything else.
QByteArray encodeBmp(const QImage &image);

class PictureMimeData : public QMimeData {
public:
    explicit PictureMimeData(QImage image) : image_(std::move(image)) {}
    static QString bitmapFormat() { return QStringLiteral("image/bmp"); }
    QStringList formats() const override;
    bool hasFormat(const QString &mimeType) const override;

protected:
    QVariant retrieveData(const QString &mimeType, QMetaType type) const override;

private:
    QImage image_;
};

} // namespace rt
