#pragma once
// A picture: its pixels and the resolution its source named.

#include <QImage>
#include <QSize>

namespace img {

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

private:
    QImage image_;
    QSize dotsPerMeter_;
};

} // namespace img
