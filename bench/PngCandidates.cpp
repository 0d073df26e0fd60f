#include "PngCandidates.h"

#include "base/Errors.h"

#include <QtEndian>
#include <cstring>
#include <libdeflate.h>
#include <limits>
#include <memory>
#include <new>
#include <vector>
#include <zlib.h>

namespace bench {

namespace {

// How the image's rows become PNG rows.
struct Layout {
    QImage image;
    int colourType = 2; // 0 grey, 2 RGB, 3 palette
    int depth = 8;
    int bytesPerPixel = 3; // for the Sub filter: at least 1
    qsizetype rowBytes = 0;
    QList<QRgb> palette;
};

Layout layoutOf(const QImage &source)
{
    Layout l;
    l.image = source;
    switch (source.format()) {
    case QImage::Format_MonoLSB: l.image = source.convertToFormat(QImage::Format_Mono); [[fallthrough]];
    case QImage::Format_Mono:
        l.colourType = 3;
        l.depth = 1;
        l.bytesPerPixel = 1;
        break;
    case QImage::Format_Indexed8:
        l.colourType = 3;
        l.bytesPerPixel = 1;
        break;
    case QImage::Format_Grayscale8:
        l.colourType = 0;
        l.bytesPerPixel = 1;
        break;
    case QImage::Format_BGR888:
    case QImage::Format_RGB888:
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32: break;
    default: l.image = source.convertToFormat(QImage::Format_RGB32); break;
    }
    if (l.image.isNull() && !source.isNull())
        throw std::bad_alloc();
    if (l.colourType == 3) {
        l.palette = l.image.colorTable();
        while (l.palette.size() < (1 << l.depth)) // indices the picture has no colour for are black
            l.palette.append(qRgb(0, 0, 0));
    }
    l.rowBytes = (qsizetype{l.image.width()} * l.depth * (l.colourType == 2 ? 3 : 1) + 7) / 8;
    return l;
}

// One row of the image in PNG's pixel layout.
void rawRow(const Layout &l, int y, uchar *out)
{
    const uchar *line = l.image.constScanLine(y);
    const int w = l.image.width();
    switch (l.image.format()) {
    case QImage::Format_BGR888:
        for (int x = 0; x < w; ++x, line += 3, out += 3) {
            out[0] = line[2];
            out[1] = line[1];
            out[2] = line[0];
        }
        break;
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32: {
        const auto *px = reinterpret_cast<const QRgb *>(line);
        for (int x = 0; x < w; ++x, out += 3) {
            out[0] = static_cast<uchar>(qRed(px[x]));
            out[1] = static_cast<uchar>(qGreen(px[x]));
            out[2] = static_cast<uchar>(qBlue(px[x]));
        }
        break;
    }
    default: std::memcpy(out, line, static_cast<size_t>(l.rowBytes)); break;
    }
}

// The filter byte and the filtered row: out holds rowBytes + 1 bytes.
void filterRow(PngFilter filter, int bpp, qsizetype n, const uchar *row, const uchar *previous, uchar *out)
{
    switch (filter) {
    case PngFilter::None:
        out[0] = 0;
        std::memcpy(out + 1, row, static_cast<size_t>(n));
        break;
    case PngFilter::Sub:
        out[0] = 1;
        for (qsizetype i = 0; i < n; ++i)
            out[1 + i] = static_cast<uchar>(row[i] - (i >= bpp ? row[i - bpp] : 0));
        break;
    case PngFilter::Up:
        out[0] = 2;
        for (qsizetype i = 0; i < n; ++i)
            out[1 + i] = static_cast<uchar>(row[i] - previous[i]);
        break;
    }
}

void appendChunk(QByteArray &png, const char *type, const QByteArray &data)
{
    uchar head[8];
    qToBigEndian<quint32>(static_cast<quint32>(data.size()), head);
    std::memcpy(head + 4, type, 4);
    png.append(reinterpret_cast<const char *>(head), 8);
    png.append(data);
    uLong crc = crc32(0, head + 4, 4);
    crc = crc32_z(crc, reinterpret_cast<const Bytef *>(data.constData()), static_cast<z_size_t>(data.size()));
    uchar tail[4];
    qToBigEndian<quint32>(static_cast<quint32>(crc), tail);
    png.append(reinterpret_cast<const char *>(tail), 4);
}

QByteArray headerChunk(const Layout &l)
{
    QByteArray ihdr(13, '\0');
    auto *p = reinterpret_cast<uchar *>(ihdr.data());
    qToBigEndian<quint32>(static_cast<quint32>(l.image.width()), p);
    qToBigEndian<quint32>(static_cast<quint32>(l.image.height()), p + 4);
    p[8] = static_cast<uchar>(l.depth);
    p[9] = static_cast<uchar>(l.colourType);
    return ihdr; // deflate compression, adaptive filtering, no interlace: all zero
}

// The zlib stream of the filtered rows.
QByteArray deflateRows(const Layout &l, const PngOptions &o)
{
    const qsizetype n = l.rowBytes;
    const int h = l.image.height();
    std::vector<uchar> a(static_cast<size_t>(n)), b(static_cast<size_t>(n), 0);
    uchar *row = a.data(), *previous = b.data();

    if (o.deflater == PngDeflater::Libdeflate) {
        // libdeflate takes the whole input at once.
        const size_t total = static_cast<size_t>(n + 1) * static_cast<size_t>(h);
        std::unique_ptr<uchar[]> filtered(new uchar[total]);
        for (int y = 0; y < h; ++y) {
            rawRow(l, y, row);
            uchar *into = filtered.get() + static_cast<size_t>(y) * static_cast<size_t>(n + 1);
            filterRow(o.filter, l.bytesPerPixel, n, row, previous, into);
            std::swap(row, previous);
        }
        const std::unique_ptr<libdeflate_compressor, void (*)(libdeflate_compressor *)> compressor(
            libdeflate_alloc_compressor(o.level), libdeflate_free_compressor);
        if (!compressor)
            throw std::bad_alloc();
        const size_t bound = libdeflate_zlib_compress_bound(compressor.get(), total);
        if (bound > size_t{std::numeric_limits<int>::max()})
            rt::raise(rt::ErrorCode::Overflow, QStringLiteral("Das Bild ist zu groß für eine PNG-Datei."));
        QByteArray out(static_cast<qsizetype>(bound), Qt::Uninitialized);
        const size_t size = libdeflate_zlib_compress(compressor.get(), filtered.get(), total, out.data(), bound);
        out.truncate(static_cast<qsizetype>(size));
        return out;
    }

    z_stream z{};
    if (deflateInit(&z, o.level) != Z_OK)
        throw std::bad_alloc();
    const std::unique_ptr<z_stream, int (*)(z_stream *)> guard(&z, deflateEnd);
    QByteArray out;
    out.reserve(static_cast<qsizetype>(n + 1) * h / 8 + 1024);
    std::vector<uchar> filtered(static_cast<size_t>(n + 1));
    const auto pump = [&](int flush) {
        do {
            if (out.capacity() - out.size() < 65536)
                out.reserve(out.capacity() * 2 + 65536);
            const qsizetype room = out.capacity() - out.size();
            const qsizetype before = out.size();
            out.resize(out.capacity());
            z.next_out = reinterpret_cast<Bytef *>(out.data() + before);
            z.avail_out = static_cast<uInt>(std::min<qsizetype>(room, std::numeric_limits<uInt>::max()));
            const int r = deflate(&z, flush);
            out.resize(before + (room - static_cast<qsizetype>(z.avail_out)));
            if (r == Z_STREAM_END)
                return;
            if (r != Z_OK && r != Z_BUF_ERROR)
                throw std::bad_alloc();
        } while (z.avail_in > 0 || z.avail_out == 0 || flush == Z_FINISH);
    };
    for (int y = 0; y < h; ++y) {
        rawRow(l, y, row);
        filterRow(o.filter, l.bytesPerPixel, n, row, previous, filtered.data());
        std::swap(row, previous);
        z.next_in = filtered.data();
        z.avail_in = static_cast<uInt>(filtered.size());
        pump(Z_NO_FLUSH);
    }
    pump(Z_FINISH);
    if (out.size() > std::numeric_limits<qint32>::max())
        rt::raise(rt::ErrorCode::Overflow, QStringLiteral("Das Bild ist zu groß für eine PNG-Datei."));
    return out;
}

} // namespace

QByteArray encodePngWith(const QImage &image, QSize dotsPerMeter, const PngOptions &options)
{
    const Layout l = layoutOf(image);
    QByteArray png("\x89PNG\r\n\x1a\n", 8);
    appendChunk(png, "IHDR", headerChunk(l));
    if (dotsPerMeter.width() > 0 && dotsPerMeter.height() > 0) {
        QByteArray phys(9, '\0');
        auto *p = reinterpret_cast<uchar *>(phys.data());
        qToBigEndian<quint32>(static_cast<quint32>(dotsPerMeter.width()), p);
        qToBigEndian<quint32>(static_cast<quint32>(dotsPerMeter.height()), p + 4);
        p[8] = 1; // the metre
        appendChunk(png, "pHYs", phys);
    }
    if (l.colourType == 3) {
        QByteArray plte;
        for (QRgb c : l.palette) {
            const char rgb[3] = {char(qRed(c)), char(qGreen(c)), char(qBlue(c))};
            plte.append(rgb, 3);
        }
        appendChunk(png, "PLTE", plte);
    }
    appendChunk(png, "IDAT", deflateRows(l, options));
    appendChunk(png, "IEND", {});
    return png;
}

} // namespace bench
