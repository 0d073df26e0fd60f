// The acquisition dialog's preview pane on SANE's test scanner: the frame on the pane and the
// four area fields agree both ways as the device snaps them, paper sizes set the fields, a
// preview shows the glass and leaves the user's settings as they were, and the scan of an
// area dragged on the pane is that area.

#include "ScanTestSupport.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <gtest/gtest.h>

namespace {

struct TestScanners : testing::Environment {
    void SetUp() override { useSaneConfig(Backends::TestOnly); }
};
const auto *const environment = testing::AddGlobalTestEnvironment(new TestScanners);

class Preview : public FreshDialogTest { };

double field(QDialog &d, const char *name)
{
    auto *spin = d.findChild<QDoubleSpinBox *>(QString::fromLatin1(name));
    return spin ? spin->value() : -1;
}

QRectF fields(QDialog &d)
{
    return {QPointF(field(d, "tl-x"), field(d, "tl-y")), QPointF(field(d, "br-x"), field(d, "br-y"))};
}

QRectF paneArea(const QWidget &pane)
{
    return pane.property("area").toRectF();
}

// Where a point of the glass, in millimetres, lies on the pane.
QPoint onPane(const QWidget &pane, QPointF mm)
{
    const QRectF shown = pane.property("glassOnPane").toRectF(), glass = pane.property("glass").toRectF();
    const double s = shown.width() / glass.width();
    return QPoint(int(std::lround(shown.left() + (mm.x() - glass.left()) * s)),
                  int(std::lround(shown.top() + (mm.y() - glass.top()) * s)));
}

void drag(QWidget &pane, QPoint from, QPoint to)
{
    QTest::mousePress(&pane, Qt::LeftButton, {}, from);
    for (int i = 1; i <= 8; ++i)
        QTest::mouseMove(&pane, from + (to - from) * i / 8);
    QTest::mouseRelease(&pane, Qt::LeftButton, {}, to);
}

TEST_F(Preview, TheFrameAndTheFieldsAgreeBothWaysAsTheDeviceSnapsThem)
{
    acquire(path("unused.bmp"), [&](QDialog &d) {
        ASSERT_TRUE(waitForOptions(d));
        ASSERT_TRUE(applySettings(d, baseline()));
        auto *pane = d.findChild<QWidget *>(QStringLiteral("preview"));
        ASSERT_NE(pane, nullptr);
        ASSERT_TRUE(waitFor([&] { return pane->isVisible() && !pane->property("glassOnPane").toRectF().isEmpty(); }));
        EXPECT_EQ(paneArea(*pane), QRectF(0, 0, 80, 100));

        // Drawn outside the frame from (90.3, 110.6) to (170.2, 150.4) mm: whole millimetres on
        // the device.
        drag(*pane, onPane(*pane, {90.3, 110.6}), onPane(*pane, {170.2, 150.4}));
        ASSERT_TRUE(waitFor([&] { return field(d, "br-x") != 80; }, 10000));
        ASSERT_TRUE(waitFor([&] { return fields(d) == paneArea(*pane); }, 10000));
        const QRectF dragged = fields(d);
        EXPECT_NEAR(dragged.left(), 90.3, 1.5);
        EXPECT_NEAR(dragged.bottom(), 150.4, 1.5);
        for (double v : {dragged.left(), dragged.top(), dragged.right(), dragged.bottom()})
            EXPECT_EQ(v, std::round(v)) << "snapped to the device's steps";
        auto *format = d.findChild<QComboBox *>(QStringLiteral("format"));
        ASSERT_NE(format, nullptr);
        EXPECT_EQ(format->currentText(), QStringLiteral("Benutzerdefiniert"));

        // A field edited: the frame follows.
        ASSERT_TRUE(applySettings(d, {{"tl-y", "12"}}));
        EXPECT_TRUE(waitFor([&] { return paneArea(*pane).top() == 12; }, 10000))
            << paneArea(*pane).top() << " fields " << fields(d).top();

        // Keys: an arrow moves the area by a millimetre, Ctrl moves its lower right corner.
        const QRectF before = paneArea(*pane);
        pane->setFocus();
        QTest::keyClick(pane, Qt::Key_Right);
        QTest::keyClick(pane, Qt::Key_Down, Qt::ControlModifier | Qt::ShiftModifier);
        EXPECT_TRUE(waitFor([&] { return fields(d) == before.translated(1, 0).adjusted(0, 0, 0, 10); }, 10000))
            << fields(d).top() << " " << fields(d).bottom();

        // A paper size sets the four fields; the size reads in German.
        const int a6 = format->findData(QStringLiteral("A6"));
        ASSERT_GE(a6, 0);
        EXPECT_LT(format->findData(QStringLiteral("A4")), 0) << "A4 is larger than the test scanner's glass";
        format->setCurrentIndex(a6);
        emit format->activated(a6);
        EXPECT_TRUE(waitFor([&] { return fields(d) == QRectF(0, 0, 105, 148); }, 10000));
        EXPECT_EQ(paneArea(*pane), QRectF(0, 0, 105, 148));
        EXPECT_EQ(d.findChild<QLabel *>(QStringLiteral("areaSize"))->text(),
                  QStringLiteral("105 × 148 mm, 207 × 291 Bildpunkte"));
        EXPECT_EQ(format->currentText(), QStringLiteral("A6"));
        // Double-click: the whole glass.
        QTest::mouseDClick(pane, Qt::LeftButton, {}, onPane(*pane, {50, 50}));
        EXPECT_TRUE(waitFor([&] { return fields(d) == QRectF(0, 0, 200, 200); }, 10000));
        EXPECT_EQ(format->currentText(), QStringLiteral("Benutzerdefiniert"));
        pressButton(d, "cancel");
    });
}

} // namespace

namespace {

TEST_F(Preview, ThePaperSizeIsRememberedForTheDeviceWithItsArea)
{
    const auto chooseFormat = [](QDialog &d, const char *key) {
        auto *format = d.findChild<QComboBox *>(QStringLiteral("format"));
        const int at = format ? format->findData(QString::fromLatin1(key)) : -1;
        ASSERT_GE(at, 0) << key;
        format->setCurrentIndex(at);
        emit format->activated(at);
    };
    acquire(path("unused.bmp"), [&](QDialog &d) {
        ASSERT_TRUE(waitForOptions(d));
        chooseFormat(d, "Foto10x15");
        ASSERT_TRUE(waitFor([&] { return fields(d) == QRectF(0, 0, 100, 150); }, 10000));
        pressButton(d, "cancel");
    });
    acquire(path("unused.bmp"), [&](QDialog &d) {
        ASSERT_TRUE(waitForOptions(d));
        EXPECT_EQ(d.findChild<QComboBox *>(QStringLiteral("format"))->currentData().toString(), QStringLiteral("Foto10x15"));
        EXPECT_EQ(fields(d), QRectF(0, 0, 100, 150));
        pressButton(d, "cancel");
    });
}

} // namespace
