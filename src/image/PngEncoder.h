#pragma once
// A PNG encoder for page-sized scans: one pass over the rows, a fast deflater, the picture's
// own pixel layout kept (1-bit and 8-bit palettes, grey, RGB) and its resolution in pHYs.

#include <QByteArray>
#include <QImage>
#include <QSize>

namespace rt {

enum class PngFilter { None, Sub, Up };
enum class PngDeflater { Zlib, Libdeflate };

struct PngOptions {
    PngDeflater deflater = PngDeflater::Libdeflate;
    int level = 1;
    PngFilter filter = PngFilter::Up;
};

// The picture as a PNG, pixel for pixel; alpha is dropped. dotsPerMeter goes into pHYs when
// both are positive, and no pHYs is written otherwise. Throws std::bad_alloc when memory is
// short and a run-time error when the picture is too large for one PNG.
QByteArray encodePng(const QImage &image, QSize dotsPerMeter, const PngOptions &options = {});

} // namespace rt
