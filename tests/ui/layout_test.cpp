// Layout and scrolling: ranges, visibility thresholds, the two sizing passes, minimising,
// windows too small for the layout and pictures far beyond 16-bit sizes.

#include "TestSupport.h"
#include "base/Rounding.h"
#include "runtime/System.h"
#include "runtime/Units.h"
#include "ui/Root.h"

#include <QApplication>
#include <QPaintEvent>
#include <QScrollBar>
#include <QTest>
#include <QWheelEvent>
#include <gtest/gtest.h>

namespace {

void dragToEnd(rt::ScrollBar &bar)
{
    QScrollBar *b = bar.bar();
    b->setSliderDown(true);
    b->setSliderPosition(b->maximum());
    b->setSliderDown(false);
}

void showActive(Root &root)
{
    root.show();
    root.clientWidget()->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(root.clientWidget()));
}

} // namespace

TEST(ScrollReading, RangesFollowTheViewportThePictureAndTheWindow)
{
    ProgramDir dir;
    Root root;
    root.setHeight(900);
    root.Picture1.setHeight(500);
    root.Picture2.setHeight(900);
    root.Scroll_Reading();
    EXPECT_EQ(root.VScroll1.max(), -400);
    EXPECT_EQ(root.VScroll1.min(), 0);
    EXPECT_EQ(root.VScroll1.largeChange(), 900);
    EXPECT_EQ(root.VScroll1.smallChange(), 90);
    dragToEnd(root.VScroll1);
    EXPECT_EQ(root.VScroll1.value(), -400);
    EXPECT_FLOAT_EQ(root.Picture2.top(), -400);

    root.setHeight(6500);
    root.Picture1.setHeight(900);
    root.Scroll_Reading();
    EXPECT_EQ(root.VScroll1.max(), 0); // exactly as high as the viewport
    EXPECT_EQ(root.VScroll1.largeChange(), 6500);
    EXPECT_EQ(root.VScroll1.smallChange(), 650);
    EXPECT_FLOAT_EQ(root.Picture2.top(), 0); // pulled back with the value

    root.setWidth(6525); // a tenth of it lies halfway: 652.5 rounds to 652
    root.Scroll_Reading();
    EXPECT_EQ(root.HScroll1.smallChange(), 652);
    root.setWidth(6535);
    root.Scroll_Reading();
    EXPECT_EQ(root.HScroll1.smallChange(), 654);
}

TEST(ScrollReading, AShrunkRangePullsValueAndPictureBackAtOnce)
{
    ProgramDir dir;
    Root root;
    root.Picture1.setHeight(500);
    root.Picture2.setHeight(1500);
    root.Scroll_Reading();
    root.VScroll1.setValue(-800);
    EXPECT_FLOAT_EQ(root.Picture2.top(), -800);
    root.Picture2.setHeight(800);
    root.Scroll_Reading();
    EXPECT_EQ(root.VScroll1.max(), -300);
    EXPECT_EQ(root.VScroll1.value(), -300);
    EXPECT_FLOAT_EQ(root.Picture2.top(), -300);
}

TEST(Scrolling, ArrowsAndTrackMoveThePictureAndTheFocusGoesToTheViewport)
{
    ProgramDir dir;
    dir.writeImage("Rastelo.bmp", patternImage(1000, 900), "BMP");
    Root root;
    showActive(root);
    ASSERT_TRUE(root.VScroll1.isVisible());
    const std::int32_t small = root.VScroll1.smallChange();
    const std::int32_t large = root.VScroll1.largeChange();
    root.BAblage.setFocus();
    root.VScroll1.bar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    EXPECT_FLOAT_EQ(root.Picture2.top(), static_cast<float>(-small));
    EXPECT_EQ(QApplication::focusWidget(), root.Picture1.widget());
    root.VScroll1.bar()->triggerAction(QAbstractSlider::SliderPageStepAdd);
    EXPECT_FLOAT_EQ(root.Picture2.top(), static_cast<float>(std::max(-small - large, root.VScroll1.max())));
    for (int i = 0; i < 20; ++i)
        root.VScroll1.bar()->triggerAction(QAbstractSlider::SliderPageStepAdd);
    EXPECT_EQ(root.VScroll1.value(), root.VScroll1.max()); // stops at the end
    EXPECT_FLOAT_EQ(root.Picture2.top(), static_cast<float>(root.VScroll1.max()));

    // While the thumb is dragged, the picture follows before the release.
    QScrollBar *h = root.HScroll1.bar();
    h->setSliderDown(true);
    h->setSliderPosition(h->maximum() / 2);
    EXPECT_FLOAT_EQ(root.Picture2.left(), static_cast<float>(root.HScroll1.value()));
    EXPECT_LT(root.Picture2.left(), 0.0f);
    h->setSliderDown(false);
}

