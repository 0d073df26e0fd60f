#include "Picture.h"

#include "BmpReader.h"
#include "Errors.h"
#include "Units.h"

#include <QFile>
#include <QImageReader>
#include <sys/stat.h>

namespace rt {

float Picture::widthTwips() const
{
    return toTwips(image_.width());
}

float Picture::heightTwips() const
{
    return toTwips(image_.height());
}

namespace {
// Room for an A3 page at 600 dpi or an A4 page at 1200 dpi; Qt's own default of 128 MB
// refuses an A4 page at 600 dpi.
int allocationLimitMB = 1024;
} // namespace

int pictureAllocationLimitMB()
{
    return allocationLimitMB;
}

void setPictureAllocationLimitMB(int megabytes)
{
    allocationLimitMB = megabytes;
}

Picture LoadPicture(const QString &path)
{
    // Only regular files: a FIFO or device of the right name would block the reader.
    struct stat st {};
    const QByteArray encoded = QFile::encodeName(path);
    if (path.isEmpty() || ::stat(encoded.constData(), &st) != 0)
        raise(ErrorCode::FileNotFound, QStringLiteral("Datei nicht gefunden: %1").arg(path));
    if (!S_ISREG(st.st_mode))
        raise(ErrorCode::InvalidPicture, QStringLiteral("Keine Bilddatei: %1").arg(path));

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        raise(ErrorCode::PathFileAccess, QStringLiteral("Datei kann nicht gelesen werden: %1").arg(path));
    return LoadPicture(file, path);
}

Picture LoadPicture(QIODevice &device, const QString &path)
{
    // Scans arrive as plain BMP files: those go straight into memory.
    QSize dotsPerMeter;
    const qint64 limit = qint64{pictureAllocationLimitMB()} * 1024 * 1024;
    if (std::optional<QImage> bmp = readPlainBmp(device, path, limit, &dotsPerMeter))
        return Picture(std::move(*bmp), dotsPerMeter);

    device.seek(0);
    QImageReader::setAllocationLimit(pictureAllocationLimitMB());
    QImageReader reader(&device);
    reader.setDecideFormatFromContent(true);
    const QByteArray format = reader.format();
    if (format != "bmp" && format != "dib" && format != "jpeg" && format != "gif")
        raise(ErrorCode::InvalidPicture, QStringLiteral("Ungültiges Bild: %1").arg(path));

    QImage image;
    if (!reader.read(&image) || image.isNull())
        raise(ErrorCode::InvalidPicture,
              QStringLiteral("Ungültiges Bild: %1 (%2)").arg(path, reader.errorString()));
    return Picture(std::move(image));
}

} // namespace rt
