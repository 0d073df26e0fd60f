// The three commands with a fake scanner library in the test's own program directory:
// acquisition into the view, its one failure message, and the copy to the clipboard.

#include "FakeLibrary.h"
#include "TestSupport.h"
#include "base/Rounding.h"
#include "runtime/ProgramFiles.h"
#include "runtime/System.h"
#include "runtime/Units.h"
#include "scanlib-loader/Scanner.h"
#include "ui/Root.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMimeData>
#include <QPushButton>
#include <QScrollBar>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>
#include <utility>

namespace {

const QString Cancelled = QStringLiteral("Der Vorgang wurde von dem Benutzer abgebrochen.  ");
const QString Copied = QStringLiteral("Bild-Datei wurde erfolgreich in die Zwischenablage kopiert.  ");
const QString NotCopied = QStringLiteral("Fehler beim Kopiervorgang in die Zwischenablage.  ");

struct Scan : ::testing::Test {
    ProgramDir dir;
    FakeLibrary library{dir};
    Root root;
    std::vector<ShownMessage> messages;

    void SetUp() override { root.show(); }
    QString scanFile(const QImage &image)
    {
        const QString path = QDir(dir.path()).filePath("scan-source.bmp");
        image.save(path, "BMP");
        return path;
    }
    void click(rt::CommandButton &button)
    {
        MessageBoxWatcher watcher;
        button.button()->click();
        messages = watcher.shown();
    }
    bool tempExists() const { return DateiVorhanden(Programmpfad() + "Temp.bmp"); }
};

} // namespace

TEST_F(Scan, APictureLargerThanTheViewportShowsFromItsTopLeftWithItsBars)
{
    const QImage page = patternImage(1200, 900);
    bool hourglassDuring = false, clearedDuring = false;
    library.set(scanFile(page), 0, [&] {
        hourglassDuring = rt::mousePointer() == rt::MousePointer::Hourglass;
        clearedDuring = root.Picture2.picture().isEmpty();
    });
    click(root.BScannen);
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(library.acquireCalls(), 1);
    EXPECT_EQ(library.lastOwner(), root.hWnd());
    EXPECT_EQ(library.lastPath(), dir.path() + "/Temp.bmp");
    EXPECT_TRUE(hourglassDuring);
    EXPECT_TRUE(clearedDuring);
    EXPECT_EQ(root.Picture2.picture().image(), page.convertToFormat(root.Picture2.picture().image().format()));
    EXPECT_FLOAT_EQ(root.Picture2.width(), 1200 * 15.0f);
    EXPECT_TRUE(root.VScroll1.isVisible());
    EXPECT_TRUE(root.HScroll1.isVisible());
    EXPECT_FLOAT_EQ(root.Picture2.left(), 0);
    EXPECT_FLOAT_EQ(root.Picture2.top(), 0);
    // The ranges follow the viewport as the bars left it.
    EXPECT_EQ(root.VScroll1.max(), rt::to32(root.height() - 1250 - 900 * 15.0f));
    EXPECT_FALSE(tempExists());
    EXPECT_EQ(rt::mousePointer(), rt::MousePointer::Default);
}

TEST_F(Scan, RightAfterAScanBothBarsReachThePicturesFarEdges)
{
    for (const QSize size : {QSize(1200, 900), QSize(1200, 300), QSize(300, 900)}) {
        library.set(scanFile(patternImage(size.width(), size.height())), 0);
        click(root.BScannen);
        ASSERT_TRUE(messages.empty());
        root.VScroll1.bar()->triggerAction(QAbstractSlider::SliderToMaximum);
        root.HScroll1.bar()->triggerAction(QAbstractSlider::SliderToMaximum);
        // The lower right corner of the picture meets the viewport's, wherever a bar showed.
        if (root.VScroll1.isVisible()) {
            EXPECT_FLOAT_EQ(root.Picture2.top() + root.Picture2.height(), root.Picture1.height()) << size.height();
        }
        if (root.HScroll1.isVisible()) {
            EXPECT_FLOAT_EQ(root.Picture2.left() + root.Picture2.width(), root.Picture1.width()) << size.width();
        }
        EXPECT_TRUE(root.VScroll1.isVisible() || root.HScroll1.isVisible());
    }
}

