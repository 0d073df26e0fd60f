// The option form shows the device's new values, ranges and states in the fields it has,
// and builds new fields only when the device offers other options.

#include "scanlib/client/OptionForm.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
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

} // namespace
} // namespace scanlib
