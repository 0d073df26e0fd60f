#pragma once
// A picture as a picture box holds it, and the loader for BMP, JPEG and GIF files.

#include <QImage>
#include <QString>

namespace rt {

// Implicitly shared: copies share one image in memory.
class Picture {
public:
    Picture() = default;
    explicit Picture(QImage image) : image_(std::move(image)) {}
    bool isEmpty() const { return image_.isNull(); }
    const QImage &image() const { return image_; }
    float widthTwips() const;
    float heightTwips() const;

private:
    QImage image_;
};

// Loads a BMP, JPEG or GIF file (the first frame of a GIF). Anything else, including a
// directory, a device, a damaged file or a picture too large for memory, is an
// "invalid picture" or "file not found" run-time error.
Picture LoadPicture(const QString &path);
// The same from an open device (name only goes into messages).
Picture LoadPicture(class QIODevice &device, const QString &name);

// The largest picture the loader accepts, in megabytes of decoded image.
int pictureAllocationLimitMB();
// The fuzzers work with a smaller limit.
void setPictureAllocationLimitMB(int megabytes);

} // namespace rt
