// The window as created: its controls, their geometry in pixels at 96 dpi, tab order,
// access keys, captions and resources.

#include "TestSupport.h"
#include "image/IcoReader.h"
#include "ui/Root.h"

#include <QFile>
#include <QImageReader>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

namespace {
struct Expected {
    const char *name;
    const rt::Control &control;
    QRect pixels;
};
} // namespace

TEST(RootWindow, ControlsStandWhereTheDesignPutsThem)
{
    Root root;
    EXPECT_EQ(root.caption(), QStringLiteral(" Vistoramo"));
    const Expected table[] = {
        {"BGerät", root.BGerät, {3, 3, 73, 25}},         {"BScannen", root.BScannen, {78, 3, 73, 25}},
        {"BAblage", root.BAblage, {153, 3, 73, 25}},     {"Picture1", root.Picture1, {3, 30, 604, 406}},
        {"VScroll1", root.VScroll1, {612, 30, 16, 406}}, {"HScroll1", root.HScroll1, {3, 438, 607, 16}},
        {"Picture2", root.Picture2, {0, 0, 502, 310}},   {"PResize", root.PResize, {615, 444, 13, 12}},
    };
    for (const Expected &e : table)
        EXPECT_EQ(e.control.widget()->geometry(), e.pixels) << e.name;
    EXPECT_EQ(root.Picture2.widget()->parentWidget(), root.Picture1.widget());
    EXPECT_EQ(&root.Picture2.container(), static_cast<rt::Container *>(&root.Picture1));
    EXPECT_EQ(&root.Picture1.container(), static_cast<rt::Container *>(&root));
    EXPECT_EQ(root.BGerät.caption(), QStringLiteral("&Geräte"));
    EXPECT_EQ(root.BScannen.caption(), QStringLiteral("&Bilddatei"));
    EXPECT_EQ(root.BAblage.caption(), QStringLiteral("&Ablage"));
    // the design client area, plus the frame allowance
    EXPECT_EQ(root.clientWidget()->size(), QSize(630, 457));
}

TEST(RootWindow, BeforeStartUpBothBarsShowAndThePictureIsEmptyWhite)
{
    Root root;
    EXPECT_TRUE(root.VScroll1.isVisible());
    EXPECT_TRUE(root.HScroll1.isVisible());
    EXPECT_EQ(root.VScroll1.value(), 0);
    EXPECT_EQ(root.HScroll1.value(), 0);
    EXPECT_TRUE(root.Picture2.picture().isEmpty());
    EXPECT_EQ(root.Picture2.backColor() & 0xFFFFFF, 0xFFFFFFu);
    EXPECT_FLOAT_EQ(root.Picture2.width(), 7530);
    EXPECT_FLOAT_EQ(root.Picture2.height(), 4650);
    EXPECT_EQ(root.PResize.picture().image().size(), QSize(13, 12));
}

TEST(RootWindow, FontIconAndTabOrder)
{
    Root root;
    const QFont font = root.BGerät.widget()->font();
    EXPECT_EQ(font.families().value(0), QStringLiteral("Verdana"));
    EXPECT_DOUBLE_EQ(font.pointSizeF(), 8.25);
    EXPECT_EQ(font.weight(), QFont::Normal);
    const QList<QSize> sizes = root.clientWidget()->windowIcon().availableSizes();
    for (QSize s : {QSize(16, 16), QSize(32, 32), QSize(48, 48)})
        EXPECT_TRUE(sizes.contains(s)) << s.width();

    const QWidget *order[] = {root.BGerät.widget(),   root.BScannen.widget(), root.BAblage.widget(),  root.Picture1.widget(),
                              root.VScroll1.widget(), root.HScroll1.widget(), root.Picture2.widget(), root.PResize.widget()};
    for (size_t i = 0; i + 1 < std::size(order); ++i)
        EXPECT_EQ(order[i]->nextInFocusChain(), order[i + 1]) << i;
}

// The window's icon and the grip are read without the toolkit's image plugins: pixel for
// pixel what the toolkit reads, and a cut-short icon file is refused, not read past its end.
TEST(RootWindow, OwnPicturesAreReadAsTheToolkitReadsThem)
{
    Root root;
    QFile file(QStringLiteral(":/vistoramo/Vistoramo.ico"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray data = file.readAll();
    const std::vector<QImage> ours = img::readIcoImages(data);
    ASSERT_EQ(ours.size(), 6u);
    QImageReader reader(file.fileName());
    const auto premultiplied = [](const QImage &image) { return image.convertToFormat(QImage::Format_ARGB32_Premultiplied); };
    for (const QImage &image : ours) {
        EXPECT_EQ(premultiplied(image), premultiplied(reader.read())) << reader.currentImageNumber();
        reader.jumpToNextImage();
    }
    const QImage shownIcon = premultiplied(root.clientWidget()->windowIcon().pixmap(48, 48).toImage());
    EXPECT_TRUE(shownIcon == premultiplied(ours[2]) || shownIcon == premultiplied(ours[5]));
    for (qsizetype size = 0; size < data.size(); ++size)
        ASSERT_TRUE(img::readIcoImages(data.left(size)).empty()) << size;
    QByteArray shortEntry = data; // the first image's size says it ends after its palette
    shortEntry[6 + 8] = 40 + 16 * 4;
    shortEntry[6 + 9] = 0;
    EXPECT_TRUE(img::readIcoImages(shortEntry).empty());

    const QImage grip(QStringLiteral(":/vistoramo/Groesse.bmp"));
    const QImage shownGrip = root.PResize.picture().image();
    EXPECT_EQ(shownGrip.convertToFormat(QImage::Format_RGB32), grip.convertToFormat(QImage::Format_RGB32));
    EXPECT_EQ(shownGrip.dotsPerMeterX(), grip.dotsPerMeterX());
}

TEST(RootWindow, AccessKeysClickTheButtonsAndTheGripDoesNothing)
{
    Root root;
    root.show();
    root.clientWidget()->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(root.clientWidget()));
    QSignalSpy geraete(root.BGerät.button(), &QPushButton::clicked);
    QSignalSpy scannen(root.BScannen.button(), &QPushButton::clicked);
    QSignalSpy ablage(root.BAblage.button(), &QPushButton::clicked);
    root.BGerät.onClick([] {});
    root.BScannen.onClick([] {});
    root.BAblage.onClick([] {});
    QTest::keyClick(root.clientWidget(), Qt::Key_G, Qt::AltModifier);
    QTest::keyClick(root.clientWidget(), Qt::Key_B, Qt::AltModifier);
    QTest::keyClick(root.clientWidget(), Qt::Key_A, Qt::AltModifier);
    // A button answers its access key with an animated click.
    EXPECT_TRUE(QTest::qWaitFor([&] { return ablage.count() > 0; }, 2000));
    EXPECT_EQ(geraete.count(), 1);
    EXPECT_EQ(scannen.count(), 1);
    EXPECT_EQ(ablage.count(), 1);

    const QRect before = root.PResize.widget()->geometry();
    QTest::mouseClick(root.PResize.widget(), Qt::LeftButton);
    EXPECT_EQ(root.PResize.widget()->geometry(), before);
    EXPECT_TRUE(root.Picture2.picture().isEmpty());
}
