// Start-up: which start picture is shown, bad start pictures, and the start size.

#include "TestSupport.h"
#include "runtime/System.h"
#include "ui/Root.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImageWriter>
#include <QtEndian>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

// Starts the window in the given program directory and records any message box.
struct Started {
    Root root;
    std::vector<ShownMessage> messages;
    explicit Started()
    {
        MessageBoxWatcher watcher;
        root.show();
        messages = watcher.shown();
    }
};

void expectEmptyWhiteStart(const Started &s)
{
    EXPECT_TRUE(s.root.Picture2.picture().isEmpty());
    EXPECT_FLOAT_EQ(s.root.Picture2.width(), 7530);
    EXPECT_FLOAT_EQ(s.root.Picture2.height(), 4650);
    EXPECT_EQ(s.root.Picture1.backColor() & 0xFFFFFF, 0xFFFFFFu);
    EXPECT_EQ(s.root.Picture2.backColor() & 0xFFFFFF, 0xFFFFFFu);
    EXPECT_TRUE(s.messages.empty());
    EXPECT_FLOAT_EQ(s.root.width(), 8500);
    EXPECT_FLOAT_EQ(s.root.height(), 6500);
}

QByteArray encoded(const QImage &image, const char *format)
{
    QByteArray bytes;
    QBuffer buf(&bytes);
    buf.open(QIODevice::WriteOnly);
    image.save(&buf, format, 100);
    return bytes;
}

} // namespace

TEST(StartUp, TakesJpegBeforeGifBeforeBmp)
{
    struct Case {
        std::vector<const char *> present;
        int expectedWidth;
    };
    // Each start picture has its own width so the shown one tells which was taken.
    const std::map<QString, int> widths{{"Rastelo.jpg", 40}, {"Rastelo.gif", 50}, {"Rastelo.bmp", 60}};
    const std::vector<Case> cases{
        {{"Rastelo.jpg", "Rastelo.gif", "Rastelo.bmp"}, 40},
        {{"Rastelo.gif", "Rastelo.bmp"}, 50},
        {{"Rastelo.jpg", "Rastelo.bmp"}, 40},
        {{"Rastelo.jpg", "Rastelo.gif"}, 40},
        {{"Rastelo.bmp"}, 60},
        {{"Rastelo.gif"}, 50},
    };
    for (const Case &c : cases) {
        ProgramDir dir;
        for (const char *name : c.present) {
            const QString n = QString::fromLatin1(name);
            const QImage image = patternImage(widths.at(n), 30);
            if (n.endsWith("gif"))
                dir.write(n, gifBytes(image));
            else
                dir.writeImage(n, image, n.endsWith("jpg") ? "JPEG" : "BMP");
        }
        Started s;
        EXPECT_EQ(s.root.Picture2.picture().image().width(), c.expectedWidth) << c.present.size();
        EXPECT_FLOAT_EQ(s.root.Picture2.width(), static_cast<float>(c.expectedWidth) * 15.0f);
        EXPECT_FLOAT_EQ(s.root.Picture2.height(), 30 * 15.0f);
        EXPECT_TRUE(s.messages.empty());
        EXPECT_FLOAT_EQ(s.root.width(), 8500);
        EXPECT_FLOAT_EQ(s.root.height(), 6500);
    }
}

TEST(StartUp, WithoutAStartPictureTheWindowShowsTheEmptyWhiteBox)
{
    ProgramDir dir;
    Started s;
    expectEmptyWhiteStart(s);
    const QImage shot = s.root.Picture1.widget()->grab().toImage();
    EXPECT_EQ(shot.pixel(10, 10) & 0xFFFFFF, 0xFFFFFFu);
}

