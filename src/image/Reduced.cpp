#include "image/Reduced.h"

#include <algorithm>
#include <array>

namespace img {

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
    for (int y = 0; y < image.height(); ++y) {
        if (y % 64 == 0)
            checkCancel(cancel);
        const QImage row = cropped(image, QRect(0, y, image.width(), 1)).convertToFormat(QImage::Format_RGB32);
        const auto *pixels = reinterpret_cast<const QRgb *>(row.constBits());
        for (int x = 0; x < image.width(); ++x) {
            auto &s = sums[std::size_t(x / out.cell)];
            s[0] += quint32(qRed(pixels[x]));
            s[1] += quint32(qGreen(pixels[x]));
            s[2] += quint32(qBlue(pixels[x]));
            ++s[3];
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
