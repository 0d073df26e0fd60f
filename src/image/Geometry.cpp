#include "image/Geometry.h"

#include "base/Errors.h"

#include <QColor>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <numbers>

namespace img {

namespace {

// Square blocks of this many pixels: the rows a block reads stay in the first-level cache
// while its columns are written out.
constexpr qsizetype Block = 32;

[[noreturn]] void outOfMemory()
{
    rt::raise(rt::ErrorCode::OutOfMemory, QStringLiteral("Nicht genügend Speicher."));
}

QImage allocated(int width, int height, const QImage &like)
{
    QImage out(width, height, like.format());
    if (out.isNull())
        outOfMemory();
    if (like.colorCount() > 0)
        out.setColorTable(like.colorTable());
    return out;
}

// dst(i, j) = src(x(i), y(j)): row i of the result is column x of the picture, read from
// the bottom (clockwise) or from the top.
template <std::size_t N>
void quarterTurn(const QImage &src, QImage &dst, bool clockwise, CancelFlag cancel)
{
    const qsizetype sw = src.width(), sh = src.height();
    const qsizetype sbpl = src.bytesPerLine(), dbpl = dst.bytesPerLine();
    const uchar *s = src.constBits();
    uchar *d = dst.bits();
    const qsizetype step = clockwise ? -sbpl : sbpl;
    for (qsizetype i0 = 0; i0 < sw; i0 += Block) {
        checkCancel(cancel);
        const qsizetype i1 = std::min(i0 + Block, sw);
        for (qsizetype j0 = 0; j0 < sh; j0 += Block) {
            const qsizetype j1 = std::min(j0 + Block, sh);
            for (qsizetype i = i0; i < i1; ++i) {
                const qsizetype x = clockwise ? i : sw - 1 - i;
                uchar *out = d + i * dbpl + j0 * qsizetype(N);
                const uchar *in = s + x * qsizetype(N) + (clockwise ? sh - 1 - j0 : j0) * sbpl;
                for (qsizetype j = j0; j < j1; ++j, out += N, in += step)
                    std::memcpy(out, in, N);
            }
        }
    }
}

template <std::size_t N>
void halfTurn(const QImage &src, QImage &dst, CancelFlag cancel)
{
    const qsizetype w = src.width(), h = src.height();
    for (qsizetype y = 0; y < h; ++y) {
        if (y % Block == 0)
            checkCancel(cancel);
        const uchar *in = src.constScanLine(int(y));
        uchar *out = dst.scanLine(int(h - 1 - y)) + (w - 1) * qsizetype(N);
        for (qsizetype x = 0; x < w; ++x, in += N, out -= N)
            std::memcpy(out, in, N);
    }
}

// 1-bit pictures: the first pixel in the high bit (Mono) or in the low one (MonoLSB).
struct Bits {
    bool lsb;
    int shift(qsizetype x) const { return lsb ? int(x & 7) : 7 - int(x & 7); }
    bool get(const uchar *row, qsizetype x) const { return (row[x >> 3] >> shift(x)) & 1; }
    void set(uchar *row, qsizetype x) const { row[x >> 3] = uchar(row[x >> 3] | (1 << shift(x))); }
};

void turnBits(const QImage &src, QImage &dst, Turn turn, CancelFlag cancel)
{
    const Bits bits{src.format() == QImage::Format_MonoLSB};
    const qsizetype sw = src.width(), sh = src.height();
    dst.fill(0);
    for (qsizetype y0 = 0; y0 < sh; y0 += Block) {
        checkCancel(cancel);
        for (qsizetype x0 = 0; x0 < sw; x0 += Block)
            for (qsizetype y = y0; y < std::min(y0 + Block, sh); ++y) {
                const uchar *in = src.constScanLine(int(y));
                for (qsizetype x = x0; x < std::min(x0 + Block, sw); ++x) {
                    if (!bits.get(in, x))
                        continue;
                    switch (turn) {
                    case Turn::Right: bits.set(dst.scanLine(int(x)), sh - 1 - y); break;
                    case Turn::Left: bits.set(dst.scanLine(int(sw - 1 - x)), y); break;
                    case Turn::Half: bits.set(dst.scanLine(int(sh - 1 - y)), sw - 1 - x); break;
                    }
                }
            }
    }
}

template <std::size_t N>
void turnBytes(const QImage &src, QImage &dst, Turn turn, CancelFlag cancel)
{
    if (turn == Turn::Half)
        halfTurn<N>(src, dst, cancel);
    else
        quarterTurn<N>(src, dst, turn == Turn::Right, cancel);
}

// The fill colour as one pixel of format.
template <std::size_t N>
std::array<uchar, N> pixelOf(QRgb fill, QImage::Format format)
{
    std::array<uchar, N> out{};
    if (format == QImage::Format_Grayscale8) {
        out[0] = uchar(qGray(fill));
        return out;
    }
    QImage one(1, 1, QImage::Format_ARGB32);
    one.fill(QColor::fromRgb(qRed(fill), qGreen(fill), qBlue(fill)));
    const QImage converted = one.convertToFormat(format);
    std::memcpy(out.data(), converted.constBits(), N);
    return out;
}

// The box that holds all of a picture of size turned by degrees.
QSize rotatedSize(QSize size, double degrees)
{
    if (degrees == 0)
        return size;
    const double radians = degrees * std::numbers::pi / 180.0;
    const double c = std::abs(std::cos(radians)), s = std::abs(std::sin(radians));
    return {int(std::ceil(size.width() * c + size.height() * s - 1e-6)),
            int(std::ceil(size.width() * s + size.height() * c - 1e-6))};
}

template <std::size_t N>
void rotateBilinear(const QImage &src, QImage &dst, double degrees, QRgb fill, CancelFlag cancel)
{
    const std::array<uchar, N> back = pixelOf<N>(fill, src.format());
    const double radians = degrees * std::numbers::pi / 180.0;
    const double c = std::cos(radians), s = std::sin(radians);
    const qsizetype w = src.width(), h = src.height();
    const double cx = (double(w) - 1) / 2, cy = (double(h) - 1) / 2;
    const double dcx = (dst.width() - 1) / 2.0, dcy = (dst.height() - 1) / 2.0;
    const uchar *bits = src.constBits();
    const qsizetype bpl = src.bytesPerLine();
    const auto at = [&](qsizetype x, qsizetype y) -> const uchar * {
        return x >= 0 && y >= 0 && x < w && y < h ? bits + y * bpl + x * qsizetype(N) : back.data();
    };
    // Source positions in 16.16 fixed point, stepped along each row.
    constexpr double One = 65536.0;
    const auto dxStep = qint64(std::llround(c * One)), dyStep = qint64(std::llround(-s * One));
    for (int row = 0; row < dst.height(); ++row) {
        if (row % 32 == 0)
            checkCancel(cancel);
        const double dy = row - dcy, dx = -dcx;
        auto fx = qint64(std::llround((c * dx + s * dy + cx) * One));
        auto fy = qint64(std::llround((-s * dx + c * dy + cy) * One));
        uchar *out = dst.scanLine(row);
        for (int col = 0; col < dst.width(); ++col, fx += dxStep, fy += dyStep, out += N) {
            const qsizetype x0 = fx >> 16, y0 = fy >> 16;
            if (x0 < -1 || y0 < -1 || x0 >= w || y0 >= h) {
                std::memcpy(out, back.data(), N);
                continue;
            }
            const unsigned wx = unsigned(fx >> 8) & 255u, wy = unsigned(fy >> 8) & 255u;
            const uchar *p00, *p01, *p10, *p11;
            if (x0 >= 0 && y0 >= 0 && x0 + 1 < w && y0 + 1 < h) {
                p00 = bits + y0 * bpl + x0 * qsizetype(N);
                p01 = p00 + N;
                p10 = p00 + bpl;
                p11 = p10 + N;
            } else {
                p00 = at(x0, y0);
                p01 = at(x0 + 1, y0);
                p10 = at(x0, y0 + 1);
                p11 = at(x0 + 1, y0 + 1);
            }
            for (std::size_t k = 0; k < N; ++k) {
                const unsigned top = p00[k] * (256u - wx) + p01[k] * wx;
                const unsigned bottom = p10[k] * (256u - wx) + p11[k] * wx;
                out[k] = uchar((top * (256u - wy) + bottom * wy + 32768u) >> 16);
            }
        }
    }
}

} // namespace

void checkCancel(CancelFlag cancel)
{
    if (cancel && cancel->load(std::memory_order_relaxed))
        throw Cancelled();
}

QImage turned(const QImage &image, Turn turn, CancelFlag cancel)
{
    if (image.isNull())
        return image;
    const bool quarter = turn != Turn::Half;
    QImage out = allocated(quarter ? image.height() : image.width(), quarter ? image.width() : image.height(), image);
    out.setDotsPerMeterX(quarter ? image.dotsPerMeterY() : image.dotsPerMeterX());
    out.setDotsPerMeterY(quarter ? image.dotsPerMeterX() : image.dotsPerMeterY());
    switch (image.depth()) {
    case 1: turnBits(image, out, turn, cancel); break;
    case 8: turnBytes<1>(image, out, turn, cancel); break;
    case 16: turnBytes<2>(image, out, turn, cancel); break;
    case 24: turnBytes<3>(image, out, turn, cancel); break;
    case 32: turnBytes<4>(image, out, turn, cancel); break;
    case 64: turnBytes<8>(image, out, turn, cancel); break;
    default: {
        const QImage wide = image.convertToFormat(QImage::Format_ARGB32);
        if (wide.isNull())
            outOfMemory();
        return turned(wide, turn, cancel).convertToFormat(image.format());
    }
    }
    return out;
}

QImage cropped(const QImage &image, QRect area)
{
    area &= image.rect();
    if (area.isEmpty())
        return {};
    if (area == image.rect())
        return image;
    // The crop's rows keep the picture's stride, and a copy of it (on writing) reads whole
    // strides: the last one must lie inside the picture, so a crop that leaves the left edge
    // may share the rows only when it ends above the picture's last row.
    const bool lastRowInside = area.x() == 0 || area.bottom() < image.height() - 1;
    if ((image.depth() % 8 != 0 && (area.x() * image.depth()) % 8 != 0) || !lastRowInside) {
        QImage copy = image.copy(area);
        if (copy.isNull())
            outOfMemory();
        return copy;
    }
    const uchar *first = image.constScanLine(area.y()) + qsizetype(area.x()) * image.depth() / 8;
    // The crop holds a reference to the picture it is cut from for as long as it lives.
    auto *parent = new QImage(image);
    QImage out(
        first, area.width(), area.height(), image.bytesPerLine(), image.format(),
        [](void *info) { delete static_cast<QImage *>(info); }, parent);
    if (image.colorCount() > 0)
        out.setColorTable(image.colorTable());
    out.setDotsPerMeterX(image.dotsPerMeterX());
    out.setDotsPerMeterY(image.dotsPerMeterY());
    return out;
}

QTransform rotation(QSize size, double degrees)
{
    // The inverse of the walk rotateBilinear takes from each pixel of the result back into
    // the picture: both turn about the centres of their pixel grids.
    const double radians = degrees * std::numbers::pi / 180.0;
    const double c = std::cos(radians), s = std::sin(radians);
    const QSize out = rotatedSize(size, degrees);
    const double cx = (size.width() - 1) / 2.0, cy = (size.height() - 1) / 2.0;
    const double dcx = (out.width() - 1) / 2.0, dcy = (out.height() - 1) / 2.0;
    // x' = c (x - cx) - s (y - cy) + dcx,  y' = s (x - cx) + c (y - cy) + dcy
    return QTransform(c, s, -s, c, dcx - c * cx + s * cy, dcy - s * cx - c * cy);
}

QImage rotated(const QImage &image, double degrees, QRgb fill, CancelFlag cancel)
{
    if (image.isNull() || degrees == 0)
        return image;
    // Work in a format with whole bytes per channel; 1-bit pictures come back as 1-bit.
    QImage::Format work = image.format();
    switch (work) {
    case QImage::Format_Grayscale8:
    case QImage::Format_BGR888:
    case QImage::Format_RGB888:
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32_Premultiplied:
    case QImage::Format_RGBX8888:
    case QImage::Format_RGBA8888_Premultiplied: break;
    case QImage::Format_Mono:
    case QImage::Format_MonoLSB: work = QImage::Format_Grayscale8; break;
    case QImage::Format_Indexed8: work = image.allGray() ? QImage::Format_Grayscale8 : QImage::Format_RGB32; break;
    default: work = image.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32; break;
    }
    const QImage src = work == image.format() ? image : image.convertToFormat(work);
    if (src.isNull())
        outOfMemory();
    const QSize size = rotatedSize(image.size(), degrees);
    QImage out = allocated(size.width(), size.height(), src);
    out.setDotsPerMeterX(image.dotsPerMeterX());
    out.setDotsPerMeterY(image.dotsPerMeterY());
    switch (src.depth()) {
    case 8: rotateBilinear<1>(src, out, degrees, fill, cancel); break;
    case 24: rotateBilinear<3>(src, out, degrees, fill, cancel); break;
    default: rotateBilinear<4>(src, out, degrees, fill, cancel); break;
    }
    if (image.depth() == 1) {
        out = out.convertToFormat(image.format(), Qt::ThresholdDither);
        if (out.isNull())
            outOfMemory();
    }
    return out;
}

QRgb borderColour(const QImage &image)
{
    if (image.isNull())
        return qRgb(255, 255, 255);
    const int w = image.width(), h = image.height();
    const int depth = std::max(1, std::min(w, h) / 100);
    // About as many samples along each edge as there are pixels on it, at most a thousand.
    const int stepX = std::max(1, w / 1000), stepY = std::max(1, h / 1000);
    std::array<std::array<qint64, 256>, 3> counts{};
    qint64 total = 0;
    const auto add = [&](int x, int y) {
        const QRgb p = image.pixel(x, y);
        ++counts[0][std::size_t(qRed(p))];
        ++counts[1][std::size_t(qGreen(p))];
        ++counts[2][std::size_t(qBlue(p))];
        ++total;
    };
    for (int d = 0; d < depth; ++d) {
        for (int x = 0; x < w; x += stepX) {
            add(x, d);
            add(x, h - 1 - d);
        }
        for (int y = 0; y < h; y += stepY) {
            add(d, y);
            add(w - 1 - d, y);
        }
    }
    std::array<int, 3> median{};
    for (std::size_t ch = 0; ch < 3; ++ch) {
        qint64 seen = 0;
        int v = 0;
        while (v < 255 && (seen += counts[ch][std::size_t(v)]) * 2 < total)
            ++v;
        median[ch] = v;
    }
    return qRgb(median[0], median[1], median[2]);
}

Picture applied(const Picture &picture, const Edit &edit, CancelFlag cancel)
{
    QImage image = picture.image();
    QSize dotsPerMeter = picture.dotsPerMeter();
    if (edit.turn) {
        image = turned(image, *edit.turn, cancel);
        if (*edit.turn != Turn::Half)
            dotsPerMeter.transpose();
    }
    if (edit.degrees != 0)
        image = rotated(image, edit.degrees, edit.fill, cancel);
    if (!edit.area.isEmpty())
        image = cropped(image, edit.area);
    return Picture(std::move(image), dotsPerMeter);
}

} // namespace img
