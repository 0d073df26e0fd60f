// Turning and cropping: every pixel format turned four times is the picture again, each turn
// puts each pixel where a reference transform does, crops are the selected pixels and share
// the rows, a turn by an angle fills what it exposes, and an edit keeps the resolution right.

#include "image/Geometry.h"

#include <QTransform>
#include <gtest/gtest.h>

namespace {

QImage noise(int width, int height, QImage::Format format, quint64 seed = 7)
{
    QImage image(width, height, format);
    if (format == QImage::Format_Indexed8) {
        QList<QRgb> table;
        for (int i = 0; i < 256; ++i)
            table << qRgb(i, 255 - i, (i * 7) & 255);
        image.setColorTable(table);
    } else if (image.depth() == 1) {
        image.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    }
    for (int y = 0; y < height; ++y) {
        uchar *row = image.scanLine(y);
        for (qsizetype i = 0; i < image.bytesPerLine(); ++i) {
            seed = seed * 6364136223846793005u + 1442695040888963407u;
            row[i] = uchar(seed >> 56);
        }
    }
    // Padding bits and alpha that a format does not keep would make equal pictures differ.
    return format == QImage::Format_ARGB32 || format == QImage::Format_RGBA64 ? image : image.copy();
}

const QImage::Format Formats[] = {
    QImage::Format_Mono,   QImage::Format_MonoLSB, QImage::Format_Indexed8, QImage::Format_Grayscale8, QImage::Format_BGR888,
    QImage::Format_RGB888, QImage::Format_RGB32,   QImage::Format_ARGB32,   QImage::Format_RGB16,      QImage::Format_RGBA64,
};

} // namespace

TEST(Geometry, EachTurnPutsEveryPixelWhereTheReferenceDoesAndFourGiveThePictureBack)
{
    for (const QImage::Format format : Formats) {
        // Sizes that fill no whole block and, for 1-bit pictures, no whole byte.
        const QImage page = noise(141, 77, format);
        const QImage right = img::turned(page, img::Turn::Right);
        const QImage left = img::turned(page, img::Turn::Left);
        const QImage half = img::turned(page, img::Turn::Half);
        EXPECT_EQ(right.format(), format);
        EXPECT_EQ(right, page.transformed(QTransform().rotate(90))) << format;
        EXPECT_EQ(left, page.transformed(QTransform().rotate(-90))) << format;
        EXPECT_EQ(half, page.transformed(QTransform().rotate(180))) << format;
        QImage back = page;
        for (int i = 0; i < 4; ++i)
            back = img::turned(back, img::Turn::Left);
        EXPECT_EQ(back, page) << format;
        EXPECT_EQ(img::turned(img::turned(page, img::Turn::Half), img::Turn::Half), page) << format;
    }
}

TEST(Geometry, ACropIsTheSelectedPixelsSharingTheRowsAndCopiesOnWriting)
{
    for (const QImage::Format format : Formats) {
        const QImage page = noise(200, 120, format);
        for (const QRect area : {QRect(8, 3, 57, 40), QRect(13, 0, 1, 120), QRect(0, 119, 200, 1), QRect(150, 60, 90, 90)}) {
            QImage crop = img::cropped(page, area);
            const QImage expected = page.copy(area & page.rect());
            ASSERT_EQ(crop.size(), expected.size()) << format;
            EXPECT_EQ(crop, expected) << format;
            const QRect inside = area & page.rect();
            if ((page.depth() >= 8 || area.x() % 8 == 0) && (area.x() == 0 || inside.bottom() < page.height() - 1)) {
                // Its rows are the page's own.
                EXPECT_EQ(crop.constBits(), page.constScanLine(area.y()) + area.x() * page.depth() / 8) << format;
                crop.bits()[0] ^= 0xFF;
                EXPECT_EQ(page.copy(area & page.rect()), expected) << format;
            } else {
                crop.bits()[0] ^= 0xFF; // a copy of its own, which reads nothing past the page
                EXPECT_EQ(page.copy(inside), expected) << format;
            }
        }
    }
    EXPECT_TRUE(img::cropped(noise(10, 10, QImage::Format_RGB32), QRect(20, 20, 5, 5)).isNull());
}

