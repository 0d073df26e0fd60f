// What assistive technology learns of the window through Qt's accessibility interfaces:
// each control's name, role and, for the picture, a description that follows the picture.

#include "TestSupport.h"
#include "ui/Root.h"

#include <QAccessible>
#include <QAccessibleInterface>
#include <gtest/gtest.h>

namespace {
QAccessibleInterface &accessible(const rt::Control &control)
{
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(control.widget());
    if (!iface)
        throw std::runtime_error("no accessible interface");
    return *iface;
}

QString description(const rt::Control &control)
{
    return accessible(control).text(QAccessible::Description);
}
} // namespace

TEST(Accessibility, EveryControlHasItsNameAndRoleAndTheWindowIsAFrame)
{
    Root root;
    struct Row {
        const rt::Control &control;
        const char *name;
        QAccessible::Role role;
    };
    const Row rows[] = {
        {root.BGerät, "Geräte", QAccessible::Button},
        {root.BScannen, "Bilddatei", QAccessible::Button},
        {root.BAblage, "Ablage", QAccessible::Button},
        {root.Picture1, "Bildansicht", QAccessible::Graphic},
        {root.Picture2, "Bild", QAccessible::Graphic},
        {root.VScroll1, "Bildlauf senkrecht", QAccessible::ScrollBar},
        {root.HScroll1, "Bildlauf waagerecht", QAccessible::ScrollBar},
        {root.PResize, "Größe ändern", QAccessible::Graphic},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(accessible(row.control).text(QAccessible::Name), QString::fromUtf8(row.name));
        EXPECT_EQ(accessible(row.control).role(), row.role);
    }
    QAccessibleInterface *window = QAccessible::queryAccessibleInterface(root.clientWidget());
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->role(), QAccessible::Window);
    EXPECT_EQ(window->text(QAccessible::Name).trimmed(), QStringLiteral("Vistoramo"));
    // The grip's picture is no picture of the user's: it tells nothing of its size.
    EXPECT_TRUE(description(root.PResize).isEmpty());
}

TEST(Accessibility, ThePicturesDescriptionFollowsThePicture)
{
    Root root;
    EXPECT_EQ(description(root.Picture1), QStringLiteral("kein Bild"));
    EXPECT_EQ(description(root.Picture2), QStringLiteral("kein Bild"));
    root.Picture2.setPicture(rt::Picture(patternImage(250, 350), {11811, 11811}));
    EXPECT_EQ(description(root.Picture1), QStringLiteral("250 × 350 Pixel, 300 dpi"));
    EXPECT_EQ(description(root.Picture2), QStringLiteral("250 × 350 Pixel, 300 dpi"));
    root.Picture2.setPicture(rt::Picture(patternImage(40, 30), {5906, 11811}));
    EXPECT_EQ(description(root.Picture1), QStringLiteral("40 × 30 Pixel, 150 × 300 dpi"));
    root.Picture2.setPicture(rt::Picture(patternImage(40, 30))); // a file that named no resolution
    EXPECT_EQ(description(root.Picture1), QStringLiteral("40 × 30 Pixel"));
    root.Picture2.clearPicture();
    EXPECT_EQ(description(root.Picture1), QStringLiteral("kein Bild"));
}
