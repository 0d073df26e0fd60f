#pragma once
// A picture as a picture box holds it, and the loader for BMP, JPEG and GIF files.

#include <QImage>
#include <QSize>
#include <QString>

namespace rt {

// Implicitly shared: copies share one image in memory. The resolution is the one its source
// named (a scan's dots per metre); empty when the source named none, and then nothing that
// writes the picture out claims one.
class Picture {
public:
    Picture() = default;
    explicit Picture(QImage image, QSize dotsPerMeter = {}) : image_(std::move(image)), dotsPerMeter_(dotsPerMeter) { }
    bool isEmpty() const { return image_.isNull(); }
    const QImage &image() const { return image_; }
    QSize dotsPerMeter() const { return dotsPerMeter_; }
    float widthTwips() const;
    float heightTwips() const;

private:
    QImage image_;
    QSize dotsPerMeter_;
};

// Loads a BMP, JPEG or GIF file (the first frame of a GIF). Anything else, including a
// directory, a device, a damaged file or a picture too large for memory, is an
// "invalid picture" or "file not found" run-time error.
Picture loadPicture(const QString &path);
// The same from an open device (name only goes into messages).
Picture loadPicture(class QIODevice &device, const QString &name);

// The largest picture the loader accepts, in megabytes of decoded image.
int pictureAllocationLimitMB();
// The fuzzers work with a smaller limit.
void setPictureAllocationLimitMB(int megabytes);

} // namespace rt
