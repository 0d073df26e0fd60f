#include "runtime/PictureLoader.h"

#include "base/Errors.h"
#include "base/Paths.h"
#include "image/BmpReader.h"
#include "image/JpegScans.h"
#include "runtime/Units.h"

#include <QFile>
#include <QImageReader>
#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>

namespace rt {

float widthTwips(const Picture &picture)
{
    return toTwips(picture.image().width());
}

float heightTwips(const Picture &picture)
{
    return toTwips(picture.image().height());
}

namespace {
// Set by the fuzzers; 0: the limit follows the machine's memory.
int fixedLimitMB = 0;

// The memory the system can give without swapping, in megabytes; 0 when it does not say.
qint64 availableMemoryMB()
{
    QFile meminfo(QStringLiteral("/proc/meminfo"));
    if (!meminfo.open(QIODevice::ReadOnly))
        return 0;
    // The file says it has no size: read as a whole.
    for (const QByteArray &line : meminfo.readAll().split('\n'))
        if (line.startsWith("MemAvailable:"))
            return line.mid(13).trimmed().split(' ').value(0).toLongLong() / 1024;
    return 0;
}
} // namespace

int pictureAllocationLimitMB()
{
    if (fixedLimitMB > 0)
        return fixedLimitMB;
    // What the machine has free, less a quarter (at least 512 MB) for the rest of the desktop
    // and for the view's scaled copies; never less than an A4 page at 600 dpi, as before. Qt's
    // own default of 128 MB refuses even that.
    constexpr qint64 Floor = 1024;
    const qint64 available = availableMemoryMB();
    const qint64 limit = available - std::max<qint64>(512, available / 4);
    return static_cast<int>(std::clamp<qint64>(limit, Floor, std::numeric_limits<int>::max()));
}

void setPictureAllocationLimitMB(int megabytes)
{
    fixedLimitMB = megabytes;
}

Picture loadPicture(const QString &path)
{
    // Only regular files: a FIFO or device of the right name would block the reader. The
    // file is opened without waiting (a FIFO opens at once) and then looked at, so what is
    // read is what was looked at.
    const int fd = path.isEmpty() ? -1 : ::open(encodePath(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        raise(errno == ENOENT || path.isEmpty() ? ErrorCode::FileNotFound : ErrorCode::PathFileAccess,
              QStringLiteral("Datei nicht gefunden: %1").arg(path));
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        raise(ErrorCode::PathFileAccess, QStringLiteral("Datei kann nicht gelesen werden: %1").arg(path));
    }
    struct stat st { };
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        raise(ErrorCode::InvalidPicture, QStringLiteral("Keine Bilddatei: %1").arg(path));
    return loadPicture(file, path);
}

Picture loadPicture(QIODevice &device, const QString &path)
{
    // Scans arrive as plain BMP files: those go straight into memory.
    QSize dotsPerMeter;
    const qint64 limit = qint64{pictureAllocationLimitMB()} * 1024 * 1024;
    if (std::optional<QImage> bmp = img::readPlainBmp(device, path, limit, &dotsPerMeter))
        return Picture(std::move(*bmp), dotsPerMeter);

    device.seek(0);
    QImageReader::setAllocationLimit(pictureAllocationLimitMB());
    QImageReader reader(&device);
    reader.setDecideFormatFromContent(true);
    const QByteArray format = reader.format();
    if (format != "bmp" && format != "dib" && format != "jpeg" && format != "gif")
        raise(ErrorCode::InvalidPicture, QStringLiteral("Ungültiges Bild: %1").arg(path));
    // A progressive JPEG may repeat its scans without end, each one a pass over the whole
    // picture: counted before decoding, as libjpeg-turbo's own tools do.
    if (format == "jpeg" && img::jpegScanCount(device) > img::MaxJpegScans)
        raise(ErrorCode::InvalidPicture, QStringLiteral("Ungültiges Bild: %1 (zu viele Durchgänge)").arg(path));

    QImage image;
    if (!reader.read(&image) || image.isNull())
        raise(ErrorCode::InvalidPicture, QStringLiteral("Ungültiges Bild: %1 (%2)").arg(path, reader.errorString()));
    return Picture(std::move(image));
}

} // namespace rt
