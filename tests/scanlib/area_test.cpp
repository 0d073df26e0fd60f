// The scan area in millimetres: snapping, the order edges are set in, the paper sizes a
// glass holds, and the settings of a quick look at the whole glass.

#include "scanlib/client/ScanArea.h"

#include <QStringList>

#include <gtest/gtest.h>

namespace scanlib {
namespace {

OptionInfo edge(int index, const char *name, double value)
{
    OptionInfo o;
    o.index = index;
    o.name = name;
    o.type = OptionType::Fixed;
    o.unit = OptionUnit::Mm;
    o.size = 4;
    o.constraint = Constraint::Range;
    o.min = 0;
    o.max = 200;
    o.quant = 1;
    o.hasValue = true;
    o.numbers = {value};
    return o;
}

// SANE's test scanner: a 200 mm square glass in whole millimetres, 80 × 100 mm set.
OptionList testScanner()
{
    OptionInfo mode;
    mode.index = 1;
    mode.name = names::mode;
    mode.type = OptionType::String;
    mode.size = 8;
    mode.constraint = Constraint::StringList;
    mode.strings = {"Gray", "Color"};
    mode.hasValue = true;
    mode.text = "Gray";
    OptionInfo dpi = edge(2, names::resolution, 300);
    dpi.type = OptionType::Int;
    dpi.unit = OptionUnit::Dpi;
    dpi.min = 1;
    dpi.max = 1200;
    return {mode, dpi, edge(3, names::tlX, 0), edge(4, names::tlY, 0), edge(5, names::brX, 80), edge(6, names::brY, 100)};
}

TEST(ScanArea, SnapsToTheStepsAndSetsTheEdgesInAnOrderThatNeverCrosses)
{
    const auto area = ScanArea::of(testScanner());
    ASSERT_TRUE(area);
    EXPECT_EQ(area->glass(), QRectF(0, 0, 200, 200));
    EXPECT_EQ(area->area(), QRectF(0, 0, 80, 100));
    EXPECT_EQ(area->snapped(QRectF(10.4, 20.6, 50.2, 30.3)), QRectF(QPointF(10, 21), QPointF(61, 51)));
    EXPECT_EQ(area->snapped(QRectF(150, 10, 90, 10)), QRectF(QPointF(150, 10), QPointF(200, 20))) << "kept on the glass";
    // Moving right beyond the old right edge: the right edge first, else the device refuses.
    using Steps = std::vector<std::pair<int, double>>;
    EXPECT_EQ(area->settingsFor(QRectF(90, 0, 30, 100)), (Steps{{5, 120}, {3, 90}}));
    EXPECT_EQ(area->settingsFor(QRectF(10, 5, 20, 50)), (Steps{{3, 10}, {5, 30}, {4, 5}, {6, 55}}));

    OptionList noArea = testScanner();
    noArea[5].isActive = false;
    EXPECT_FALSE(ScanArea::of(noArea));
}

// Paper sizes the glass does not hold are not offered; the others lie at its top left. A
// preview asks for colour, the lowest resolution that fills the pane and the whole glass,
// its edges outwards first.
TEST(ScanArea, OffersWhatTheGlassHoldsAndPreviewsTheWholeGlass)
{
    const auto keys = [](const ScanArea &area) {
        QStringList found;
        for (const PaperSize &p : area.formats())
            found << p.key;
        return found;
    };
    OptionList options = testScanner();
    const auto square = ScanArea::of(options);
    EXPECT_TRUE(keys(*square).contains("A6") && !keys(*square).contains("A4") && !keys(*square).contains("A5"));
    OptionList legal = testScanner();
    for (std::size_t i = 2; i < 6; ++i)
        legal[i].max = i % 2 == 0 ? 216 : 356;
    const auto large = ScanArea::of(legal);
    EXPECT_TRUE(keys(*large).contains("A4") && keys(*large).contains("Legal")) << keys(*large).join(',').toStdString();
    EXPECT_EQ(large->placed(large->formats()[2]), QRectF(0, 0, 210, 297));

    const std::vector<wire::OptionValue> settings = square->previewSettings(options, 1.8); // 45.72 dpi
    ASSERT_EQ(settings.size(), 6u);
    EXPECT_EQ(settings[0].text, QByteArray("Color"));
    EXPECT_EQ(settings[1].number, 46);
    const std::vector<std::pair<int, double>> whole{{3, 0}, {4, 0}, {5, 200}, {6, 200}};
    for (std::size_t i = 0; i < whole.size(); ++i)
        EXPECT_EQ(std::make_pair(settings[2 + i].index, settings[2 + i].number), whole[i]);
    OptionInfo listed = options[1];
    listed.constraint = Constraint::WordList;
    listed.words = {300, 75, 150};
    EXPECT_EQ(resolutionAtLeast(listed, 100), 150);
    EXPECT_EQ(resolutionAtLeast(listed, 400), 300) << "the highest when none is enough";
    EXPECT_EQ(sizeText(QRectF(0, 0, 215.9, 279.4), 300), QStringLiteral("215,9 × 279,4 mm, 2550 × 3300 Bildpunkte"));
}

} // namespace
} // namespace scanlib
