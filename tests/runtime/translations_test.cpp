// Qt's own texts in German: the scroll bars' menu and the standard buttons.

#include "runtime/Translations.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QPushButton>
#include <gtest/gtest.h>

TEST(GermanQtTexts, ScrollBarMenuAndStandardButtonsSpeakGerman)
{
    ASSERT_TRUE(rt::installGermanQtTexts());
    EXPECT_TRUE(rt::installGermanQtTexts()); // once is enough; a second call changes nothing
    EXPECT_EQ(QCoreApplication::translate("QScrollBar", "Scroll here"), QStringLiteral("Hierher scrollen"));
    EXPECT_EQ(QCoreApplication::translate("QScrollBar", "Page up"), QStringLiteral("Eine Seite nach oben"));
    QDialogButtonBox buttons(QDialogButtonBox::Cancel | QDialogButtonBox::Save);
    EXPECT_EQ(buttons.button(QDialogButtonBox::Cancel)->text(), QStringLiteral("Abbrechen"));
    EXPECT_EQ(buttons.button(QDialogButtonBox::Save)->text(), QStringLiteral("Speichern"));
}