TEST(Geometry, ATurnByAnAngleHoldsThePictureAndFillsTheCornersWithTheGivenColour)
{
    QImage page(300, 200, QImage::Format_BGR888);
    page.fill(QColor(40, 90, 200));
    const QRgb fill = qRgb(250, 245, 230);
    const QImage out = img::rotated(page, 10, fill);
    ASSERT_EQ(out.format(), QImage::Format_BGR888);
    // The box that holds the turned page: 300 cos 10° + 200 sin 10° wide.
    EXPECT_EQ(out.width(), 331);
    EXPECT_EQ(out.height(), 250);
    EXPECT_EQ(out.pixel(0, 0), fill);
    EXPECT_EQ(out.pixel(out.width() - 1, out.height() - 1), fill);
    EXPECT_EQ(out.pixel(out.width() / 2, out.height() / 2), page.pixel(0, 0));
    // Clockwise: the page's top left corner goes up to the top edge, its top right one comes down.
    EXPECT_EQ(out.pixel(40, 8), page.pixel(0, 0));
    EXPECT_EQ(out.pixel(out.width() - 40, 8), fill);
    // A pattern turned there and back is the pattern again away from the edges.
    QImage pattern(200, 200, QImage::Format_Grayscale8);
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 200; ++x)
            pattern.scanLine(y)[x] = uchar(128 + 100 * std::sin(x / 9.0) * std::cos(y / 13.0));
    const QImage there = img::rotated(pattern, 7.5, 0);
    const QImage back = img::rotated(there, -7.5, 0);
    const QPoint shift((back.width() - 200) / 2, (back.height() - 200) / 2);
    for (int y = 40; y < 160; y += 7)
        for (int x = 40; x < 160; x += 7)
            EXPECT_NEAR(qGray(back.pixel(x + shift.x(), y + shift.y())), pattern.scanLine(y)[x], 6) << x << ' ' << y;
}

TEST(Geometry, TheTurnsMappingFindsWhereEachPixelWent)
{
    // A dark dot at three places on a light page: where rotation() says it went, rotated() put it.
    for (const QPoint dot : {QPoint(30, 20), QPoint(250, 40), QPoint(120, 170)}) {
        QImage page(300, 200, QImage::Format_Grayscale8);
        page.fill(255);
        for (int y = -2; y <= 2; ++y)
            for (int x = -2; x <= 2; ++x)
                page.setPixel(dot + QPoint(x, y), 0);
        for (const double degrees : {6.0, -11.0}) {
            const QImage out = img::rotated(page, degrees, qRgb(255, 255, 255));
            QPointF sum;
            double weight = 0;
            for (int y = 0; y < out.height(); ++y)
                for (int x = 0; x < out.width(); ++x)
                    if (const int dark = 255 - out.constScanLine(y)[x]; dark > 0) {
                        sum += QPointF(x, y) * dark;
                        weight += dark;
                    }
            const QPointF expected = img::rotation(page.size(), degrees).map(QPointF(dot));
            EXPECT_NEAR(sum.x() / weight, expected.x(), 0.3) << degrees;
            EXPECT_NEAR(sum.y() / weight, expected.y(), 0.3) << degrees;
        }
    }
}

TEST(Geometry, AnEditKeepsTheResolutionSwappingItForAQuarterTurn)
{
    const img::Picture scan(noise(60, 40, QImage::Format_RGB32), {11811, 23622});
    const img::Picture turned = img::applied(scan, {img::Turn::Left, 0, 0, {}});
    EXPECT_EQ(turned.dotsPerMeter(), QSize(23622, 11811));
    EXPECT_EQ(turned.image().size(), QSize(40, 60));
    const img::Picture cut = img::applied(scan, {std::nullopt, 0, 0, QRect(5, 6, 10, 12)});
    EXPECT_EQ(cut.dotsPerMeter(), QSize(11811, 23622));
    EXPECT_EQ(cut.image(), scan.image().copy(5, 6, 10, 12));
    std::atomic<bool> cancel{true};
    EXPECT_THROW(img::applied(scan, {img::Turn::Right, 0, 0, {}}, &cancel), img::Cancelled);
}
