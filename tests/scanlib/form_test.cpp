// The option form shows the device's new values, ranges and states in the fields it has,
// and builds new fields only when the device offers other options; it writes numbers and
// names options as people read them, screen readers included.

#include "scanlib/client/OptionForm.h"
#include "scanlib/wire/Catalogue.h"

#include <QAccessible>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <gtest/gtest.h>

namespace scanlib {
namespace {

OptionInfo number(int index, const char *name, OptionType type, double value, double min, double max)
{
    OptionInfo o;
    o.index = index;
    o.name = name;
    o.title = name;
    o.type = type;
    o.size = 4;
    o.constraint = Constraint::Range;
    o.min = min;
    o.max = max;
    o.hasValue = true;
    o.numbers = {value};
    return o;
}

TEST(OptionForm, ShowsNewValuesRangesAndStatesInTheFieldsItHas)
{
    OptionInfo text;
    text.index = 4;
    text.name = "label";
    text.type = OptionType::String;
    text.size = 32;
    text.hasValue = true;
    text.text = "eins";
    OptionList options
        = {number(1, "read-limit", OptionType::Bool, 0, 0, 0), number(2, "read-limit-size", OptionType::Int, 10, 1, 64),
           number(3, "tl-x", OptionType::Fixed, 0, 0, 200), text};
    options[0].constraint = Constraint::None;
    options[1].isActive = false;
    std::vector<std::pair<int, QVariant>> reported;
    OptionForm form;
    form.changed = [&](int index, QVariant value) { reported.emplace_back(index, value); };
    form.showOptions(options);
    auto *limit = form.findChild<QCheckBox *>(QStringLiteral("read-limit"));
    auto *size = form.findChild<QSpinBox *>(QStringLiteral("read-limit-size"));
    auto *left = form.findChild<QDoubleSpinBox *>(QStringLiteral("tl-x"));
    auto *edit = form.findChild<QLineEdit *>(QStringLiteral("label"));
    ASSERT_TRUE(limit && size && left && edit);
    EXPECT_FALSE(size->isEnabled());

    // The device turns the size on and narrows the ranges: the same fields show it.
    options[0].numbers = {1};
    options[1].isActive = true;
    options[1].max = 32;
    options[1].numbers = {20};
    options[2].max = 180;
    options[2].numbers = {150};
    options[3].text = "zwei";
    form.showOptions(options);
    EXPECT_EQ(form.findChild<QSpinBox *>(QStringLiteral("read-limit-size")), size) << "rebuilt although nothing was added";
    EXPECT_TRUE(limit->isChecked());
    EXPECT_TRUE(size->isEnabled());
    EXPECT_EQ(size->maximum(), 32);
    EXPECT_EQ(size->value(), 20);
    EXPECT_EQ(left->maximum(), 180);
    EXPECT_EQ(left->value(), 150);
    EXPECT_EQ(edit->text(), QStringLiteral("zwei"));
    EXPECT_TRUE(reported.empty()) << "showing a value reported it back";

    // Another set of options: new fields.
    options.push_back(number(5, "depth", OptionType::Int, 8, 1, 16));
    form.showOptions(options);
    EXPECT_NE(form.findChild<QWidget *>(QStringLiteral("depth")), nullptr);
    EXPECT_TRUE(form.findChild<QSpinBox *>(QStringLiteral("read-limit-size"))->isEnabled());
}

QStringList entriesOf(const OptionForm &form, const char *name)
{
    QStringList entries;
    if (auto *combo = form.findChild<QComboBox *>(QString::fromLatin1(name)))
        for (int i = 0; i < combo->count(); ++i)
            entries << combo->itemText(i);
    return entries;
}

TEST(OptionForm, NumbersAreWrittenTheGermanWayWithoutExponentsOrEmptyDecimals)
{
    OptionInfo ints = number(1, "int-constraint-word-list", OptionType::Int, 0, 0, 0);
    ints.unit = OptionUnit::Bit;
    ints.constraint = Constraint::WordList;
    ints.words = {-42, 0, 65536, 16777216, 1073741824};
    OptionInfo fixed = number(2, "fixed-constraint-word-list", OptionType::Fixed, 42, 0, 0);
    fixed.constraint = Constraint::WordList;
    fixed.words = {-32.7 + 1.0 / 65536, 12.1 - 0.5 / 65536, 42, 129.5}; // as a device's fixed point gives them
    OptionInfo area = number(3, "tl-x", OptionType::Fixed, 12345.5, 0, 99999);
    area.unit = OptionUnit::Mm;
    area.quant = 0.5;
    OptionInfo whole = number(4, "br-x", OptionType::Fixed, 210, 0, 99999);
    whole.unit = OptionUnit::Mm;
    OptionInfo table = number(5, "gamma-table", OptionType::Int, 0, 0, 255);
    table.size = 4096 * 4;
    OptionForm form;
    form.showOptions({ints, fixed, area, whole, table});
    EXPECT_EQ(entriesOf(form, "int-constraint-word-list"),
              (QStringList{"-42 Bit", "0 Bit", "65.536 Bit", "16.777.216 Bit", "1.073.741.824 Bit"}));
    EXPECT_EQ(entriesOf(form, "fixed-constraint-word-list"), (QStringList{"-32,7", "12,1", "42", "129,5"}));
    EXPECT_EQ(form.findChild<QDoubleSpinBox *>(QStringLiteral("tl-x"))->text(), QStringLiteral("12.345,5 mm"));
    EXPECT_EQ(form.findChild<QDoubleSpinBox *>(QStringLiteral("br-x"))->text(), QStringLiteral("210 mm"));
    auto *count = form.findChild<QLabel *>(QStringLiteral("gamma-table"));
    ASSERT_NE(count, nullptr);
    EXPECT_EQ(count->text(), QStringLiteral("4.096 Werte"));
}

TEST(OptionForm, WellKnownOptionsHaveTitlesOfOurOwnAndTheRestTheCatalogues)
{
    OptionInfo mode;
    mode.index = 1;
    mode.name = "mode";
    mode.title = "Scan mode";
    mode.description = "Selects the scan mode (e.g., lineart, monochrome, or color).";
    mode.type = OptionType::String;
    mode.size = 32;
    mode.constraint = Constraint::StringList;
    mode.strings = {"Lineart", "Color"};
    mode.hasValue = true;
    mode.text = "Color";
    OptionInfo source = mode;
    source.index = 2;
    source.name = "source";
    source.title = "Scan source";
    source.strings = {"ADF", "Automatic Document Feeder", "Flatbed"};
    source.text = "Flatbed";
    OptionInfo delay = number(3, "read-delay", OptionType::Bool, 0, 0, 0);
    delay.title = "Read delay";
    delay.description = "Delay the transfer of <b>data</b> to the pipe &amp; more.\nSecond line.";
    OptionForm form;
    form.showOptions({mode, source, delay});

    auto labelOf = [&](const char *name) {
        auto *field = form.findChild<QWidget *>(QString::fromLatin1(name));
        for (auto *label : form.findChildren<QLabel *>())
            if (field && label->buddy() == field)
                return label;
        return static_cast<QLabel *>(nullptr);
    };
    // Ours for the well-known options, entries included; the catalogue's for all others.
    ASSERT_TRUE(labelOf("mode") && labelOf("source") && labelOf("read-delay")) << "a label is not bound to its field";
    EXPECT_NE(labelOf("mode")->text(), trSane("Scan mode"));
    EXPECT_NE(labelOf("source")->text(), trSane("Scan source"));
    EXPECT_NE(entriesOf(form, "mode").front(), trSane("Lineart"));
    const QStringList sources = entriesOf(form, "source");
    EXPECT_EQ(sources[0], sources[1]) << "two names of the feeder read differently";
    EXPECT_EQ(labelOf("read-delay")->text(), trSane("Read delay"));

    // Screen readers name the drop-down by its title, not by its entry, and read plain text.
    auto *combo = form.findChild<QComboBox *>(QStringLiteral("mode"));
    QAccessibleInterface *named = QAccessible::queryAccessibleInterface(combo);
    ASSERT_NE(named, nullptr);
    EXPECT_EQ(named->text(QAccessible::Name), labelOf("mode")->text());
    EXPECT_EQ(named->text(QAccessible::Value), combo->currentText());
    const QString description = QAccessible::queryAccessibleInterface(form.findChild<QWidget *>(QStringLiteral("read-delay")))
                                    ->text(QAccessible::Description);
    EXPECT_TRUE(description.contains(QStringLiteral("data to the pipe & more.\nSecond"))) << description.toStdString();
    EXPECT_EQ(QAccessible::queryAccessibleInterface(labelOf("read-delay"))->text(QAccessible::Description), description);
}

} // namespace
} // namespace scanlib
