// The zoomed view's halved copies: they keep to a third of the page's memory whatever its
// format, and what is painted from them is the page's average colour.

#include "runtime/ScaledPicture.h"

#include <QPainter>
#include <gtest/gtest.h>

TEST(ScaledPicture, CopiesOfEveryFormatStayWithinAThirdOfThePageAndPaintItsAverage)
{
    // Fine stripes: one pixel dark, one light, one in between, in both directions.
    QImage base(2048, 2048, QImage::Format_RGB32);
    for (int y = 0; y < base.height(); ++y)
        for (int x = 0; x < base.width(); ++x)
            base.setPixel(x, y, (x + y) % 2 ? qRgb(200, 40, 120) : qRgb(40, 200, 120));
    QImage mono = base.convertToFormat(QImage::Format_Grayscale8).convertToFormat(QImage::Format_Mono, Qt::ThresholdDither);
    const QImage kinds[] = {base,
                            base.convertToFormat(QImage::Format_Grayscale8),
                            base.convertToFormat(QImage::Format_BGR888),
                            base.convertToFormat(QImage::Format_Indexed8),
                            mono,
                            base.convertToFormat(QImage::Format_RGB16)};
    for (const QImage &page : kinds) {
        SCOPED_TRACE(static_cast<int>(page.format()));
        rt::ScaledPicture scaled;
        QImage screen(512, 512, QImage::Format_RGB32);
        QPainter painter(&screen);
        scaled.paint(painter, QRegion(screen.rect()), page, 0.125, nullptr);
        scaled.waitForCopies();
        EXPECT_GT(scaled.copyBytes(), 0);
        EXPECT_LE(scaled.copyBytes(), page.sizeInBytes() / 3);
        screen.fill(Qt::black);
        scaled.paint(painter, QRegion(screen.rect()), page, 0.125, nullptr);
        painter.end();
        // Every shown pixel is the average of the 8x8 it stands for.
        const QImage expected = page.convertToFormat(QImage::Format_RGB32);
        qint64 sum[3] = {};
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 64; ++x) {
                const QRgb p = expected.pixel(1000 + x, 1000 + y);
                sum[0] += qRed(p), sum[1] += qGreen(p), sum[2] += qBlue(p);
            }
        const QRgb shown = screen.pixel(130, 130);
        EXPECT_NEAR(qRed(shown), static_cast<int>(sum[0] / 4096), 8);
        EXPECT_NEAR(qGreen(shown), static_cast<int>(sum[1] / 4096), 8);
        EXPECT_NEAR(qBlue(shown), static_cast<int>(sum[2] / 4096), 8);
    }
}
