#pragma once
// A PNG encoder for page-sized scans: one pass over the rows, a fast deflater, the picture's
// own pixel layout kept (1-bit and 8-bit palettes, grey, RGB) and its resolution in pHYs.

#include <QByteArray>
#include <QImage>
#include <QSize>

namespace img {

enum class PngFilter { None, Sub, Up };
enum class PngDeflater { Zlib, Libdeflate };

// The default, measured on A4 pages at 300 and 600 dpi (bench/vistoramo_bench png): zlib at
// level 1 fed row by row, each row as its difference to the row above. It needs no copy of
// the page (libdeflate takes its input in one piece), was as fast as or faster than
// libdeflate at level 1 here, and "up" shrinks clean pages several times more than the
// other filters while costing about the same on noisy ones.
struct PngOptions {
    PngDeflater deflater = PngDeflater::Zlib;
    int level = 1;
    PngFilter filter = PngFilter::Up;
};

// The picture as a PNG, pixel for pixel; alpha is dropped. dotsPerMeter goes into pHYs when
// both are positive, and no pHYs is written otherwise. Throws std::bad_alloc when memory is
// short and a run-time error when the picture is too large for one PNG.
QByteArray encodePng(const QImage &image, QSize dotsPerMeter, const PngOptions &options = {});

} // namespace img
