// Finding a page's skew and its document on made-up scans: text lines and a photo on a lid
// turned by known angles, a photo on a light lid, a white page on a white lid that only a
// faint shadow shows, a page that touches the edge, an empty glass, noise, a full glass.

#include "image/Deskew.h"
#include "image/DocumentArea.h"

#include <QPainter>
#include <QRandomGenerator>
#include <gtest/gtest.h>

namespace {

constexpr int Dpi = 150;
constexpr QSize A4(1240, 1754); // at 150 dpi
constexpr QSize DotsPerMeter(5906, 5906);
constexpr int Mm = 6; // pixels at 150 dpi, rounded

// Lines of words: dark blocks of random widths on the page's colour.
void drawText(QPainter &painter, QRect area, quint32 seed)
{
    QRandomGenerator random(seed);
    for (int y = area.top(); y + 14 < area.bottom(); y += 30) {
        int x = area.left();
        while (x < area.right() - 20) {
            const int word = 15 + int(random.bounded(60));
            painter.fillRect(QRect(x, y, std::min(word, area.right() - x), 14), QColor(30, 30, 30));
            x += word + 10;
        }
    }
}

void addNoise(QImage &image, int amplitude, quint32 seed)
{
    QRandomGenerator random(seed);
    for (int y = 0; y < image.height(); ++y) {
        uchar *row = image.scanLine(y);
        for (qsizetype i = 0; i < image.bytesPerLine(); ++i)
            row[i] = uchar(std::clamp(int(row[i]) + int(random.bounded(2 * amplitude + 1)) - amplitude, 0, 255));
    }
}

QImage textPage()
{
    QImage page(A4, QImage::Format_BGR888);
    page.fill(Qt::white);
    QPainter painter(&page);
    drawText(painter, page.rect().adjusted(120, 150, -120, -150), 3);
    return page;
}

QImage photoOnLid(QRect photo, QColor lid)
{
    QImage page(A4, QImage::Format_BGR888);
    page.fill(lid);
    QPainter painter(&page);
    QLinearGradient gradient(photo.topLeft(), photo.bottomRight());
    gradient.setColorAt(0, QColor(150, 40, 30));
    gradient.setColorAt(1, QColor(20, 60, 120));
    painter.fillRect(photo, gradient);
    painter.end();
    addNoise(page, 3, 11);
    return page;
}

// The area holds the document and no more than about 2 mm around it.
void expectAround(QRect found, QRect document)
{
    EXPECT_TRUE(found.contains(document & QRect(QPoint(), A4)))
        << found.x() << ',' << found.y() << ' ' << found.width() << 'x' << found.height();
    const QRect loose = document.adjusted(-2 * Mm, -2 * Mm, 2 * Mm, 2 * Mm);
    EXPECT_TRUE(loose.contains(found)) << found.x() << ',' << found.y() << ' ' << found.width() << 'x' << found.height();
}

} // namespace

TEST(Skew, TextLinesAndAPhotoOnALidTurnedByKnownAnglesAreFoundWithinAFifthOfADegree)
{
    const QImage text = textPage();
    const QImage photo = photoOnLid(QRect(300, 400, 600, 800), QColor(235, 235, 232));
    for (const double angle : {-15.0, -7.0, -2.5, -0.4, 0.0, 0.3, 1.0, 4.2, 9.9, 15.0}) {
        EXPECT_NEAR(img::skewAngle(img::rotated(text, angle, qRgb(255, 255, 255))), angle, 0.2) << "text " << angle;
        EXPECT_NEAR(img::skewAngle(img::rotated(photo, angle, qRgb(235, 235, 232))), angle, 0.2) << "photo " << angle;
    }
}

TEST(Skew, APageWithoutLinesIsLeftAsItIs)
{
    QImage blank(A4, QImage::Format_Grayscale8);
    blank.fill(240);
    EXPECT_EQ(img::skewAngle(blank), 0.0);
    addNoise(blank, 20, 5);
    EXPECT_EQ(img::skewAngle(blank), 0.0);
}

