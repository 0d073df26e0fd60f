#include "image/PictureFiles.h"

#include "base/Errors.h"
#include "base/Paths.h"
#include "base/SystemErrors.h"
#include "image/PngEncoder.h"

#include <QBuffer>
#include <QFileInfo>
#include <QFont>
#include <QFontMetricsF>
#include <QImageWriter>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QRandomGenerator>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <tiffio.h>
#include <unistd.h>

namespace img {

namespace {

// Bytes that libtiff writes into memory. The callbacks' parameters are as libtiff declares them.
// NOLINTBEGIN(bugprone-easily-swappable-parameters)
struct TiffMemory {
    QByteArray data;
    qint64 position = 0;

    static tsize_t read(thandle_t h, tdata_t into, tsize_t size)
    {
        auto *m = static_cast<TiffMemory *>(h);
        const qint64 n = std::clamp<qint64>(m->data.size() - m->position, 0, size);
        std::memcpy(into, m->data.constData() + m->position, static_cast<size_t>(n));
        m->position += n;
        return n;
    }
    static tsize_t write(thandle_t h, tdata_t from, tsize_t size)
    {
        auto *m = static_cast<TiffMemory *>(h);
        if (m->position + size > m->data.size())
            m->data.resize(m->position + size);
        std::memcpy(m->data.data() + m->position, from, static_cast<size_t>(size));
        m->position += size;
        return size;
    }
    static toff_t seek(thandle_t h, toff_t offset, int whence)
    {
        auto *m = static_cast<TiffMemory *>(h);
        const auto off = static_cast<qint64>(offset);
        m->position = whence == SEEK_SET ? off : whence == SEEK_CUR ? m->position + off : m->data.size() + off;
        return static_cast<toff_t>(m->position);
    }
    static int close(thandle_t) { return 0; }
    static toff_t size(thandle_t h) { return static_cast<toff_t>(static_cast<TiffMemory *>(h)->data.size()); }
    static int map(thandle_t, tdata_t *, toff_t *) { return 0; }
    static void unmap(thandle_t, tdata_t, toff_t) { }
};
// NOLINTEND(bugprone-easily-swappable-parameters)

[[noreturn]] void cannotEncode(const char *format)
{
    rt::raise(rt::ErrorCode::OutOfMemory,
              QStringLiteral("Das Bild lässt sich nicht als %1 speichern.").arg(QLatin1String(format)));
}

[[noreturn]] void cannotWrite(const char *what, const QString &path, int errnum)
{
    rt::raise(
        rt::ErrorCode::PathFileAccess,
        QStringLiteral("Die Datei „%1“ lässt sich nicht %2: %3").arg(path, QLatin1String(what), rt::systemErrorText(errnum)));
}

// Writes bytes to path through a new file beside it that takes its name only when complete.
// Done here rather than through Qt's save file so that the system's reason for a failure (a
// full disk, a missing permission) reaches the user: Qt keeps only a text, often "Unknown
// error". On failure the new file is removed and what was at path stays as it was.
void writeFileReplacing(const QString &path, const QByteArray &bytes)
{
    // A symbolic link keeps pointing where it did: the file it names is replaced.
    QFileInfo info(path);
    const QString target = info.isSymLink() && info.exists() ? info.canonicalFilePath() : path;
    const QByteArray name = rt::encodePath(target);
    const qsizetype slash = name.lastIndexOf('/');
    const QByteArray dir = name.left(slash + 1);
    // The base name is shortened so that the temporary name stays within the system's limit.
    const QByteArray base = name.mid(slash + 1).left(200);
    struct stat old { };
    const bool replaces = ::stat(name.constData(), &old) == 0 && S_ISREG(old.st_mode);

    QByteArray temporary;
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        temporary = dir + '.' + base + '.' + QByteArray::number(QRandomGenerator::global()->generate(), 36) + ".part";
        // 0666: the user's umask decides, as for any new file.
        fd = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0)
        cannotWrite("anlegen", path, errno);
    // The new file takes the old one's permissions.
    if (replaces)
        (void)::fchmod(fd, old.st_mode & 07777);