TEST(Layout, ABarShowsOnlyWhenThePictureIsLargerThanTheViewport)
{
    ProgramDir dir;
    Root root;
    root.show();
    root.Picture2.setWidth(1000);
    root.HScroll1.setVisible(false);
    root.Picture2.setHeight(6500 - 1020 + 1);
    root.Form_Resize();
    EXPECT_TRUE(root.VScroll1.isVisible());
    root.Picture2.setHeight(6500 - 1020);
    root.Form_Resize();
    EXPECT_FALSE(root.VScroll1.isVisible());
    EXPECT_FLOAT_EQ(root.Picture1.height(), 5480);
    EXPECT_FLOAT_EQ(root.Picture1.width(), 8260);
}

TEST(Layout, BothBarsHideForASmallPictureAndTheRangesFollowTheSecondPassViewport)
{
    ProgramDir dir;
    Root root; // at its design size, both bars visible, the empty 7530 x 4650 picture
    root.Form_Resize();
    EXPECT_FALSE(root.VScroll1.isVisible());
    EXPECT_FALSE(root.HScroll1.isVisible());
    EXPECT_FLOAT_EQ(root.Picture1.width(), 9570 - 500 + 260);
    EXPECT_FLOAT_EQ(root.Picture1.height(), 7245 - 1250 + 230);
    EXPECT_EQ(root.HScroll1.max(), 9570 - 240 - 7530);
    EXPECT_EQ(root.VScroll1.max(), 7245 - 1020 - 4650);
    EXPECT_FLOAT_EQ(root.VScroll1.left(), 9570 - 410);
    EXPECT_FLOAT_EQ(root.HScroll1.top(), 7245 - 800);
    EXPECT_FLOAT_EQ(root.PResize.left(), 9570 - 345);
    EXPECT_FLOAT_EQ(root.PResize.top(), 7245 - 600);
}

TEST(Layout, BetweenTheTwoOffsetsTheBarsSwapOnEveryRun)
{
    ProgramDir dir;
    Root root;
    root.show();
    root.Picture2.setHeight(5400); // in (6500 - 1250, 6500 - 1020]
    root.Picture2.setWidth(8100); // in (8500 - 500, 8500 - 240]
    root.VScroll1.setVisible(true);
    root.HScroll1.setVisible(false);
    root.Form_Resize();
    EXPECT_FALSE(root.VScroll1.isVisible());
    EXPECT_TRUE(root.HScroll1.isVisible());
    root.Form_Resize();
    EXPECT_TRUE(root.VScroll1.isVisible());
    EXPECT_FALSE(root.HScroll1.isVisible());
    for (bool both : {true, false}) {
        root.VScroll1.setVisible(both);
        root.HScroll1.setVisible(both);
        root.Form_Resize();
        EXPECT_EQ(root.VScroll1.isVisible(), both);
        EXPECT_EQ(root.HScroll1.isVisible(), both);
    }
}

TEST(Layout, AMinimisedWindowIsLeftAloneAndRestoringLaysItOut)
{
    ProgramDir dir;
    Root root;
    root.show();
    root.clientWidget()->showMinimized();
    ASSERT_EQ(root.windowState(), rt::Form::Minimized);
    root.Picture2.setHeight(20000);
    root.Form_Resize();
    EXPECT_FALSE(root.VScroll1.isVisible());
    root.clientWidget()->showNormal();
    EXPECT_TRUE(root.VScroll1.isVisible());
    EXPECT_EQ(root.VScroll1.max(), 6500 - 1020 - 20000);
}

TEST(Layout, AWindowSmallerThanTheOffsetsSkipsThoseStepsOnly)
{
    ProgramDir dir;
    Root root;
    root.show();
    const float viewportHeight = root.Picture1.height();
    root.setHeight(1000);
    EXPECT_FLOAT_EQ(root.Picture1.height(), viewportHeight); // 1000 - 1020 refused
    EXPECT_FLOAT_EQ(root.HScroll1.top(), 200);
    EXPECT_FLOAT_EQ(root.PResize.top(), 400);
    root.setWidth(200);
    EXPECT_FLOAT_EQ(root.VScroll1.left(), -210);
    EXPECT_FLOAT_EQ(root.PResize.left(), -145);
    EXPECT_FLOAT_EQ(root.Picture1.width(), 8260); // 200 - 240 refused
}

TEST(Layout, AScanSizedStartPictureScrollsToEveryEdge)
{
    // An A4 page at 600 dpi: 74 400 x 105 240 twips, far beyond 16-bit ranges.
    ProgramDir dir;
    const QImage page = patternImage(4960, 7016);
    dir.writeImage("Rastelo.bmp", page, "BMP");
    Root root;
    showActive(root);
    ASSERT_TRUE(root.VScroll1.isVisible());
    ASSERT_TRUE(root.HScroll1.isVisible());
    EXPECT_FLOAT_EQ(root.Picture2.left(), 0);
    EXPECT_FLOAT_EQ(root.Picture2.top(), 0);
    QImage shot = root.Picture1.widget()->grab().toImage();
    EXPECT_EQ(shot.pixel(0, 0), page.pixel(0, 0));

    dragToEnd(root.VScroll1);
    dragToEnd(root.HScroll1);
    EXPECT_EQ(root.VScroll1.max(), rt::to32(root.Picture1.height() - 105240.0f));
    EXPECT_FLOAT_EQ(root.Picture2.top(), static_cast<float>(root.VScroll1.max()));
    EXPECT_FLOAT_EQ(root.Picture2.left(), static_cast<float>(root.HScroll1.max()));
    shot = root.Picture1.widget()->grab().toImage();
    const int w = shot.width(), h = shot.height();
    EXPECT_EQ(shot.pixel(w - 1, h - 1), page.pixel(4959, 7015));
    EXPECT_EQ(shot.pixel(0, h - 1), page.pixel(4960 - w, 7015));
    EXPECT_EQ(shot.pixel(w - 1, 0), page.pixel(4959, 7016 - h));
}

