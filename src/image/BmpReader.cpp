#include "image/BmpReader.h"

#include "base/Errors.h"
#include "image/BmpHeader.h"

#include <QFile>
#include <QtEndian>
#include <cstring>
#include <sys/mman.h>
#include <vector>

namespace img {

namespace {

struct Header {
    qint64 dataOffset;
    qint32 width;
    qint32 height; // negative: rows stored top-down
    quint16 bits;
    quint32 compression;
    quint32 coloursUsed;
    quint32 infoSize;
};

[[noreturn]] void damaged(const QString &path)
{
    rt::raise(rt::ErrorCode::InvalidPicture, QStringLiteral("Beschädigte Bilddatei: %1").arg(path));
}

bool readExactly(QIODevice &file, char *into, qint64 size)
{
    while (size > 0) {
        const qint64 got = file.read(into, size);
        if (got <= 0)
            return false;
        into += got;
        size -= got;
    }
    return true;
}

struct Mapping {
    void *address;
    size_t size;
};

void unmap(void *info)
{
    auto *m = static_cast<Mapping *>(info);
    ::munmap(m->address, m->size);
    delete m;
}

// An image whose pixels live in memory of their own, backed by huge pages where the system
// offers them: filling a page-sized scan then takes a few dozen page faults instead of
// tens of thousands, which is most of the time a load otherwise takes.
QImage allocateImage(int width, int height, qint64 stride, QImage::Format format)
{
    const size_t size = static_cast<size_t>(stride) * static_cast<size_t>(height);
    void *address = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (address == MAP_FAILED)
        return {};
    ::madvise(address, size, MADV_HUGEPAGE);
    auto *mapping = new Mapping{address, size};
    QImage image(static_cast<uchar *>(address), width, height, static_cast<qsizetype>(stride), format, unmap, mapping);
    if (image.isNull())
        unmap(mapping);
    return image;
}

// What the headers say about the pixels, checked against the file's size.
struct Layout {
    Header h{};
    qint64 width = 0;
    qint64 rows = 0;
    qint64 stride = 0;
    QImage::Format format = QImage::Format_Invalid;
    QList<QRgb> palette; // empty where the format has none
    QSize dotsPerMeter; // empty where the file names none
};

std::optional<Layout> readLayout(QIODevice &file, const QString &path, qint64 allocationLimitBytes)
{
    if (!file.seek(0))
        return std::nullopt;
    unsigned char head[54];
    if (file.read(reinterpret_cast<char *>(head), sizeof head) != sizeof head || head[0] != 'B' || head[1] != 'M')
        return std::nullopt;
    Layout l;
    Header &h = l.h;
    h.dataOffset = qFromLittleEndian<quint32>(head + 10);
    h.infoSize = qFromLittleEndian<quint32>(head + 14);
    h.width = qFromLittleEndian<qint32>(head + 18);
    h.height = qFromLittleEndian<qint32>(head + 22);
    const quint16 planes = qFromLittleEndian<quint16>(head + 26);
    h.bits = qFromLittleEndian<quint16>(head + 28);
    h.compression = qFromLittleEndian<quint32>(head + 30);
    h.coloursUsed = qFromLittleEndian<quint32>(head + 46);
    const qint32 xPpm = qFromLittleEndian<qint32>(head + 38);
    const qint32 yPpm = qFromLittleEndian<qint32>(head + 42);

    const bool plain = h.infoSize >= 40 && h.infoSize <= 124 && planes == 1 && h.compression == 0
        && (h.bits == 1 || h.bits == 8 || h.bits == 24 || h.bits == 32);
    if (!plain)
        return std::nullopt;
    if (h.width <= 0 || h.height == 0 || h.height == std::numeric_limits<qint32>::min())
        damaged(path);

    l.width = h.width;
    l.rows = h.height < 0 ? -qint64{h.height} : h.height;
    l.stride = static_cast<qint64>(bmp::rowStride(l.width, h.bits));
    if (l.rows > allocationLimitBytes / l.stride) // compared so that nothing can overflow
        rt::raise(rt::ErrorCode::InvalidPicture, QStringLiteral("Bild zu groß für den Speicher: %1").arg(path));
    if (h.dataOffset < 14 + h.infoSize || h.dataOffset + l.stride * l.rows > file.size())
        damaged(path);

    if (h.bits <= 8) {
        const quint32 max = 1u << h.bits;
        const quint32 count = h.coloursUsed == 0 ? max : h.coloursUsed;
        if (count > max || 14 + h.infoSize + 4 * qint64{count} > h.dataOffset)
            damaged(path);
        std::vector<unsigned char> table(size_t{4} * count);
        if (!file.seek(14 + h.infoSize) || !readExactly(file, reinterpret_cast<char *>(table.data()), 4 * qint64{count}))
            damaged(path);
        for (quint32 i = 0; i < count; ++i)
            l.palette.append(qRgb(table[size_t{4} * i + 2], table[size_t{4} * i + 1], table[size_t{4} * i]));
        while (l.palette.size() < static_cast<qsizetype>(max))
            l.palette.append(qRgb(0, 0, 0)); // indices the file has no colour for
        l.format = h.bits == 1 ? QImage::Format_Mono : QImage::Format_Indexed8;
        bool greyRamp = h.bits == 8 && count == 256;
        for (quint32 i = 0; greyRamp && i < 256; ++i)
            greyRamp
                = l.palette[static_cast<qsizetype>(i)] == qRgb(static_cast<int>(i), static_cast<int>(i), static_cast<int>(i));
        if (greyRamp) { // the bytes are grey levels already
            l.format = QImage::Format_Grayscale8;
            l.palette.clear();
        }
    } else {
        // 24 bits: B, G, R bytes; 32 bits: B, G, R, unused, which is 0xffRRGGBB little-endian.
        l.format = h.bits == 24 ? QImage::Format_BGR888 : QImage::Format_RGB32;
    }
    if (xPpm > 0 && yPpm > 0)
        l.dotsPerMeter = QSize(xPpm, yPpm);
    return l;
}

void describe(QImage &image, const Layout &l, QSize *dotsPerMeter)
{
    if (!l.palette.isEmpty())
        image.setColorTable(l.palette);
    if (l.dotsPerMeter.isEmpty())
        return;
    image.setDotsPerMeterX(l.dotsPerMeter.width());
    image.setDotsPerMeterY(l.dotsPerMeter.height());
    if (dotsPerMeter)
        *dotsPerMeter = l.dotsPerMeter;
}

} // namespace

std::optional<QImage> readPlainBmp(QIODevice &file, const QString &path, qint64 allocationLimitBytes, QSize *dotsPerMeter)
{
    const std::optional<Layout> layout = readLayout(file, path, allocationLimitBytes);
    if (!layout)
        return std::nullopt;
    const Layout &l = *layout;
    const qint64 stride = l.stride;
    const qint64 rows = l.rows;

    QImage image = allocateImage(static_cast<int>(l.width), static_cast<int>(rows), stride, l.format);
    if (image.isNull())
        rt::raise(rt::ErrorCode::OutOfMemory, QStringLiteral("Nicht genügend Speicher für %1").arg(path));
    if (image.bytesPerLine() != stride)
        damaged(path);

    if (!file.seek(l.h.dataOffset) || !readExactly(file, reinterpret_cast<char *>(image.bits()), stride * rows))
        damaged(path);
    if (l.h.height > 0) { // stored bottom-up: turn the rows over in place
        std::vector<uchar> spare(static_cast<size_t>(stride));
        for (qint64 top = 0, bottom = rows - 1; top < bottom; ++top, --bottom) {
            uchar *a = image.scanLine(static_cast<int>(top));
            uchar *b = image.scanLine(static_cast<int>(bottom));
            std::memcpy(spare.data(), a, static_cast<size_t>(stride));
            std::memcpy(a, b, static_cast<size_t>(stride));
            std::memcpy(b, spare.data(), static_cast<size_t>(stride));
        }
    }
    if (l.h.bits == 32) { // the fourth byte is unused in the file; the image wants 0xff there
        for (qint64 y = 0; y < rows; ++y) {
            auto *line = reinterpret_cast<QRgb *>(image.scanLine(static_cast<int>(y)));
            for (qint64 x = 0; x < l.width; ++x)
                line[x] |= 0xff000000u;
        }
    }
    describe(image, l, dotsPerMeter);
    return image;
}

} // namespace img
