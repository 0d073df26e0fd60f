// The run-time layer where a fault would hide: rounding, scroll-bar ends and events,
// refused values, the picture loader and the message box.

#include "TestSupport.h"
#include "base/Errors.h"
#include "base/Rounding.h"
#include "image/BmpHeader.h"
#include "runtime/Controls.h"
#include "runtime/Form.h"
#include "runtime/PictureBox.h"
#include "runtime/PictureLoader.h"
#include "runtime/PicturePainting.h"
#include "runtime/ScrollBar.h"
#include "runtime/System.h"
#include "runtime/Units.h"

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QPaintEvent>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <QtEndian>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace rt;

namespace {

ErrorCode errorOf(const std::function<void()> &f)
{
    try {
        f();
    } catch (const RuntimeError &e) {
        return e.code();
    }
    ADD_FAILURE() << "no run-time error";
    return ErrorCode::Overflow;
}

// A bare window with one scroll bar that counts its events.
struct BarFixture : ::testing::Test {
    Form form;
    ScrollBar bar{form, Qt::Vertical};
    int changes = 0, scrolls = 0;
    void SetUp() override
    {
        bar.place(0, 0, 240, 3000);
        bar.onChange([this] { ++changes; });
        bar.onScroll([this] { ++scrolls; });
    }
};

} // namespace

TEST(Rounding, HalvesGoToTheEvenNeighbourAndOverflowIsAnError)
{
    EXPECT_EQ(to32(652.5), 652);
    EXPECT_EQ(to32(653.5), 654);
    EXPECT_EQ(to32(-0.5), 0);
    EXPECT_EQ(to32(-1.5), -2);
    EXPECT_EQ(to32(90.0), 90);
    EXPECT_EQ(to32(-105240.0), -105240);
    EXPECT_EQ(to32(2147483647.0), 2147483647);
    EXPECT_EQ(errorOf([] { to32(2147483647.5 + 1); }), ErrorCode::Overflow);
    EXPECT_EQ(errorOf([] { to32(-2147483649.0); }), ErrorCode::Overflow);
    EXPECT_EQ(errorOf([] { to32(std::nan("")); }), ErrorCode::Overflow);
}

TEST(Units, FifteenTwipsToThePixelAt96Dpi)
{
    ASSERT_DOUBLE_EQ(twipsPerPixel(), 15.0);
    EXPECT_EQ(toPixels(1095), 73);
    EXPECT_EQ(toPixels(-400), -27);
    EXPECT_FLOAT_EQ(toTwips(502), 7530.0f);
}

TEST_F(BarFixture, MaxBelowMinRunsFromZeroAtTheTopToMaxAtTheBottom)
{
    bar.setMax(-400);
    bar.setMin(0);
    bar.setLargeChange(900);
    bar.setSmallChange(90);
    EXPECT_EQ(changes, 0);
    EXPECT_EQ(bar.bar()->minimum(), 0);
    EXPECT_EQ(bar.bar()->maximum(), 400);

    bar.bar()->triggerAction(QAbstractSlider::SliderSingleStepAdd); // arrow at the bottom
    EXPECT_EQ(bar.value(), -90);
    EXPECT_EQ(changes, 1);
    bar.bar()->triggerAction(QAbstractSlider::SliderPageStepAdd); // track below the thumb
    EXPECT_EQ(bar.value(), -400); // stops at Max
    EXPECT_EQ(changes, 2);
    bar.bar()->triggerAction(QAbstractSlider::SliderPageStepAdd);
    EXPECT_EQ(bar.value(), -400);
    EXPECT_EQ(changes, 2);
    bar.bar()->triggerAction(QAbstractSlider::SliderSingleStepSub); // arrow at the top
    EXPECT_EQ(bar.value(), -310);
    EXPECT_EQ(bar.bar()->value(), 310);
}

TEST_F(BarFixture, ARangeThatNoLongerHoldsTheValuePullsItToTheNearestEndAndRaisesChange)
{
    bar.setMax(-1000);
    bar.setValue(-800);
    ASSERT_EQ(changes, 1);
    bar.setMax(-300);
    EXPECT_EQ(bar.value(), -300);
    EXPECT_EQ(changes, 2);
    bar.setMax(-500); // the value still lies inside: nothing moves
    EXPECT_EQ(bar.value(), -300);
    EXPECT_EQ(changes, 2);
    bar.setMin(-200); // the range is now -200 .. -500, with -300 inside
    EXPECT_EQ(bar.value(), -300);
    EXPECT_EQ(bar.bar()->value(), 100);
    bar.setMin(-350); // now -350 .. -500: -300 lies outside, nearest end -350
    EXPECT_EQ(bar.value(), -350);
    EXPECT_EQ(changes, 3);
    bar.setMax(0); // -350 .. 0 still holds -350
    EXPECT_EQ(changes, 3);
    bar.setMin(0);
    EXPECT_EQ(bar.value(), 0);
    EXPECT_EQ(changes, 4);
}