TEST_F(Scan, APictureSmallerThanTheViewportNeedsNoBars)
{
    library.set(scanFile(patternImage(100, 80)), 0);
    click(root.BScannen);
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(root.Picture2.picture().image().size(), QSize(100, 80));
    EXPECT_FALSE(root.VScroll1.isVisible());
    EXPECT_FALSE(root.HScroll1.isVisible());
    EXPECT_FLOAT_EQ(root.Picture2.left(), 0);
    EXPECT_FLOAT_EQ(root.Picture2.top(), 0);
    EXPECT_FALSE(tempExists());
}

TEST_F(Scan, APageBeyondSixteenBitSizesIsShownAndScrollable)
{
    // An A4 page at 300 dpi: 52 620 twips tall.
    library.set(scanFile(patternImage(2480, 3508)), 0);
    click(root.BScannen);
    EXPECT_TRUE(messages.empty());
    ASSERT_TRUE(root.VScroll1.isVisible());
    EXPECT_EQ(root.VScroll1.max(), rt::to32(root.height() - 1250 - 52620.0f));
    root.VScroll1.bar()->triggerAction(QAbstractSlider::SliderToMaximum);
    EXPECT_FLOAT_EQ(root.Picture2.top(), static_cast<float>(root.VScroll1.max()));
    EXPECT_FALSE(tempExists());
}

TEST_F(Scan, ANewScanStartsAtTheTopLeftAfterScrolling)
{
    library.set(scanFile(patternImage(2000, 2000)), 0);
    click(root.BScannen);
    root.VScroll1.bar()->triggerAction(QAbstractSlider::SliderToMaximum);
    root.HScroll1.bar()->triggerAction(QAbstractSlider::SliderToMaximum);
    ASSERT_LT(root.Picture2.top(), 0.0f);
    click(root.BScannen);
    EXPECT_FLOAT_EQ(root.Picture2.left(), 0);
    EXPECT_FLOAT_EQ(root.Picture2.top(), 0);
}

TEST_F(Scan, CancelLeavesAnEmptyViewAndOneMessage)
{
    library.set(scanFile(patternImage(300, 300)), 0);
    click(root.BScannen);
    ASSERT_FALSE(root.Picture2.picture().isEmpty());
    library.set(QString(), 1);
    click(root.BScannen);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].title, QStringLiteral(" Vistoramo"));
    EXPECT_EQ(messages[0].text, Cancelled);
    EXPECT_TRUE(messages[0].information);
    EXPECT_TRUE(root.Picture2.picture().isEmpty());
    EXPECT_FALSE(root.VScroll1.isVisible());
    EXPECT_FALSE(root.HScroll1.isVisible());
    EXPECT_EQ(rt::mousePointer(), rt::MousePointer::Default);
}

TEST_F(Scan, AWrittenFileThatIsNoPictureStaysAndTheCommandFails)
{
    const QString junk = QDir(dir.path()).filePath("junk.bin");
    dir.write("junk.bin", "keine Bitmap");
    library.set(junk, 0);
    click(root.BScannen);
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].text, Cancelled);
    // The failure message stays as it is; a second one tells where the file is.
    EXPECT_TRUE(messages[1].text.contains(dir.path() + "/Temp.bmp")) << messages[1].text.toStdString();
    EXPECT_TRUE(tempExists());
    EXPECT_EQ(rt::mousePointer(), rt::MousePointer::Default);
}

TEST_F(Scan, ATempFileLeftFromAnEarlierRunIsReplacedAndRemoved)
{
    dir.write("Temp.bmp", "von gestern");
    library.set(scanFile(patternImage(70, 60)), 0);
    click(root.BScannen);
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(root.Picture2.picture().image().size(), QSize(70, 60));
    EXPECT_FALSE(tempExists());
}

