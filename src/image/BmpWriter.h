#pragma once
// A picture as an uncompressed BMP file's bytes.

#include <QByteArray>
#include <QImage>
#include <QSize>

namespace img {

// An uncompressed BMP of the image, pixel for pixel: 1-bit for two-colour images, 8-bit for
// grey and palette images, 24-bit for everything else. dotsPerMeter goes into the header
// when both are positive; otherwise the header names no resolution (0).
QByteArray encodeBmp(const QImage &image, QSize dotsPerMeter = {});

} // namespace img