TEST_F(BarFixture, DraggingRaisesScrollPerPositionAndChangeOnRelease)
{
    bar.setMax(-105240);
    QScrollBar *b = bar.bar();
    b->setSliderDown(true); // pressed
    b->setSliderPosition(1000);
    b->setSliderPosition(50000);
    b->setSliderPosition(105240);
    EXPECT_EQ(scrolls, 3);
    EXPECT_EQ(changes, 0);
    EXPECT_EQ(bar.value(), -105240); // far beyond 16 bits
    b->setSliderDown(false); // released
    EXPECT_EQ(changes, 1);
}

TEST_F(BarFixture, StepsBelowOneAndValuesOutsideTheRangeAreRefused)
{
    bar.setMax(100);
    bar.setSmallChange(5);
    EXPECT_EQ(errorOf([&] { bar.setSmallChange(0); }), ErrorCode::InvalidPropertyValue);
    EXPECT_EQ(errorOf([&] { bar.setLargeChange(-1); }), ErrorCode::InvalidPropertyValue);
    EXPECT_EQ(errorOf([&] { bar.setValue(101); }), ErrorCode::InvalidPropertyValue);
    EXPECT_EQ(bar.smallChange(), 5);
    EXPECT_EQ(bar.bar()->singleStep(), 5);
    bar.setLargeChange(2147483647);
    EXPECT_EQ(bar.largeChange(), 2147483647);
    EXPECT_EQ(changes, 0);
}

TEST(Controls, NegativeSizesAreRefusedAndTheOldSizeStays)
{
    Form form;
    PictureBox box(form);
    box.place(45, 450, 9060, 6090);
    EXPECT_EQ(errorOf([&] { box.setHeight(-1); }), ErrorCode::InvalidPropertyValue);
    EXPECT_EQ(errorOf([&] { box.setWidth(-0.5f); }), ErrorCode::InvalidPropertyValue);
    EXPECT_EQ(errorOf([&] { form.setHeight(-10); }), ErrorCode::InvalidPropertyValue);
    EXPECT_FLOAT_EQ(box.height(), 6090);
    EXPECT_EQ(box.widget()->geometry(), QRect(3, 30, 604, 406));
    box.setLeft(-400); // negative positions are fine
    EXPECT_FLOAT_EQ(box.left(), -400);
    EXPECT_EQ(box.widget()->x(), -27);
}

TEST(Controls, AChildPictureIsClippedByItsContainerAndShowsItsLowerRightPartWhenMoved)
{
    Form form;
    PictureBox viewport(form);
    viewport.place(0, 0, 1500, 1500); // 100 x 100 px
    PictureBox picture(viewport);
    picture.setAutoSize(true);
    picture.setPicture(Picture(patternImage(300, 200)));
    EXPECT_FLOAT_EQ(picture.width(), 4500);
    EXPECT_FLOAT_EQ(picture.height(), 3000);
    picture.setLeft(-150 * 15);
    picture.setTop(-100 * 15);
    form.clientWidget()->resize(200, 200);
    const QImage shot = viewport.widget()->grab().toImage();
    ASSERT_EQ(shot.size(), QSize(100, 100));
    EXPECT_EQ(shot.pixel(0, 0), patternImage(300, 200).pixel(150, 100));
    EXPECT_EQ(shot.pixel(99, 99), patternImage(300, 200).pixel(249, 199));
}

TEST(Controls, AStepRepaintsEveryPartOfTheBarThatChanges)
{
    // A step repaints only where the handle was and is: every pixel that differs between the
    // bar before and after must have been repainted.
    struct PaintRecorder : QObject {
        QRegion painted;
        bool eventFilter(QObject *, QEvent *event) override
        {
            if (event->type() == QEvent::Paint)
                painted += static_cast<QPaintEvent *>(event)->region();
            return false;
        }
    };
    Form form;
    ScrollBar bar(form, Qt::Vertical);
    bar.place(0, 0, 240, 3000);
    bar.setMax(100);
    bar.setLargeChange(30);
    form.clientWidget()->resize(100, 300);
    form.show();
    QApplication::processEvents();
    for (const auto step : {QAbstractSlider::SliderPageStepAdd, QAbstractSlider::SliderSingleStepAdd,
                            QAbstractSlider::SliderPageStepAdd, QAbstractSlider::SliderToMinimum}) {
        const QImage before = bar.widget()->grab().toImage();
        PaintRecorder recorder;
        bar.widget()->installEventFilter(&recorder);
        bar.bar()->triggerAction(step);
        QApplication::processEvents();
        bar.widget()->removeEventFilter(&recorder);
        const QImage after = bar.widget()->grab().toImage();
        int stale = 0;
        for (int y = 0; y < after.height(); ++y)
            for (int x = 0; x < after.width(); ++x)
                stale += before.pixel(x, y) != after.pixel(x, y) && !recorder.painted.contains(QPoint(x, y));
        EXPECT_EQ(stale, 0) << "after a step to " << bar.value();
        EXPECT_FALSE(before == after) << "the handle did not move";
    }
}