    int failure = 0;
    for (qsizetype done = 0; done < bytes.size() && !failure;) {
        const ssize_t n = ::write(fd, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
        if (n > 0)
            done += n;
        else if (n == 0)
            failure = ENOSPC;
        else if (errno != EINTR)
            failure = errno;
    }
    // A network or quota-limited file system may report the full disk only on closing.
    if (::close(fd) != 0 && !failure && errno != EINTR)
        failure = errno;
    if (!failure && ::rename(temporary.constData(), name.constData()) != 0)
        failure = errno;
    if (failure) {
        ::unlink(temporary.constData());
        cannotWrite("schreiben", path, failure);
    }
}

// Each line's text over its place on the page, stretched to the line's width and turned with
// it, in a pen that paints nothing: readers find, select and copy the words where they stand
// on the picture.
void drawInvisibleText(QPainter &painter, const QList<TextLine> &lines, double pointsPerPixelX, double pointsPerPixelY)
{
    painter.setPen(QColor(0, 0, 0, 0));
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setStyleStrategy(QFont::PreferNoShaping); // the words as they are, no ligatures
    for (const TextLine &line : lines) {
        if (line.text.isEmpty() || line.box.isEmpty())
            continue;
        const QRectF box(line.box.x() * pointsPerPixelX, line.box.y() * pointsPerPixelY, line.box.width() * pointsPerPixelX,
                         line.box.height() * pointsPerPixelY);
        font.setPointSizeF(std::max(box.height() * 0.8, 1.0));
        painter.setFont(font);
        const QFontMetricsF metrics(font);
        const double width = metrics.horizontalAdvance(line.text);
        painter.save();
        if (line.degrees != 0) {
            painter.translate(box.center());
            painter.rotate(line.degrees);
            painter.translate(-box.center());
        }
        painter.translate(box.left(), box.bottom() - metrics.descent());
        if (width > 0)
            painter.scale(box.width() / width, 1.0);
        painter.drawText(QPointF(0, 0), line.text);
        painter.restore();
    }
}

} // namespace

FileFormat formatForName(const QString &path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == "jpg" || suffix == "jpeg")
        return FileFormat::Jpeg;
    if (suffix == "tif" || suffix == "tiff")
        return FileFormat::Tiff;
    if (suffix == "pdf")
        return FileFormat::Pdf;
    return FileFormat::Png;
}

