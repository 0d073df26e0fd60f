// What other programs paste: image/bmp and image/png, pixel for pixel, from every kind of
// picture the view may hold.

#include "ClipboardData.h"
#include "TestSupport.h"

#include <QImageReader>
#include <QBuffer>
#include <gtest/gtest.h>

namespace {
QImage decoded(const QByteArray &bytes, const char *format)
{
    QBuffer buffer;
    buffer.setData(bytes);
    return QImageReader(&buffer, format).read().convertToFormat(QImage::Format_RGB32);
}
} // namespace

TEST(ClipboardData, BmpAndPngCarryEveryPixelOfEveryKindOfPicture)
{
    const QImage colour = patternImage(37, 19);
    QImage mono = colour.convertToFormat(QImage::Format_Mono, Qt::ThresholdDither);
    mono.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    const QImage kinds[] = {colour,
                            colour.convertToFormat(QImage::Format_BGR888),
                            colour.convertToFormat(QImage::Format_Grayscale8),
                            colour.convertToFormat(QImage::Format_Indexed8),
                            mono,
                            mono.convertToFormat(QImage::Format_MonoLSB),
                            colour.convertToFormat(QImage::Format_RGB888)};
    for (const QImage &image : kinds) {
        SCOPED_TRACE(static_cast<int>(image.format()));
        const QImage expected = image.convertToFormat(QImage::Format_RGB32);
        rt::PictureMimeData data(image);
        EXPECT_EQ(data.formats(), (QStringList{"image/bmp", "image/png"}));
        for (const char *format : {"image/bmp", "image/png", "application/x-qt-image", "image/jpeg"})
            EXPECT_EQ(data.hasFormat(format), data.formats().contains(format)) << format;
        EXPECT_EQ(decoded(data.data("image/bmp"), "bmp"), expected);
        EXPECT_EQ(decoded(data.data("image/png"), "png"), expected);
        EXPECT_EQ(qvariant_cast<QImage>(data.imageData()).convertToFormat(QImage::Format_RGB32), expected);
    }
}