TEST(DocumentArea, FindsAPhotoOnALightLidAndAWhitePageByItsShadow)
{
    const QRect photo(210, 330, 640, 450);
    expectAround(img::documentArea(photoOnLid(photo, QColor(238, 238, 236)), DotsPerMeter), photo);

    // A white page on a white lid, told apart by the faint shadow along its edges only.
    const QRect sheet(90, 120, 900, 1300);
    QImage page(A4, QImage::Format_Grayscale8);
    page.fill(250);
    QPainter painter(&page);
    painter.setPen(QPen(QColor(215, 215, 215), 2));
    painter.drawRect(sheet.adjusted(0, 0, -1, -1));
    painter.fillRect(sheet.adjusted(2, 2, -2, -2), QColor(252, 252, 252));
    drawText(painter, sheet.adjusted(80, 100, -80, -100), 4);
    painter.end();
    addNoise(page, 2, 9);
    expectAround(img::documentArea(page, DotsPerMeter), sheet);
}

TEST(DocumentArea, APageThatTouchesTheEdgeReachesIt)
{
    const QRect sheet(0, 200, 800, 1200);
    QImage page(A4, QImage::Format_RGB32);
    page.fill(QColor(200, 200, 205));
    QPainter painter(&page);
    painter.fillRect(sheet, Qt::white);
    drawText(painter, sheet.adjusted(60, 60, -60, -60), 5);
    painter.end();
    const QRect found = img::documentArea(page, DotsPerMeter);
    EXPECT_EQ(found.left(), 0);
    expectAround(found, sheet);
}

TEST(DocumentArea, AnEmptyGlassNoiseAndAFullGlassGiveTheWholePage)
{
    QImage glass(A4, QImage::Format_Grayscale8);
    glass.fill(245);
    EXPECT_EQ(img::documentArea(glass, DotsPerMeter), glass.rect());
    addNoise(glass, 25, 3);
    EXPECT_EQ(img::documentArea(glass, DotsPerMeter), glass.rect());
    // A photo that covers the glass: its border is no lid.
    const QImage full = photoOnLid(QRect(QPoint(), A4), Qt::white);
    EXPECT_EQ(img::documentArea(full, DotsPerMeter), full.rect());
    // A patterned cloth over the glass with a white card on it: a border this uneven is no
    // lid, however clearly the card stands out.
    QImage cloth(A4, QImage::Format_Grayscale8);
    for (int y = 0; y < cloth.height(); ++y)
        for (int x = 0; x < cloth.width(); ++x)
            cloth.scanLine(y)[x] = uchar(110 + 18 * ((x / 30 + y / 30) % 3));
    QPainter(&cloth).fillRect(QRect(300, 400, 600, 800), Qt::white);
    EXPECT_EQ(img::documentArea(cloth, DotsPerMeter), cloth.rect());
    // Without a resolution a millimetre is taken at 300 dpi.
    const QRect photo(400, 500, 300, 300);
    const QRect found = img::documentArea(photoOnLid(photo, QColor(238, 238, 236)), {});
    EXPECT_TRUE(found.contains(photo.adjusted(-11, -11, 11, 11)));
    EXPECT_TRUE(photo.adjusted(-3 * Mm * 2, -3 * Mm * 2, 3 * Mm * 2, 3 * Mm * 2).contains(found));
}

// A preview is a glass at some 46 dpi: a millimetre is under two pixels, and a shadow is one.
TEST(DocumentArea, FindsThePhotoAndTheWhitePageOnAPreview)
{
    const QSize preview(380, 537), perMeter(1811, 1811);
    const QRect photo(54, 72, 181, 272);
    QImage lid(preview, QImage::Format_RGB888);
    lid.fill(QColor(238, 238, 236));
    QPainter painter(&lid);
    painter.fillRect(photo, QColor(60, 100, 150));
    painter.end();
    addNoise(lid, 3, 4);
    QRect found = img::documentArea(lid, perMeter);
    EXPECT_TRUE(found.contains(photo)) << found.x() << "," << found.y() << " " << found.width() << "x" << found.height();
    EXPECT_TRUE(photo.adjusted(-4, -4, 4, 4).contains(found));

    const QRect sheet(20, 30, 300, 420);
    QImage white(preview, QImage::Format_Grayscale8);
    white.fill(250);
    painter.begin(&white);
    painter.setPen(QColor(222, 222, 222));
    painter.drawRect(sheet.adjusted(0, 0, -1, -1));
    painter.end();
    addNoise(white, 2, 5);
    found = img::documentArea(white, perMeter);
    EXPECT_TRUE(found.contains(sheet)) << found.x() << "," << found.y() << " " << found.width() << "x" << found.height();
    EXPECT_TRUE(sheet.adjusted(-4, -4, 4, 4).contains(found));
}
