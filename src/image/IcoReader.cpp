#include "image/IcoReader.h"

#include "image/BmpHeader.h"

#include <QtEndian>
#include <optional>

namespace {

quint32 u32(const QByteArray &data, qsizetype at)
{
    return qFromLittleEndian<quint32>(data.constData() + at);
}

quint16 u16(const QByteArray &data, qsizetype at)
{
    return qFromLittleEndian<quint16>(data.constData() + at);
}

// One entry's image at offset: a DIB header, the palette, the colour rows and the AND mask,
// rows from the bottom up, each padded to four bytes; its height counts both bitmaps.
std::optional<QImage> readEntry(const QByteArray &data, qsizetype offset, qsizetype size)
{
    if (offset < 0 || size < 40 || offset > data.size() || size > data.size() - offset || u32(data, offset) < 40)
        return std::nullopt;
    const qint32 width = static_cast<qint32>(u32(data, offset + 4));
    const qint32 height = static_cast<qint32>(u32(data, offset + 8)) / 2;
    const int bits = u16(data, offset + 14);
    if (width <= 0 || width > 256 || height <= 0 || height > 256 || u32(data, offset + 16) != 0
        || (bits != 1 && bits != 4 && bits != 8 && bits != 24 && bits != 32))
        return std::nullopt;
    const qsizetype colours = bits <= 8 ? (u32(data, offset + 32) ? u32(data, offset + 32) : 1u << bits) : 0;
    const qsizetype palette = offset + u32(data, offset);
    const qsizetype rows = palette + 4 * colours;
    const auto stride = static_cast<qsizetype>(bmp::rowStride(width, bits));
    const auto maskStride = static_cast<qsizetype>(bmp::rowStride(width, 1));
    const qsizetype end = rows + (stride + maskStride) * height;
    if (colours > 256 || end > offset + size)
        return std::nullopt;

    const auto *bytes = reinterpret_cast<const uchar *>(data.constData());
    QImage image(width, height, QImage::Format_ARGB32);
    for (qint32 y = 0; y < height; ++y) {
        const uchar *row = bytes + rows + stride * (height - 1 - y);
        const uchar *mask = bytes + rows + stride * height + maskStride * (height - 1 - y);
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (qint32 x = 0; x < width; ++x) {
            QRgb pixel;
            if (bits <= 8) {
                const int perByte = 8 / bits;
                const int shift = 8 - bits * (x % perByte + 1);
                const qsizetype index = (row[x / perByte] >> shift) & ((1 << bits) - 1);
                if (index >= colours)
                    return std::nullopt;
                const uchar *bgr = bytes + palette + 4 * index;
                pixel = qRgb(bgr[2], bgr[1], bgr[0]);
            } else {
                const uchar *bgr = row + static_cast<qsizetype>(x) * (bits / 8);
                pixel = qRgba(bgr[2], bgr[1], bgr[0], bits == 32 ? bgr[3] : 255);
            }
            const bool transparent = (mask[x / 8] >> (7 - x % 8)) & 1;
            line[x] = transparent && bits != 32 ? qRgba(qRed(pixel), qGreen(pixel), qBlue(pixel), 0) : pixel;
        }
    }
    return image;
}

} // namespace

namespace img {

std::vector<QImage> readIcoImages(const QByteArray &data)
{
    if (data.size() < 6 || u16(data, 0) != 0 || u16(data, 2) != 1)
        return {};
    const int count = u16(data, 4);
    if (count == 0 || data.size() < 6 + 16 * qsizetype{count})
        return {};
    std::vector<QImage> images;
    for (int i = 0; i < count; ++i) {
        const qsizetype entry = 6 + 16 * qsizetype{i};
        std::optional<QImage> image = readEntry(data, u32(data, entry + 12), u32(data, entry + 8));
        if (!image)
            return {};
        images.push_back(std::move(*image));
    }
    return images;
}

} // namespace img
