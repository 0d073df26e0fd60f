// Pictures kept in a file: the same pixels, colours and resolution for every row layout (a
// row not a multiple of four bytes, a crop that keeps its picture's longer rows, 1-bit), read
// from the mapping rather than from the picture's memory; none where no file can be made.

#include "image/FileBacked.h"
#include "image/Geometry.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

QImage pattern(int width, int height, QImage::Format format)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, qRgb((x * 7 + y) & 255, (x ^ y) & 255, (y / 3) & 255));
    image = image.convertToFormat(format, Qt::ThresholdDither);
    image.setDotsPerMeterX(11811);
    image.setDotsPerMeterY(23622);
    return image;
}

} // namespace

TEST(FileBacked, EveryRowLayoutComesBackAsItWasFromTheFile)
{
    QTemporaryDir dir;
    const QImage wide = pattern(301, 601, QImage::Format_BGR888);
    const QImage inputs[] = {wide, img::cropped(wide, QRect(5, 7, 290, 550)), pattern(77, 45, QImage::Format_Mono),
                             pattern(64, 33, QImage::Format_Grayscale8)};
    for (const QImage &image : inputs) {
        const QImage kept = img::fileBacked(image, dir.path());
        ASSERT_FALSE(kept.isNull()) << image.format();
        EXPECT_EQ(kept, image) << image.format();
        EXPECT_EQ(kept.format(), image.format());
        EXPECT_EQ(kept.colorTable(), image.colorTable());
        EXPECT_EQ(QSize(kept.dotsPerMeterX(), kept.dotsPerMeterY()), QSize(11811, 23622));
        EXPECT_NE(kept.constBits(), image.constBits());
    }
    EXPECT_TRUE(QDir(dir.path()).isEmpty()); // the file has no name
    EXPECT_TRUE(img::fileBacked(wide, dir.filePath("fehlt")).isNull());
}