TEST_F(Scan, ASecondClickWhileTheCommandRunsStartsNoNestedAcquisition)
{
    library.set(scanFile(patternImage(50, 50)), 0, [&] {
        root.BScannen.button()->click();
        QApplication::processEvents();
    });
    click(root.BScannen);
    EXPECT_EQ(library.acquireCalls(), 1);
    EXPECT_TRUE(messages.empty());
    click(root.BScannen); // and the command runs again once it has ended
    EXPECT_EQ(library.acquireCalls(), 2);
}

TEST_F(Scan, ChoosingASourceCallsTheLibraryWithTheWindowAndSaysNothing)
{
    click(root.BGerät);
    EXPECT_EQ(library.chooseCalls(), 1);
    EXPECT_EQ(library.lastOwner(), root.hWnd());
    EXPECT_TRUE(messages.empty());
}

TEST_F(Scan, CopyingTwiceSucceedsBothTimesAndPutsThePictureThere)
{
    const QImage page = patternImage(640, 480);
    library.set(scanFile(page), 0);
    click(root.BScannen);
    for (int i = 0; i < 2; ++i) {
        QGuiApplication::clipboard()->setText(QStringLiteral("vorher"));
        click(root.BAblage);
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0].title, QStringLiteral(" Zwischenablage"));
        EXPECT_EQ(messages[0].text, Copied);
        EXPECT_TRUE(messages[0].information);
        const QImage pasted = QGuiApplication::clipboard()->image();
        EXPECT_EQ(pasted.convertToFormat(QImage::Format_RGB32), page);
    }
}

TEST_F(Scan, ACopyTheClipboardDoesNotKeepIsReportedAsFailed)
{
    library.set(scanFile(patternImage(64, 48)), 0);
    click(root.BScannen);
    // Another program takes the clipboard back, with a picture of its own, the moment ours
    // arrives: an image is there, but not ours.
    QClipboard *clipboard = QGuiApplication::clipboard();
    bool taken = false;
    const auto takeBack = QObject::connect(clipboard, &QClipboard::dataChanged, [&] {
        if (!std::exchange(taken, true))
            clipboard->setImage(patternImage(8, 8));
    });
    click(root.BAblage);
    QObject::disconnect(takeBack);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, NotCopied);
    EXPECT_EQ(clipboard->image().size(), QSize(8, 8));
}

TEST_F(Scan, CopyingWithNoPictureFailsAndKeepsTheClipboard)
{
    library.set(QString(), 1);
    click(root.BScannen);
    QGuiApplication::clipboard()->setImage(patternImage(20, 20)); // another program's picture
    click(root.BAblage);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].title, QStringLiteral(" Zwischenablage"));
    EXPECT_EQ(messages[0].text, NotCopied);
    EXPECT_EQ(QGuiApplication::clipboard()->image().convertToFormat(QImage::Format_RGB32), patternImage(20, 20));
}

TEST_F(Scan, AReadOnlyProgramDirectoryGetsAPrivateDirectoryForTheScan)
{
    const QString source = scanFile(patternImage(120, 90));
    library.set(source, 0, [&] {
        const QFileInfo scratch(QFileInfo(library.lastPath()).path());
        EXPECT_NE(scratch.absoluteFilePath(), QFileInfo(dir.path()).absoluteFilePath());
        EXPECT_EQ(scratch.permissions() & 0x7777,
                  QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadUser | QFile::WriteUser | QFile::ExeUser);
        EXPECT_EQ(scratch.ownerId(), ::geteuid());
    });
    ASSERT_TRUE(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner | QFile::ReadUser | QFile::ExeUser));
    click(root.BScannen);
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(root.Picture2.picture().image().size(), QSize(120, 90));
    EXPECT_EQ(QFileInfo(library.lastPath()).fileName(), QStringLiteral("Temp.bmp"));
    EXPECT_FALSE(QFileInfo::exists(library.lastPath()));
    EXPECT_FALSE(QFileInfo::exists(QFileInfo(library.lastPath()).path())); // removed with the file
    EXPECT_FALSE(tempExists());

    // A writable program directory keeps the file there, as always.
    library.set(source, 0);
    click(root.BScannen);
    EXPECT_EQ(library.lastPath(), dir.path() + "/Temp.bmp");
}