TEST(Controls, ColourRowsArePaintedAsTheToolkitPaintsThem)
{
    const QImage page = patternImage(61, 9).convertToFormat(QImage::Format_BGR888);
    QImage scratch;
    for (const QRect part : {QRect(0, 0, 61, 9), QRect(3, 1, 1, 1), QRect(5, 2, 7, 3), QRect(1, 0, 37, 9)}) {
        QImage ours(64, 12, QImage::Format_RGB32), theirs(64, 12, QImage::Format_RGB32);
        ours.fill(Qt::white);
        theirs.fill(Qt::white);
        QPainter(&theirs).drawImage(QPoint(2, 1), page, part);
        {
            QPainter painter(&ours);
            drawPicturePart(painter, QPoint(2, 1), page, part, scratch);
        }
        EXPECT_TRUE(ours == theirs) << part.width() << " x " << part.height();
    }
}

TEST(Controls, AutoSizeFollowsEveryAssignedPictureButNotAnEmptyStart)
{
    Form form;
    PictureBox box(form);
    box.place(0, 0, 600, 300);
    box.setBackColor(0xFFFFFF);
    box.setAutoSize(true); // nothing assigned yet: the box keeps its size
    EXPECT_FLOAT_EQ(box.width(), 600);
    const QImage shot = box.widget()->grab().toImage();
    EXPECT_EQ(shot.pixel(5, 5) & 0xFFFFFF, 0xFFFFFFu);
    box.setPicture(Picture(patternImage(10, 20)));
    EXPECT_FLOAT_EQ(box.width(), 150);
    EXPECT_FLOAT_EQ(box.height(), 300);
    box.clearPicture();
    EXPECT_FLOAT_EQ(box.width(), 0);
    EXPECT_FLOAT_EQ(box.height(), 0);
}

TEST(Form, WritingASizeResizesAtOnceAndRaisesResizeOnlyOnAChange)
{
    Form form;
    int resizes = 0;
    form.onResize([&] { ++resizes; });
    form.setWidth(8500);
    form.setHeight(6500);
    EXPECT_EQ(resizes, 2);
    form.show(); // the first showing
    EXPECT_EQ(resizes, 3);
    resizes = 2;
    form.setHeight(6500);
    EXPECT_EQ(resizes, 2);
    EXPECT_FLOAT_EQ(form.width(), 8500);
    // Outer frame: 567 x 433 px less the caption bar and borders.
    EXPECT_EQ(form.clientWidget()->size(), QSize(567 - 8, 433 - 26));
    form.clientWidget()->resize(600, 400); // as the user or the window manager would
    EXPECT_EQ(resizes, 3);
    EXPECT_FLOAT_EQ(form.width(), (600 + 8) * 15.0f);
    EXPECT_FLOAT_EQ(form.height(), (400 + 26) * 15.0f);
}

TEST(Form, LoadRunsOnceBeforeTheFirstShowingWhichRaisesResize)
{
    Form form;
    std::vector<std::string> events;
    form.onLoad([&] {
        events.push_back("load");
        EXPECT_FALSE(form.clientWidget()->isVisible());
    });
    form.onResize([&] { events.push_back("resize"); });
    form.show();
    form.show();
    EXPECT_EQ(events, (std::vector<std::string>{"load", "resize"}));
}

TEST(Form, AFailingHandlerNeverEscapesIntoTheEventLoop)
{
    Form form;
    CommandButton button(form, QStringLiteral("&Los"));
    bool after = false;
    button.onClick([&] {
        after = true;
        raise(ErrorCode::Overflow, QStringLiteral("Überlauf"));
    });
    button.button()->click();
    EXPECT_TRUE(after);
}

TEST(Screen, ThePointerIsProgramWideAndReturnsToTheDefault)
{
    rt::setMousePointer(MousePointer::Hourglass);
    rt::setMousePointer(MousePointer::Hourglass);
    EXPECT_EQ(rt::mousePointer(), MousePointer::Hourglass);
    ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
    rt::setMousePointer(MousePointer::Default);
    EXPECT_EQ(rt::mousePointer(), MousePointer::Default);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_GT(rt::screenWidth(), 0.0f);
}

