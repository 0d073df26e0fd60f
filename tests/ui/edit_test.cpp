// Editing the picture in the view: turns stepped back and forward to exact pixels, the
// layout and the clipboard following the edited picture, a new picture starting the history
// again, a frame drawn with the mouse at every zoom or with the keys cropping to exactly its
// pixels, an edit cancelled with Escape or refused while one runs, out of memory leaving all
// as it was.

#include "TestSupport.h"
#include "base/Rounding.h"
#include "image/Deskew.h"
#include "runtime/Units.h"
#include "ui/PictureViewer.h"
#include "ui/Root.h"

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QPainter>
#include <QTest>
#include <QTimer>
#include <QTransform>
#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

QImage shown(const Root &root)
{
    return root.Picture2.picture().image().convertToFormat(QImage::Format_RGB32);
}

QImage rotatedBy(const QImage &image, int degrees)
{
    return image.transformed(QTransform().rotate(degrees));
}

class Edit : public ::testing::Test {
protected:
    void start(const QImage &picture)
    {
        dir.writeImage("Rastelo.bmp", picture, "BMP");
        root = std::make_unique<Root>();
        root->show();
        root->clientWidget()->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(root->clientWidget()));
        original = shown(*root);
        ASSERT_EQ(original, picture.convertToFormat(QImage::Format_RGB32));
    }
    PictureViewer &viewer() { return root->viewer(); }

    ProgramDir dir;
    std::unique_ptr<Root> root;
    QImage original;
};

} // namespace

TEST_F(Edit, TurnsStepBackAndForwardToExactPixelsWithTheLayoutAndTheClipboardFollowing)
{
    start(patternImage(300, 200));
    const double tpp = rt::twipsPerPixel();
    ASSERT_TRUE(viewer().turn(img::Turn::Right));
    EXPECT_EQ(shown(*root), rotatedBy(original, 90));
    // The picture's box takes the turned size, and the bars' ranges follow it.
    EXPECT_FLOAT_EQ(root->Picture2.width(), float(200 * tpp));
    EXPECT_FLOAT_EQ(root->Picture2.height(), float(300 * tpp));
    EXPECT_EQ(root->VScroll1.max(), rt::to32(root->Picture1.height() - root->Picture2.height()));
    {
        MessageBoxWatcher watcher;
        root->BAblage_Click();
        EXPECT_EQ(QGuiApplication::clipboard()->image().convertToFormat(QImage::Format_RGB32), rotatedBy(original, 90));
    }
    root->clientWidget()->activateWindow(); // the message took the keys
    ASSERT_TRUE(QTest::qWaitForWindowActive(root->clientWidget()));
    ASSERT_TRUE(viewer().turn(img::Turn::Right));
    ASSERT_TRUE(viewer().turn(img::Turn::Half));
    EXPECT_EQ(shown(*root), original);
    ASSERT_TRUE(viewer().turn(img::Turn::Left));
    EXPECT_EQ(shown(*root), rotatedBy(original, -90));

    // Back through every step to the picture as it came, and forward again.
    const QImage steps[] = {original, rotatedBy(original, 90), rotatedBy(original, 180), original, rotatedBy(original, -90)};
    for (int i = 3; i >= 0; --i) {
        ASSERT_TRUE(viewer().undo());
        EXPECT_EQ(shown(*root), steps[i]) << i;
    }
    EXPECT_FALSE(viewer().undo());
    EXPECT_EQ(root->Picture2.picture().image().cacheKey(), viewer().history().scan().image().cacheKey());
    QTest::keySequence(root->Picture1.widget(), QKeySequence(Qt::CTRL | Qt::Key_Y));
    EXPECT_EQ(shown(*root), steps[1]);
    QTest::keySequence(root->Picture1.widget(), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z));
    EXPECT_EQ(shown(*root), steps[2]);
    QTest::keySequence(root->Picture1.widget(), QKeySequence(Qt::CTRL | Qt::Key_Z));
    EXPECT_EQ(shown(*root), steps[1]);
    // A new edit after stepping back forgets the steps ahead.
    QTest::keySequence(root->Picture1.widget(), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_R));
    EXPECT_EQ(shown(*root), original);
    EXPECT_FALSE(viewer().redo());
    EXPECT_EQ(viewer().history().count(), 2);

    // A new picture (a scan) starts the history again.
    const QImage scan = patternImage(50, 40);
    root->Picture2.setPicture(rt::Picture(scan));
    EXPECT_FALSE(viewer().undo());
    EXPECT_EQ(shown(*root), scan);
}

