#include "image/Reduced.h"

#include <algorithm>
#include <array>
#include <cstddef>

namespace img {

namespace {

// Adds a row's pixels to the sums of their cells; pixel(x) gives the x-th pixel's colour.
template <typename Pixel>
void addRow(std::vector<std::array<quint32, 4>> &sums, int width, int cell, Pixel pixel)
{
    if (cell == 1) { // a small page: each pixel is its cell
        for (int x = 0; x < width; ++x) {
            const QRgb p = pixel(x);
            sums[std::size_t(x)] = {quint32(qRed(p)), quint32(qGreen(p)), quint32(qBlue(p)), 1};
        }
        return;
    }
    for (int c = 0, x = 0; x < width; ++c) {
        auto &s = sums[std::size_t(c)];
        const int end = std::min(x + cell, width);
        s[3] += quint32(end - x);
        for (; x < end; ++x) {
            const QRgb p = pixel(x);
            s[0] += quint32(qRed(p));
            s[1] += quint32(qGreen(p));
            s[2] += quint32(qBlue(p));
        }
    }
}

} // namespace

Reduced reduced(const QImage &image, int maxSide, CancelFlag cancel)
{
    Reduced out;
    if (image.isNull() || maxSide < 1)
        return out;
    out.cell = std::max(1, (std::max(image.width(), image.height()) + maxSide - 1) / maxSide);
    out.width = (image.width() + out.cell - 1) / out.cell;
    out.height = (image.height() + out.cell - 1) / out.cell;
    out.cells.resize(std::size_t(out.width) * std::size_t(out.height));
    std::vector<std::array<quint32, 4>> sums(std::size_t(out.width)); // r, g, b, count
    const QImage::Format format = image.format();
    const int width = image.width();
    for (int y = 0; y < image.height(); ++y) {
        if (y % 64 == 0)
            checkCancel(cancel);
        // A scan's own formats are read where they are; others a row at a time converted.
        if (format == QImage::Format_RGB32 || format == QImage::Format_ARGB32) {
            const auto *pixels = reinterpret_cast<const QRgb *>(image.constScanLine(y));
            addRow(sums, width, out.cell, [pixels](int x) { return pixels[x]; });
        } else if (format == QImage::Format_RGB888 || format == QImage::Format_BGR888) {
            const uchar *bytes = image.constScanLine(y);
            const int r = format == QImage::Format_RGB888 ? 0 : 2;
            addRow(sums, width, out.cell, [bytes, r](int x) {
                const uchar *p = bytes + std::ptrdiff_t(3) * x;
                return qRgb(p[r], p[1], p[2 - r]);
            });
        } else {
            const QImage row = cropped(image, QRect(0, y, width, 1)).convertToFormat(QImage::Format_RGB32);
            const auto *pixels = reinterpret_cast<const QRgb *>(row.constBits());
            addRow(sums, width, out.cell, [pixels](int x) { return pixels[x]; });
        }
        if ((y + 1) % out.cell == 0 || y + 1 == image.height()) {
            QRgb *cells = out.cells.data() + std::size_t(y / out.cell) * std::size_t(out.width);
            for (std::size_t c = 0; c < sums.size(); ++c) {
                const auto &s = sums[c];
                const quint32 n = std::max<quint32>(1, s[3]);
                cells[c] = qRgb(int((s[0] + n / 2) / n), int((s[1] + n / 2) / n), int((s[2] + n / 2) / n));
            }
            std::fill(sums.begin(), sums.end(), std::array<quint32, 4>{});
        }
    }
    return out;
}

} // namespace img
