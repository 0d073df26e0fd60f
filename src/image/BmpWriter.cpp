#include "image/BmpWriter.h"

#include "image/BmpHeader.h"

#include <cstring>
#include <vector>

namespace img {

QByteArray encodeBmp(const QImage &source, QSize dotsPerMeter)
{
    QImage image = source;
    int bits = 24;
    switch (image.format()) {
    case QImage::Format_Mono: bits = 1; break;
    case QImage::Format_MonoLSB:
        image = image.convertToFormat(QImage::Format_Mono);
        bits = 1;
        break;
    case QImage::Format_Indexed8:
    case QImage::Format_Grayscale8: bits = 8; break;
    case QImage::Format_BGR888:
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32: break;
    default: image = image.convertToFormat(QImage::Format_RGB32); break;
    }
    QList<QRgb> palette;
    if (image.format() == QImage::Format_Grayscale8)
        for (int i = 0; i < 256; ++i)
            palette.append(qRgb(i, i, i));
    else if (bits <= 8)
        palette = image.colorTable();

    const qint64 w = image.width(), h = image.height();
    bmp::Header header;
    header.width = static_cast<std::int32_t>(w);
    header.height = static_cast<std::int32_t>(h); // bottom-up, as every reader takes it
    header.bitsPerPixel = static_cast<std::uint16_t>(bits);
    header.paletteEntries = static_cast<std::uint32_t>(palette.size());
    if (dotsPerMeter.width() > 0 && dotsPerMeter.height() > 0) {
        header.xPixelsPerMetre = static_cast<std::uint32_t>(dotsPerMeter.width());
        header.yPixelsPerMetre = static_cast<std::uint32_t>(dotsPerMeter.height());
    }
    const auto stride = static_cast<qint64>(bmp::rowStride(w, bits));
    const auto offset = static_cast<qint64>(header.pixelOffset());
    QByteArray out(static_cast<qsizetype>(header.fileSize()), Qt::Uninitialized);
    auto *p = reinterpret_cast<uchar *>(out.data());
    const std::vector<std::uint32_t> colours(palette.begin(), palette.end());
    header.write(p, colours.data());
    const size_t used = static_cast<size_t>((w * bits + 7) / 8);
    for (qint64 y = 0; y < h; ++y) {
        uchar *row = p + offset + stride * (h - 1 - y);
        const uchar *line = image.constScanLine(static_cast<int>(y));
        if (bits <= 8 || image.format() == QImage::Format_BGR888) {
            std::memcpy(row, line, used);
        } else {
            const auto *px = reinterpret_cast<const QRgb *>(line);
            for (qint64 x = 0; x < w; ++x) {
                row[3 * x] = static_cast<uchar>(px[x]);
                row[3 * x + 1] = static_cast<uchar>(px[x] >> 8);
                row[3 * x + 2] = static_cast<uchar>(px[x] >> 16);
            }
        }
        std::memset(row + used, 0, static_cast<size_t>(stride) - used);
    }
    return out;
}

} // namespace img