namespace {
// Adds up the area of every region the picture is asked to paint.
struct PaintedArea : QObject {
    qint64 area = 0;
    bool eventFilter(QObject *, QEvent *e) override
    {
        if (e->type() == QEvent::Paint)
            for (const QRect &r : static_cast<QPaintEvent *>(e)->region())
                area += qint64{r.width()} * r.height();
        return false;
    }
};
} // namespace

TEST(Scrolling, AStepRepaintsOnlyTheUncoveredStrip)
{
    ProgramDir dir;
    dir.writeImage("Rastelo.bmp", patternImage(2000, 3000), "BMP");
    Root root;
    showActive(root);
    QApplication::processEvents();
    PaintedArea painted;
    root.Picture2.widget()->installEventFilter(&painted);
    root.VScroll1.bar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    QApplication::processEvents();
    const QSize viewport = root.Picture1.widget()->size();
    const int stepPx = rt::toPixels(root.VScroll1.smallChange());
    EXPECT_GT(painted.area, 0);
    EXPECT_LE(painted.area, qint64{viewport.width()} * (stepPx + 2));
}

namespace {
void ctrlWheel(QWidget *over, int notches)
{
    const QPoint at(10, 10);
    QWheelEvent e(at, over->mapToGlobal(at), QPoint(), QPoint(0, 120 * notches), Qt::NoButton, Qt::ControlModifier,
                  Qt::NoScrollPhase, false);
    QApplication::sendEvent(over, &e);
}
} // namespace

// Over every bar state the layout may find, several window sizes and the zoom reached with
// Ctrl+wheel: a bar shows exactly when the picture is larger than the viewport, and with the
// shown bars at Max the picture's right and bottom edges meet the viewport's.
TEST(Layout, BarsShowOnlyWhenNeededAndTheFarEdgesAreReachableAtMax)
{
    ProgramDir dir;
    struct Need {
        const char *name;
        bool wide, tall;
    };
    const Need needs[] = {{"no bar", false, false},
                          {"only the bottom bar", true, false},
                          {"only the right bar", false, true},
                          {"both bars", true, true}};
    const QSize windows[] = {{8500, 6500}, {6000, 4500}, {12000, 9000}};
    const struct {
        int notches;
        double zoom;
    } zooms[] = {{0, 1.0}, {-2, 0.5}, {2, 2.0}};
    const bool barStates[][2] = {{false, false}, {true, true}, {true, false}, {false, true}};

    for (const QSize window : windows)
        for (const Need &need : needs)
            for (const auto &z : zooms) {
                SCOPED_TRACE(testing::Message()
                             << need.name << " in " << window.width() << " x " << window.height() << " at zoom " << z.zoom);
                Root root;
                root.show();
                root.setWidth(static_cast<float>(window.width()));
                root.setHeight(static_cast<float>(window.height()));
                // Well clear of the band between the offsets with and without a bar.
                const double w = need.wide ? window.width() + 300 : window.width() - 800;
                const double h = need.tall ? window.height() + 300 : window.height() - 1550;
                const double tpp = rt::twipsPerPixel();
                root.Picture2.setPicture(rt::Picture(patternImage(qRound(w / z.zoom / tpp), qRound(h / z.zoom / tpp))));
                ctrlWheel(root.Picture1.widget(), z.notches);
                ASSERT_DOUBLE_EQ(root.Picture2.zoom(), z.zoom);

                for (const auto &bars : barStates) {
                    SCOPED_TRACE(testing::Message() << "bars before: right " << bars[0] << ", bottom " << bars[1]);
                    root.VScroll1.setVisible(bars[0]);
                    root.HScroll1.setVisible(bars[1]);
                    root.Form_Resize();
                    EXPECT_EQ(root.VScroll1.isVisible(), need.tall);
                    EXPECT_EQ(root.HScroll1.isVisible(), need.wide);
                    if (need.tall)
                        root.VScroll1.setValue(root.VScroll1.max());
                    if (need.wide)
                        root.HScroll1.setValue(root.HScroll1.max());
                    const float right = root.Picture2.left() + root.Picture2.width();
                    const float bottom = root.Picture2.top() + root.Picture2.height();
                    if (need.wide)
                        EXPECT_NEAR(right, root.Picture1.width(), 0.5f);
                    else
                        EXPECT_LE(right, root.Picture1.width());
                    if (need.tall)
                        EXPECT_NEAR(bottom, root.Picture1.height(), 0.5f);
                    else
                        EXPECT_LE(bottom, root.Picture1.height());
                    root.VScroll1.setValue(0);
                    root.HScroll1.setValue(0);
                }
            }
}