TEST(StartUp, BadStartPicturesAreSkippedSilently)
{
    const QByteArray jpeg = encoded(patternImage(64, 48), "JPEG");
    QByteArray huge = encoded(patternImage(16, 16), "BMP");
    qToLittleEndian<qint32>(65535, huge.data() + 18);
    qToLittleEndian<qint32>(65535, huge.data() + 22);
    const std::vector<std::pair<const char *, std::function<void(ProgramDir &)>>> cases{
        {"truncated jpeg", [&](ProgramDir &d) { d.write("Rastelo.jpg", jpeg.left(jpeg.size() / 3)); }},
        {"damaged jpeg", [&](ProgramDir &d) { d.write("Rastelo.jpg", QByteArray(jpeg.size(), 'x')); }},
        {"empty gif", [](ProgramDir &d) { d.write("Rastelo.gif", ""); }},
        {"text as bmp", [](ProgramDir &d) { d.write("Rastelo.bmp", "kein Bild"); }},
        {"png as jpeg", [](ProgramDir &d) { d.writeImage("Rastelo.jpg", patternImage(20, 20), "PNG"); }},
        {"directory", [](ProgramDir &d) { QDir(d.path()).mkdir("Rastelo.jpg"); }},
        {"fifo", [](ProgramDir &d) { ::mkfifo(QFile::encodeName(d.file("Rastelo.bmp")).constData(), 0600); }},
        {"too big for memory", [&](ProgramDir &d) { d.write("Rastelo.bmp", huge); }},
        {"gif claiming 65535 x 65535",
         [](ProgramDir &d) {
             QByteArray gif = gifBytes(patternImage(4, 4));
             qToLittleEndian<quint16>(65535, gif.data() + 6); // the logical screen
             qToLittleEndian<quint16>(65535, gif.data() + 8);
             const qsizetype frame = gif.indexOf(',', 13 + 768); // the image descriptor
             qToLittleEndian<quint16>(65535, gif.data() + frame + 5);
             qToLittleEndian<quint16>(65535, gif.data() + frame + 7);
             d.write("Rastelo.gif", gif);
         }},
        // A regular file that no one can read, not even root: reading it fails with EIO.
        {"unreadable", [](ProgramDir &d) { ASSERT_TRUE(QFile::link(QStringLiteral("/proc/self/mem"), d.file("Rastelo.gif"))); }},
    };
    for (const auto &[what, make] : cases) {
        SCOPED_TRACE(what);
        ProgramDir dir;
        make(dir);
        Started s;
        expectEmptyWhiteStart(s);
    }
}

TEST(StartUp, AGifWithManyFramesShowsItsFirstFrame)
{
    ProgramDir dir;
    dir.write("Rastelo.gif", gifBytes(patternImage(64, 48), 2000));
    Started s;
    EXPECT_EQ(s.root.Picture2.picture().image().size(), QSize(64, 48));
    EXPECT_TRUE(s.messages.empty());
}

TEST(StartUp, AMissingProgramDirectoryGivesTheEmptyWhiteBox)
{
    rt::setProgramDirectoryForTesting(QStringLiteral("/nonexistent/vistoramo/dir"));
    Started s;
    rt::setProgramDirectoryForTesting(QString());
    expectEmptyWhiteStart(s);
}

TEST(StartUp, ThePictureSizeNeverDecidesTheWindowSize)
{
    for (QSize size : {QSize(8, 8), QSize(2000, 1500), QSize(1200, 3000)}) {
        ProgramDir dir;
        dir.writeImage("Rastelo.bmp", patternImage(size.width(), size.height()), "BMP");
        Started s;
        EXPECT_EQ(s.root.Picture2.picture().image().size(), size);
        EXPECT_FLOAT_EQ(s.root.width(), 8500);
        EXPECT_FLOAT_EQ(s.root.height(), 6500);
        EXPECT_EQ(s.root.clientWidget()->size(), QSize(567 - 8, 433 - 26));
    }
}

TEST(StartUp, AProgressiveJpegWithEndlessScansIsRefusedAndAFewScansAreFine)
{
    // A progressive JPEG whose last refinement scan is repeated: each repetition is another
    // pass over the whole picture for the decoder.
    QByteArray progressive;
    {
        QBuffer buffer(&progressive);
        buffer.open(QIODevice::WriteOnly);
        QImageWriter writer(&buffer, "jpeg");
        writer.setProgressiveScanWrite(true);
        ASSERT_TRUE(writer.write(patternImage(64, 48)));
    }
    const qsizetype lastScan = progressive.lastIndexOf("\xFF\xDA");
    const qsizetype end = progressive.lastIndexOf("\xFF\xD9");
    ASSERT_GT(lastScan, 0);
    ASSERT_GT(end, lastScan);
    const QByteArray scan = progressive.mid(lastScan, end - lastScan);
    const auto withRepeats = [&](int repeats) {
        QByteArray bytes = progressive.left(end);
        for (int i = 0; i < repeats; ++i)
            bytes += scan;
        return bytes + "\xFF\xD9";
    };
    {
        ProgramDir dir;
        dir.write("Rastelo.jpg", withRepeats(5));
        Started s;
        EXPECT_EQ(s.root.Picture2.picture().image().size(), QSize(64, 48));
    }
    ProgramDir dir;
    dir.write("Rastelo.jpg", withRepeats(200));
    Started s;
    expectEmptyWhiteStart(s);
}
