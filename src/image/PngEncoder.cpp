#include "image/PngEncoder.h"

#include "base/Errors.h"

#include <csetjmp>
#include <cstring>
#include <limits>
#include <new>
#include <png.h>
#include <vector>
#include <zlib.h>

namespace img {

namespace {

// How the image's rows become PNG rows.
struct Layout {
    QImage image;
    int colourType = PNG_COLOR_TYPE_RGB;
    int depth = 8;
    qsizetype rowBytes = 0;
    bool converted = false; // rows need rawRow; otherwise the scan lines are PNG rows already
    std::vector<png_color> palette;
};

Layout layoutOf(const QImage &source)
{
    Layout l;
    l.image = source;
    switch (source.format()) {
    case QImage::Format_MonoLSB: l.image = source.convertToFormat(QImage::Format_Mono); [[fallthrough]];
    case QImage::Format_Mono:
        l.colourType = PNG_COLOR_TYPE_PALETTE;
        l.depth = 1;
        break;
    case QImage::Format_Indexed8: l.colourType = PNG_COLOR_TYPE_PALETTE; break;
    case QImage::Format_Grayscale8: l.colourType = PNG_COLOR_TYPE_GRAY; break;
    case QImage::Format_RGB888: break;
    case QImage::Format_BGR888:
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32: l.converted = true; break;
    default:
        l.image = source.convertToFormat(QImage::Format_RGB32);
        l.converted = true;
        break;
    }
    if (l.image.isNull() && !source.isNull())
        throw std::bad_alloc();
    if (l.colourType == PNG_COLOR_TYPE_PALETTE) {
        QList<QRgb> colours = l.image.colorTable();
        while (colours.size() < (1 << l.depth)) // indices the picture has no colour for are black
            colours.append(qRgb(0, 0, 0));
        colours.resize(1 << l.depth);
        for (QRgb c : colours)
            l.palette.push_back(
                {static_cast<png_byte>(qRed(c)), static_cast<png_byte>(qGreen(c)), static_cast<png_byte>(qBlue(c))});
    }
    l.rowBytes = (qsizetype{l.image.width()} * l.depth * (l.colourType == PNG_COLOR_TYPE_RGB ? 3 : 1) + 7) / 8;
    return l;
}

// One row of a converted image as PNG's R, G, B bytes.
void rawRow(const Layout &l, int y, uchar *out)
{
    const uchar *line = l.image.constScanLine(y);
    const int w = l.image.width();
    if (l.image.format() == QImage::Format_BGR888) {
        for (int x = 0; x < w; ++x, line += 3, out += 3) {
            out[0] = line[2];
            out[1] = line[1];
            out[2] = line[0];
        }
        return;
    }
    const auto *px = reinterpret_cast<const QRgb *>(line);
    for (int x = 0; x < w; ++x, out += 3) {
        out[0] = static_cast<uchar>(qRed(px[x]));
        out[1] = static_cast<uchar>(qGreen(px[x]));
        out[2] = static_cast<uchar>(qBlue(px[x]));
    }
}

// What libpng's callbacks report back; libpng leaves its calls by longjmp on an error.
struct Output {
    QByteArray bytes;
    bool tooLarge = false;
};

void writeBytes(png_structp png, png_bytep data, png_size_t length)
{
    auto *out = static_cast<Output *>(png_get_io_ptr(png));
    bool failed = false;
    if (length > static_cast<png_size_t>(std::numeric_limits<qint32>::max() - out->bytes.size())) {
        out->tooLarge = true;
        failed = true;
    } else {
        try {
            out->bytes.append(reinterpret_cast<const char *>(data), static_cast<qsizetype>(length));
        } catch (...) {
            failed = true;
        }
    }
    if (failed)
        png_error(png, "write");
}

void flushBytes(png_structp) { }

void onError(png_structp png, png_const_charp)
{
    png_longjmp(png, 1);
}

void onWarning(png_structp, png_const_charp) { }

// The whole PNG into out; false where libpng gave up. Nothing here owns memory across the
// jump back to setjmp: the row buffer and the output belong to the caller.
bool writePng(png_structp png, png_infop info, const Layout &l, QSize dotsPerMeter, uchar *row)
{
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_set_user_limits(png, PNG_UINT_31_MAX, PNG_UINT_31_MAX);
    png_set_IHDR(png, info, static_cast<png_uint_32>(l.image.width()), static_cast<png_uint_32>(l.image.height()), l.depth,
                 l.colourType, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (dotsPerMeter.width() > 0 && dotsPerMeter.height() > 0)
        png_set_pHYs(png, info, static_cast<png_uint_32>(dotsPerMeter.width()), static_cast<png_uint_32>(dotsPerMeter.height()),
                     PNG_RESOLUTION_METER);
    if (!l.palette.empty())
        png_set_PLTE(png, info, l.palette.data(), static_cast<int>(l.palette.size()));
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_UP);
    png_set_compression_level(png, 1);
    png_set_compression_strategy(png, Z_DEFAULT_STRATEGY);
    png_set_compression_buffer_size(png, 1 << 16);
    png_write_info(png, info);
    for (int y = 0; y < l.image.height(); ++y) {
        if (l.converted)
            rawRow(l, y, row);
        png_write_row(png, l.converted ? row : l.image.constScanLine(y));
    }
    png_write_end(png, nullptr);
    return true;
}

} // namespace

QByteArray encodePng(const QImage &image, QSize dotsPerMeter)
{
    const Layout l = layoutOf(image);
    std::vector<uchar> row(l.converted ? static_cast<size_t>(l.rowBytes) : 0);
    Output out;
    out.bytes.reserve(static_cast<qsizetype>(
        std::min<qint64>(qint64{l.rowBytes + 1} * l.image.height() / 8 + 1024, std::numeric_limits<qint32>::max())));
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, onError, onWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        throw std::bad_alloc();
    }
    png_set_write_fn(png, &out, writeBytes, flushBytes);
    const bool written = writePng(png, info, l, dotsPerMeter, row.data());
    png_destroy_write_struct(&png, &info);
    if (out.tooLarge)
        rt::raise(rt::ErrorCode::Overflow, QStringLiteral("Das Bild ist zu groß für eine PNG-Datei."));
    if (!written)
        throw std::bad_alloc();
    return std::move(out.bytes);
}

} // namespace img
