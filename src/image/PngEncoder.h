#pragma once
// The PNG writer for page-sized scans, over libpng: one pass over the rows, each row as its
// difference to the row above ("up"), deflated by zlib at level 1, the picture's own pixel
// layout kept (1-bit and 8-bit palettes, grey, RGB) and its resolution in pHYs. Measured
// against other filters and deflaters by bench/vistoramo_bench png.

#include <QByteArray>
#include <QImage>
#include <QSize>

namespace img {

// The picture as a PNG, pixel for pixel; alpha is dropped. dotsPerMeter goes into pHYs when
// both are positive, and no pHYs is written otherwise. Throws std::bad_alloc when memory is
// short and a run-time error when the picture is too large for one PNG.
QByteArray encodePng(const QImage &image, QSize dotsPerMeter);

} // namespace img
