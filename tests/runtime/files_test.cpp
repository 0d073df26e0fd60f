// The program directory and the existence test.

#include "TestSupport.h"
#include "runtime/ProgramFiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <gtest/gtest.h>
#include <unistd.h>

TEST(Programmpfad, EndsInExactlyOneSeparator)
{
    EXPECT_EQ(withTrailingSeparator("/opt/vistoramo"), "/opt/vistoramo/");
    EXPECT_EQ(withTrailingSeparator("/opt/vistoramo/"), "/opt/vistoramo/");
    EXPECT_EQ(withTrailingSeparator("/"), "/");
    EXPECT_EQ(Programmpfad(), QCoreApplication::applicationDirPath() + "/");
    ProgramDir dir;
    EXPECT_EQ(Programmpfad(), dir.path() + "/");
}

TEST(DateiVorhanden, AnyEntryCountsAndNothingElse)
{
    ProgramDir dir;
    dir.write("Rastelo.bmp", "x");
    ASSERT_TRUE(QDir(dir.path()).mkdir("Ordner"));
    ASSERT_EQ(::symlink("/nowhere/at/all", QFile::encodeName(dir.file("Verweis")).constData()), 0);
    const QString p = Programmpfad();
    EXPECT_TRUE(DateiVorhanden(p + "Rastelo.bmp"));
    EXPECT_FALSE(DateiVorhanden(p + "rastelo.bmp")); // no case folding
    EXPECT_FALSE(DateiVorhanden(p + "Fehlt.bmp"));
    EXPECT_TRUE(DateiVorhanden(p + "Ordner"));
    EXPECT_TRUE(DateiVorhanden(p + "Verweis"));
    EXPECT_FALSE(DateiVorhanden(QString()));
    EXPECT_FALSE(DateiVorhanden(p + "Fehlt/Rastelo.bmp"));
}
