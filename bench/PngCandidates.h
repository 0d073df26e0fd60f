#pragma once
// The PNG encoders the benchmark weighs against the program's (image/PngEncoder, libpng):
// a PNG writer of its own over zlib or libdeflate, with each row filter. Its default (zlib
// at level 1 fed row by row, the "up" filter) is the encoder the program shipped before it
// used libpng; the output keeps the picture's own pixel layout (1-bit and 8-bit palettes,
// grey, RGB) and its resolution in pHYs, as the program's does.

#include <QByteArray>
#include <QImage>
#include <QSize>

namespace bench {

enum class PngFilter { None, Sub, Up };
enum class PngDeflater { Zlib, Libdeflate };

struct PngOptions {
    PngDeflater deflater = PngDeflater::Zlib;
    int level = 1;
    PngFilter filter = PngFilter::Up;
};

// The picture as a PNG, pixel for pixel; alpha is dropped. dotsPerMeter goes into pHYs when
// both are positive, and no pHYs is written otherwise. Throws std::bad_alloc when memory is
// short and a run-time error when the picture is too large for one PNG.
QByteArray encodePngWith(const QImage &image, QSize dotsPerMeter, const PngOptions &options = {});

} // namespace bench