TEST_F(Edit, AFrameDrawnWithTheMouseCropsToExactlyItsPixelsAtEveryZoom)
{
    start(patternImage(640, 480));
    QWidget *picture = root->Picture2.widget();
    for (const double zoom : {0.25, 1.0 / 3, 0.5, 2.0 / 3, 1.0, 1.5, 4.0, 0.0}) {
        if (zoom > 0)
            viewer().zoomTo(zoom);
        else
            viewer().fitPage();
        const double sx = double(picture->width()) / original.width(), sy = double(picture->height()) / original.height();
        const QPoint from(int(97.3 * sx) + 1, int(51.7 * sy) + 1), to(int(411.2 * sx), int(302.6 * sy));
        const QRect expected(QPoint(int(std::floor(from.x() / sx)), int(std::floor(from.y() / sy))),
                             QPoint(int(std::floor(to.x() / sx)), int(std::floor(to.y() / sy))));
        QTest::mousePress(picture, Qt::LeftButton, Qt::NoModifier, from);
        QTest::mouseMove(picture, to);
        QTest::mouseRelease(picture, Qt::LeftButton, Qt::NoModifier, to);
        ASSERT_TRUE(viewer().selection().isActive()) << zoom;
        QTest::keyClick(root->Picture1.widget(), Qt::Key_Return);
        EXPECT_EQ(shown(*root), original.copy(expected)) << zoom;
        ASSERT_TRUE(viewer().undo());
        EXPECT_EQ(shown(*root), original);
    }
}