QByteArray encodeJpeg(const Picture &picture, int quality)
{
    QImage image = picture.image();
    const QSize dpm = picture.dotsPerMeter();
    const bool known = dpm.width() > 0 && dpm.height() > 0;
    if (known) {
        image.setDotsPerMeterX(dpm.width());
        image.setDotsPerMeterY(dpm.height());
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(quality);
    if (!writer.write(image))
        cannotEncode("JPEG");
    // Qt's writer always names a density; without one of the picture's own, the JFIF header
    // says "no unit, square pixels" instead.
    static const char jfif[] = "\xFF\xD8\xFF\xE0\x00\x10JFIF";
    if (!known && bytes.size() > 20 && std::memcmp(bytes.constData(), jfif, 11) == 0) {
        bytes[13] = 0;
        bytes[14] = 0;
        bytes[15] = 1;
        bytes[16] = 0;
        bytes[17] = 1;
    }
    return bytes;
}

QByteArray encodeTiff(const Picture &picture)
{
    QImage image = picture.image();
    int samples = 3, bits = 8, photometric = PHOTOMETRIC_RGB;
    if (image.format() == QImage::Format_Grayscale8) {
        samples = 1;
        photometric = PHOTOMETRIC_MINISBLACK;
    } else if ((image.format() == QImage::Format_Mono || image.format() == QImage::Format_MonoLSB)
               && image.colorTable() == QList<QRgb>{qRgb(0, 0, 0), qRgb(255, 255, 255)}) {
        image = image.convertToFormat(QImage::Format_Mono);
        samples = 1;
        bits = 1;
        photometric = PHOTOMETRIC_MINISBLACK;
    } else if (image.format() != QImage::Format_RGB888) {
        image = image.convertToFormat(QImage::Format_RGB888);
    }
    if (image.isNull())
        cannotEncode("TIFF");

    TiffMemory memory;
    TIFF *tiff = TIFFClientOpen("Scan", "w", &memory, TiffMemory::read, TiffMemory::write, TiffMemory::seek, TiffMemory::close,
                                TiffMemory::size, TiffMemory::map, TiffMemory::unmap);
    if (!tiff)
        cannotEncode("TIFF");
    const auto w = static_cast<quint32>(image.width());
    const auto h = static_cast<quint32>(image.height());
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, w);
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, h);
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, samples);
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, bits);
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, photometric);
    TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE);
    TIFFSetField(tiff, TIFFTAG_ZIPQUALITY, 1);
    TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(tiff, 0));
    const QSize dpm = picture.dotsPerMeter();
    if (dpm.width() > 0 && dpm.height() > 0) {
        TIFFSetField(tiff, TIFFTAG_RESOLUTIONUNIT, RESUNIT_CENTIMETER);
        TIFFSetField(tiff, TIFFTAG_XRESOLUTION, dpm.width() / 100.0);
        TIFFSetField(tiff, TIFFTAG_YRESOLUTION, dpm.height() / 100.0);
    }
    bool ok = true;
    for (quint32 y = 0; ok && y < h; ++y)
        ok = TIFFWriteScanline(tiff, const_cast<uchar *>(image.constScanLine(static_cast<int>(y))), y, 0) == 1;
    TIFFClose(tiff);
    if (!ok)
        cannotEncode("TIFF");
    return memory.data;
}

QByteArray encodePdf(const Picture &picture, double screenDpi, const QList<TextLine> &text)
{
    const QImage &image = picture.image();
    const QSize dpm = picture.dotsPerMeter();
    // Dots per inch; without a resolution of its own the page is as large as the picture on the screen.
    const double dpiX = dpm.width() > 0 && dpm.height() > 0 ? dpm.width() * 0.0254 : screenDpi;
    const double dpiY = dpm.width() > 0 && dpm.height() > 0 ? dpm.height() * 0.0254 : screenDpi;
    const QSizeF points(image.width() * 72.0 / dpiX, image.height() * 72.0 / dpiY);

    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&buffer);
        writer.setCreator(QStringLiteral("Vistoramo"));
        writer.setPageSize(QPageSize(points, QPageSize::Point, QString(), QPageSize::ExactMatch));
        writer.setPageMargins(QMarginsF(0, 0, 0, 0));
        writer.setResolution(72);
        QPainter painter;
        if (!painter.begin(&writer))
            cannotEncode("PDF");
        painter.setRenderHint(QPainter::LosslessImageRendering); // a scan, not a photograph for the web
        painter.drawImage(QRectF(QPointF(0, 0), points), image);
        drawInvisibleText(painter, text, points.width() / image.width(), points.height() / image.height());
        if (!painter.end())
            cannotEncode("PDF");
    }
    return bytes;
}

void savePicture(const Picture &picture, const QString &path, FileFormat format, double screenDpi, const QList<TextLine> &text)
{
    if (picture.isEmpty())
        rt::raise(rt::ErrorCode::InvalidPicture, QStringLiteral("Es ist kein Bild zum Speichern da."));
    QByteArray bytes;
    switch (format) {
    case FileFormat::Png: bytes = encodePng(picture.image(), picture.dotsPerMeter()); break;
    case FileFormat::Jpeg: bytes = encodeJpeg(picture); break;
    case FileFormat::Tiff: bytes = encodeTiff(picture); break;
    case FileFormat::Pdf: bytes = encodePdf(picture, screenDpi, text); break;
    }
    writeFileReplacing(path, bytes);
}

} // namespace img
