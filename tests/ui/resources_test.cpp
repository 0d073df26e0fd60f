// The window's bitmap resources: every pixel of the size grip, and the icon's six images;
// the installed theme icon: the scalable drawing shows what the pixel sizes show.

#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QtEndian>
#include <algorithm>
#include <cstdlib>
#include <gtest/gtest.h>

namespace {
QRgb expectedGripPixel(int x, int y)
{
    const int s = x + y;
    if (s < 12)
        return qRgb(0xD8, 0xBC, 0xA0);
    switch ((s - 12) % 4) {
    case 0: return qRgb(0xF0, 0xE0, 0xD0);
    case 3: return qRgb(0xD8, 0xBC, 0xA0);
    default: return qRgb(0xB0, 0x7C, 0x48);
    }
}
} // namespace

TEST(Resources, TheGripIsA13By12TwentyFourBitBitmapOfThreeGrooves)
{
    QFile file(QStringLiteral(":/vistoramo/Groesse.bmp"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    ASSERT_GE(bytes.size(), 54);
    EXPECT_EQ(qFromLittleEndian<quint16>(bytes.constData() + 28), 24); // bits per pixel
    const QImage grip = QImage::fromData(bytes, "BMP");
    ASSERT_EQ(grip.size(), QSize(13, 12));
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 13; ++x)
            EXPECT_EQ(grip.pixel(x, y), expectedGripPixel(x, y)) << x << "," << y;
}

TEST(Resources, TheIconHoldsSixImagesAt16And256Colours)
{
    QFile file(QStringLiteral(":/vistoramo/Vistoramo.ico"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray ico = file.readAll();
    ASSERT_EQ(qFromLittleEndian<quint16>(ico.constData() + 4), 6);
    std::multiset<std::pair<int, int>> found;
    for (int i = 0; i < 6; ++i) {
        const char *entry = ico.constData() + 6 + 16 * i;
        const int size = static_cast<unsigned char>(entry[0]);
        const int bits = qFromLittleEndian<quint16>(entry + 6);
        found.insert({size, bits});
    }
    EXPECT_EQ(found, (std::multiset<std::pair<int, int>>{{16, 4}, {32, 4}, {48, 4}, {16, 8}, {32, 8}, {48, 8}}));
    QImageReader reader(&file, "ico");
    file.seek(0);
    EXPECT_EQ(reader.imageCount(), 6);
    const QImage first = reader.read();
    EXPECT_FALSE(first.isNull());
}

namespace {
int channelDistance(QRgb a, QRgb b)
{
    return std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)), std::abs(qBlue(a) - qBlue(b)),
                     std::abs(qAlpha(a) - qAlpha(b))});
}
} // namespace

TEST(Resources, TheScalableIconShowsTheDrawingOfThePixelSizes)
{
    // The scalable drawing is laid out on the 48 px grid: its edges and printed lines are
    // those of the 48 px image (the smaller images keep one-pixel edges of their own).
    const QString icons = QStringLiteral(VISTORAMO_RESOURCES_DIR "/icons/");
    const int n = 48;
    const QImage pixels = QImage(icons + QStringLiteral("48x48/vistoramo.png")).convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(pixels.size(), QSize(n, n));
    QImageReader reader(icons + QStringLiteral("scalable/vistoramo.svg"), "svg");
    reader.setScaledSize(QSize(n, n));
    const QImage drawn = reader.read().convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(drawn.size(), QSize(n, n)) << reader.errorString().toStdString();
    // Edges that do not fall on whole pixels are smoothed, so a few pixels along them
    // differ; leaving out even the smallest shape, the power light, adds more than a dozen.
    int differing = 0;
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x)
            differing += channelDistance(pixels.pixel(x, y), drawn.pixel(x, y)) > 96 ? 1 : 0;
    EXPECT_LT(differing, 32);
}