TEST(MessageBox, IsAnInformationBoxWithOneOkButtonTitleAndText)
{
    MessageBoxWatcher watcher;
    showInformation(nullptr, QStringLiteral("Text.  "), QStringLiteral(" Titel"));
    ASSERT_EQ(watcher.shown().size(), 1u);
    EXPECT_EQ(watcher.shown()[0].title, QStringLiteral(" Titel"));
    EXPECT_EQ(watcher.shown()[0].text, QStringLiteral("Text.  "));
    EXPECT_TRUE(watcher.shown()[0].information);
    EXPECT_EQ(watcher.shown()[0].buttons, 1);
}

TEST(PictureLoader, ReadsBmpJpegAndGifAtTheirPixelSize)
{
    ProgramDir dir;
    const QImage image = patternImage(37, 23);
    dir.writeImage("a.bmp", image, "BMP");
    dir.writeImage("a.jpg", image, "JPEG");
    dir.write("a.gif", gifBytes(image));
    for (const char *name : {"a.bmp", "a.jpg", "a.gif"}) {
        const Picture p = loadPicture(dir.file(name));
        EXPECT_EQ(p.image().size(), QSize(37, 23)) << name;
        EXPECT_FLOAT_EQ(rt::widthTwips(p), 37 * 15.0f);
    }
    EXPECT_EQ(loadPicture(dir.file("a.bmp")).image().pixel(36, 22), image.pixel(36, 22));
}

TEST(PictureLoader, RefusesWhatIsNoBmpJpegOrGifWithoutBlocking)
{
    ProgramDir dir;
    const QImage image = patternImage(64, 64);
    dir.writeImage("png.bmp", image, "PNG");
    dir.write("empty.jpg", "");
    dir.write("text.gif", "Dies ist kein Bild.\n");
    QByteArray jpeg;
    {
        QBuffer buf(&jpeg);
        buf.open(QIODevice::WriteOnly);
        image.save(&buf, "JPEG");
    }
    dir.write("truncated.jpg", jpeg.left(20));
    QByteArray bmp;
    {
        QBuffer buf(&bmp);
        buf.open(QIODevice::WriteOnly);
        image.save(&buf, "BMP");
    }
    QByteArray huge = bmp;
    qToLittleEndian<qint32>(65535, huge.data() + 18); // width
    qToLittleEndian<qint32>(65535, huge.data() + 22); // height
    dir.write("huge.bmp", huge);
    ASSERT_TRUE(QDir(dir.path()).mkdir("dir.bmp"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(dir.file("fifo.bmp")).constData(), 0600), 0);

    for (const char *name : {"png.bmp", "empty.jpg", "text.gif", "truncated.jpg", "huge.bmp", "dir.bmp", "fifo.bmp"})
        EXPECT_EQ(errorOf([&] { loadPicture(dir.file(name)); }), ErrorCode::InvalidPicture) << name;
    EXPECT_EQ(errorOf([&] { loadPicture(dir.file("missing.bmp")); }), ErrorCode::FileNotFound);
    EXPECT_EQ(errorOf([&] { loadPicture(QString()); }), ErrorCode::FileNotFound);
}

TEST(PictureLoader, APageOverAGigabyteLoadsWhereTheMachineHasTheMemory)
{
#ifdef VISTORAMO_ASAN
    GTEST_SKIP() << "a page this large is too much for the address sanitizer's shadow memory";
#else
    // Two thirds of an A4 page at 2400 dpi in colour: 1.1 GB in memory, over what was once a
    // fixed limit of 1 GB.
    QFile meminfo("/proc/meminfo");
    ASSERT_TRUE(meminfo.open(QIODevice::ReadOnly));
    const qint64 availableMB
        = QString(meminfo.readAll()).section("MemAvailable:", 1).trimmed().section(' ', 0, 0).toLongLong() / 1024;
    if (availableMB < 6 * 1024)
        GTEST_SKIP() << "this machine has only " << availableMB << " MB free";
    EXPECT_GE(rt::pictureAllocationLimitMB(), availableMB / 2);
    bmp::Header header;
    header.width = 19843;
    header.height = -18500;
    header.bitsPerPixel = 24;
    std::vector<unsigned char> head(header.pixelOffset());
    header.write(head.data());
    ProgramDir dir;
    QFile file(dir.file("gross.bmp"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(reinterpret_cast<const char *>(head.data()), static_cast<qint64>(head.size()));
    ASSERT_TRUE(file.resize(static_cast<qint64>(header.fileSize()))); // the pixels: zeros, without using the disk
    file.close();
    const Picture page = loadPicture(file.fileName());
    EXPECT_EQ(page.image().size(), QSize(19843, 18500));
    EXPECT_EQ(page.image().pixel(19842, 18499), qRgb(0, 0, 0));
#endif
}