TEST_F(Edit, TheKeysDrawAFrameFromTheTopLeftInViewMoveItsEdgesAndEscapeDropsIt)
{
    start(patternImage(400, 300));
    viewer().zoomTo(2.0);
    root->HScroll1.setValue(-rt::to32(100 * rt::twipsPerPixel())); // 50 picture pixels to the right
    root->VScroll1.setValue(0);
    QWidget *keys = root->Picture1.widget();
    QTest::keyClick(keys, Qt::Key_Right, Qt::ShiftModifier);
    QTest::keyClick(keys, Qt::Key_Right, Qt::ShiftModifier);
    QTest::keyClick(keys, Qt::Key_Down, Qt::ShiftModifier);
    // The first key starts a frame of 16 screen pixels (8 picture pixels at 200 %), each
    // next one moves an edge by as much.
    EXPECT_EQ(viewer().selection().area(), QRect(50, 0, 16, 16));
    QTest::keyClick(keys, Qt::Key_Escape);
    EXPECT_FALSE(viewer().selection().isActive());
    QTest::keyClick(keys, Qt::Key_Down, Qt::ShiftModifier);
    QTest::keySequence(keys, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_X));
    EXPECT_EQ(shown(*root), original.copy(50, 0, 8, 8));

    // Ctrl+Shift with the arrows moves the whole frame by a key step, up to the picture's edges.
    ASSERT_TRUE(viewer().undo());
    QTest::keyClick(keys, Qt::Key_Down, Qt::ShiftModifier);
    const QRect drawn = viewer().selection().area();
    const int view = root->VScroll1.value();
    QTest::keyClick(keys, Qt::Key_Right, Qt::ControlModifier | Qt::ShiftModifier);
    QTest::keyClick(keys, Qt::Key_Down, Qt::ControlModifier | Qt::ShiftModifier);
    QTest::keyClick(keys, Qt::Key_Down, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(viewer().selection().area(), drawn.translated(8, 16));
    for (int i = 0; i < 50; ++i)
        QTest::keyClick(keys, Qt::Key_Up, Qt::ControlModifier | Qt::ShiftModifier);
    for (int i = 0; i < 50; ++i)
        QTest::keyClick(keys, Qt::Key_Right, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(viewer().selection().area(), QRect(392, 0, 8, 8));
    EXPECT_EQ(root->VScroll1.value(), view); // the keys moved the frame, not the view
    QTest::keyClick(keys, Qt::Key_Escape);

    // The frame's edge follows the mouse to the pixel boundary nearest it.
    viewer().zoomTo(1.0);
    viewer().selection().setArea(QRect(100, 100, 50, 50));
    QTest::mousePress(root->Picture2.widget(), Qt::LeftButton, Qt::NoModifier, QPoint(150, 120));
    QTest::mouseMove(root->Picture2.widget(), QPoint(181, 125));
    QTest::mouseRelease(root->Picture2.widget(), Qt::LeftButton, Qt::NoModifier, QPoint(181, 125));
    EXPECT_EQ(viewer().selection().area(), QRect(100, 100, 81, 50));
    // Inside the frame the mouse moves it as a whole.
    QTest::mousePress(root->Picture2.widget(), Qt::LeftButton, Qt::NoModifier, QPoint(120, 120));
    QTest::mouseMove(root->Picture2.widget(), QPoint(110, 140));
    QTest::mouseRelease(root->Picture2.widget(), Qt::LeftButton, Qt::NoModifier, QPoint(110, 140));
    EXPECT_EQ(viewer().selection().area(), QRect(90, 120, 81, 50));
}

TEST_F(Edit, StraighteningAndTrimmingFindThePageOnTheLid)
{
    // A photo on a light lid, turned by 6 degrees.
    QImage lid(900, 1200, QImage::Format_RGB32);
    lid.fill(QColor(236, 236, 233));
    {
        QPainter painter(&lid);
        painter.translate(450, 600);
        painter.rotate(6);
        painter.fillRect(QRect(-250, -300, 500, 600), QColor(90, 40, 60));
        painter.fillRect(QRect(-200, -250, 400, 40), QColor(200, 210, 40));
    }
    start(lid);
    ASSERT_TRUE(viewer().straighten());
    EXPECT_NEAR(img::skewAngle(root->Picture2.picture().image()), 0.0, 0.2);
    // It is turned as a whole, the corners filled with the lid's colour.
    EXPECT_EQ(root->Picture2.picture().image().pixel(0, 0), qRgb(236, 236, 233));
    ASSERT_TRUE(viewer().undo());
    ASSERT_TRUE(viewer().trimToDocument());
    const QSize trimmed = root->Picture2.picture().image().size();
    // The photo and a millimetre or two around it (no resolution: 300 dpi, 12 pixels a mm).
    EXPECT_GE(trimmed.width(), 500);
    EXPECT_LE(trimmed.width(), 500 + 50);
    EXPECT_GE(trimmed.height(), 600);
    EXPECT_LE(trimmed.height(), 600 + 50);
    ASSERT_TRUE(viewer().undo());
    EXPECT_EQ(shown(*root), original);
}

TEST_F(Edit, ALongEditRefusesASecondOneAndEscapeCancelsIt)
{
    start(patternImage(200, 100));
    // An A4 page at 600 dpi takes long enough to straighten to be there while it runs.
    QImage page(4960, 7016, QImage::Format_BGR888);
    ASSERT_FALSE(page.isNull());
    page.fill(Qt::white);
    {
        QPainter painter(&page);
        painter.rotate(3);
        for (int y = 400; y < 6600; y += 120)
            painter.fillRect(QRect(400, y, 4000, 50), Qt::black);
    }
    root->Picture2.setPicture(rt::Picture(page));
    viewer().fitPage();
    const auto copiesOnceShown = [&] {
        root->Picture2.refresh();
        root->Picture2.waitForScaledCopies();
        return root->Picture2.scaledCopyBytes();
    };
    ASSERT_GT(copiesOnceShown(), 0);
    const qint64 before = root->Picture2.picture().image().cacheKey();
    bool refused = false, running = false;
    qsizetype copiesWhileRunning = -1;
    QImage painted;
    MessageBoxWatcher watcher;
    QTimer::singleShot(60, [&] {
        running = viewer().editRunning();
        // The old picture's halved copies are gone while the edit makes its picture, and
        // painting meanwhile shows the picture itself without making new ones.
        copiesWhileRunning = copiesOnceShown();
        painted = root->Picture2.widget()->grab().toImage();
        refused = !viewer().turn(img::Turn::Right);
        QTest::keyClick(root->Picture1.widget(), Qt::Key_Escape);
    });
    EXPECT_FALSE(viewer().straighten());
    EXPECT_TRUE(running);
    EXPECT_TRUE(refused);
    EXPECT_EQ(copiesWhileRunning, 0);
    // The page's black lines are there, not just the (white) background.
    int darkest = 255;
    for (int y = 0; y < painted.height(); ++y)
        for (int x = 0; x < painted.width(); ++x)
            darkest = std::min(darkest, qGray(painted.pixel(x, y)));
    EXPECT_LT(darkest, 100);
    EXPECT_GT(copiesOnceShown(), 0); // the picture stayed: its copies are made again
    EXPECT_EQ(root->Picture2.picture().image().cacheKey(), before);
    EXPECT_TRUE(watcher.shown().empty());
    EXPECT_EQ(viewer().history().count(), 0);
}

TEST_F(Edit, OutOfMemoryLeavesThePictureAndTheProgramAsTheyWere)
{
#ifdef VISTORAMO_ASAN
    GTEST_SKIP() << "the address space limit does not go with the address sanitizer";
#else
    start(patternImage(64, 48));
    // 147 MB: more than the allocator keeps of what earlier tests freed, so the turn's copy
    // needs new address space.
    QImage page(7000, 7000, QImage::Format_BGR888);
    ASSERT_FALSE(page.isNull());
    page.fill(QColor(10, 200, 30));
    page.setPixel(5, 3, qRgb(255, 0, 0));
    root->Picture2.setPicture(rt::Picture(page));
    original = shown(*root);
    const qint64 before = root->Picture2.picture().image().cacheKey();
    MessageBoxWatcher watcher;
    rlimit saved{};
    getrlimit(RLIMIT_AS, &saved);
    QFile status(QStringLiteral("/proc/self/statm"));
    ASSERT_TRUE(status.open(QIODevice::ReadOnly));
    const rlim_t used = status.readAll().split(' ').value(0).toULongLong() * rlim_t(sysconf(_SC_PAGESIZE));
    rlimit tight = saved;
    tight.rlim_cur = used + rlim_t{24} * 1024 * 1024;
    ASSERT_EQ(setrlimit(RLIMIT_AS, &tight), 0);
    const bool turned = viewer().turn(img::Turn::Right);
    setrlimit(RLIMIT_AS, &saved);
    EXPECT_FALSE(turned);
    EXPECT_EQ(root->Picture2.picture().image().cacheKey(), before);
    ASSERT_EQ(watcher.shown().size(), 1u);
    EXPECT_EQ(watcher.shown()[0].text, QStringLiteral("Das Bild wurde nicht geändert.\n\nNicht genügend Speicher.  "));
    EXPECT_EQ(viewer().history().count(), 0);
    // With memory again the same edit is made.
    EXPECT_TRUE(viewer().turn(img::Turn::Right));
    EXPECT_EQ(root->Picture2.picture().image().pixel(6996, 5), qRgb(255, 0, 0));
#endif
}
