// Saving the picture: each format read back by an independent decoder, pixel for pixel
// (JPEG within a tolerance) and with the scan's resolution, taken from the BMP that the
// scanner library writes; and a failed save that leaves nothing behind and says why in German.

#include "TestSupport.h"
#include "base/Errors.h"
#include "base/SystemErrors.h"
#include "image/BmpWriter.h"
#include "image/PictureFiles.h"
#include "image/PngEncoder.h"
#include "runtime/ClipboardData.h"
#include "runtime/PictureLoader.h"
#include "runtime/Units.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QRegularExpression>
#include <csignal>
#include <gtest/gtest.h>
#include <optional>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <tiffio.h>
#include <zlib.h>

namespace {

constexpr int Dpm300 = 11811; // 300 dpi

QImage decoded(const QByteArray &bytes, QSize *dpm = nullptr)
{
    QBuffer buffer;
    buffer.setData(bytes);
    const QImage image = QImageReader(&buffer).read();
    if (dpm)
        *dpm = QSize(image.dotsPerMeterX(), image.dotsPerMeterY());
    return image.convertToFormat(QImage::Format_RGB32);
}

// The TIFF through libtiff: its pixels and its resolution in dots per metre (empty for none).
QImage decodedTiff(const QString &path, QSize *dpm)
{
    TIFF *tiff = TIFFOpen(QFile::encodeName(path).constData(), "r");
    if (!tiff)
        return {};
    quint32 w = 0, h = 0;
    TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &w);
    TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &h);
    QImage image(static_cast<int>(w), static_cast<int>(h), QImage::Format_RGB32);
    std::vector<quint32> rgba(size_t{w} * h);
    TIFFReadRGBAImageOriented(tiff, w, h, rgba.data(), ORIENTATION_TOPLEFT, 0);
    for (quint32 y = 0; y < h; ++y)
        for (quint32 x = 0; x < w; ++x) {
            const quint32 p = rgba[size_t{y} * w + x];
            image.setPixel(int(x), int(y), qRgb(int(TIFFGetR(p)), int(TIFFGetG(p)), int(TIFFGetB(p))));
        }
    float xr = 0, yr = 0;
    quint16 unit = 0;
    *dpm = QSize();
    if (TIFFGetField(tiff, TIFFTAG_XRESOLUTION, &xr) && TIFFGetField(tiff, TIFFTAG_YRESOLUTION, &yr)
        && TIFFGetField(tiff, TIFFTAG_RESOLUTIONUNIT, &unit))
        *dpm = unit == RESUNIT_CENTIMETER ? QSize(qRound(xr * 100), qRound(yr * 100))
                                          : QSize(qRound(xr / 0.0254), qRound(yr / 0.0254));
    TIFFClose(tiff);
    return image;
}

// The PDF's page size in points and its one image, inflated.
QImage decodedPdf(const QByteArray &pdf, QSizeF *page)
{
    const QRegularExpression box(QStringLiteral("/MediaBox \\[0 0 ([0-9.]+) ([0-9.]+)\\]"));
    const auto m = box.match(QString::fromLatin1(pdf));
    *page = m.hasMatch() ? QSizeF(m.captured(1).toDouble(), m.captured(2).toDouble()) : QSizeF();
    const qsizetype image = pdf.indexOf("/Subtype /Image");
    const auto number = [&](const char *key) {
        const qsizetype at = pdf.indexOf(key, image) + qsizetype(std::strlen(key));
        return pdf.mid(at, 12).trimmed().split('\n').value(0).split(' ').value(0).split('/').value(0).toInt();
    };
    const int w = number("/Width"), h = number("/Height");
    if (image < 0 || pdf.indexOf("/FlateDecode", image) > pdf.indexOf("stream", image) || w <= 0 || h <= 0)
        return {};
    const qsizetype start = pdf.indexOf("stream\n", image) + 7;
    const qsizetype end = pdf.indexOf("endstream", start);
    QByteArray raw(qsizetype{w} * h * 3, '\0');
    uLongf size = static_cast<uLongf>(raw.size());
    if (uncompress(reinterpret_cast<Bytef *>(raw.data()), &size, reinterpret_cast<const Bytef *>(pdf.constData() + start),
                   static_cast<uLong>(end - start))
            != Z_OK
        || size != static_cast<uLongf>(raw.size()))
        return {};
    return QImage(reinterpret_cast<const uchar *>(raw.constData()), w, h, w * 3, QImage::Format_RGB888)
        .convertToFormat(QImage::Format_RGB32);
}

int largestDifference(const QImage &a, const QImage &b)
{
    int worst = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            worst
                = std::max({worst, std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)), std::abs(qBlue(p) - qBlue(q))});
        }
    return worst;
}

// A picture as it arrives from the scanner library: a BMP with its resolution, loaded.
img::Picture scanned(const QImage &image, QSize dpm)
{
    QBuffer bmp;
    bmp.setData(img::encodeBmp(image, dpm));
    bmp.open(QIODevice::ReadOnly);
    return rt::loadPicture(bmp, QStringLiteral("scan.bmp"));
}

// A picture of noise, 90 kB whichever way it is compressed.
img::Picture noisePicture()
{
    QImage noise(300, 300, QImage::Format_Grayscale8);
    quint32 seed = 1;
    for (int y = 0; y < 300; ++y)
        for (int x = 0; x < 300; ++x)
            noise.scanLine(y)[x] = static_cast<uchar>((seed = seed * 1664525u + 1013904223u) >> 24);
    return img::Picture(noise, {Dpm300, Dpm300});
}

// A small file system of its own at dir for as long as the object lives (needs the right to mount).
struct SmallFileSystem {
    QByteArray dir;
    bool mounted;
    SmallFileSystem(const QString &at, unsigned long flags)
        : dir(QFile::encodeName(at)), mounted(QDir().mkpath(at) && ::mount("tmpfs", dir, "tmpfs", flags, "size=64k") == 0)
    {
    }
    ~SmallFileSystem()
    {
        if (mounted)
            ::umount2(dir, MNT_DETACH);
    }
};

// The message of the save that fails, empty when it does not fail.
QString saveFailure(const img::Picture &picture, const QString &path)
{
    try {
        img::savePicture(picture, path, img::FileFormat::Png);
    } catch (const rt::RuntimeError &e) {
        return e.text();
    }
    return {};
}

} // namespace

TEST(SavingPictures, EachFormatReadsBackPixelForPixelWithTheScansResolution)
{
    ProgramDir dir;
    const QImage colour = patternImage(61, 43).convertToFormat(QImage::Format_BGR888);
    for (const QImage &image : {colour, colour.convertToFormat(QImage::Format_Grayscale8)}) {
        SCOPED_TRACE(static_cast<int>(image.format()));
        const QImage expected = image.convertToFormat(QImage::Format_RGB32);
        const img::Picture picture = scanned(image, {Dpm300, Dpm300});
        ASSERT_EQ(picture.dotsPerMeter(), QSize(Dpm300, Dpm300));

        QSize dpm;
        img::savePicture(picture, dir.file("a.png"), img::formatForName("a.png"));
        QFile png(dir.file("a.png"));
        ASSERT_TRUE(png.open(QIODevice::ReadOnly));
        EXPECT_EQ(decoded(png.readAll(), &dpm), expected);
        EXPECT_EQ(dpm, QSize(Dpm300, Dpm300));

        img::savePicture(picture, dir.file("a.jpg"), img::formatForName("a.JPG"));
        QFile jpeg(dir.file("a.jpg"));
        ASSERT_TRUE(jpeg.open(QIODevice::ReadOnly));
        const QImage fromJpeg = decoded(jpeg.readAll(), &dpm);
        ASSERT_EQ(fromJpeg.size(), expected.size());
        EXPECT_LE(largestDifference(fromJpeg, expected), 40); // quality 90 on a hard pattern
        EXPECT_EQ(dpm, QSize(Dpm300, Dpm300));

        img::savePicture(picture, dir.file("a.tif"), img::formatForName("a.tif"));
        EXPECT_EQ(decodedTiff(dir.file("a.tif"), &dpm), expected);
        EXPECT_EQ(dpm, QSize(Dpm300, Dpm300));

        img::savePicture(picture, dir.file("a.pdf"), img::formatForName("a.pdf"));
        QFile pdf(dir.file("a.pdf"));
        ASSERT_TRUE(pdf.open(QIODevice::ReadOnly));
        QSizeF page;
        EXPECT_EQ(decodedPdf(pdf.readAll(), &page), expected);
        // The page is the scan's physical size (the writer counts whole points).
        EXPECT_NEAR(page.width(), 61 * 72.0 / 300, 1.0);
        EXPECT_NEAR(page.height(), 43 * 72.0 / 300, 1.0);
    }
}

TEST(SavingPictures, APictureWithoutResolutionIsWrittenWithoutOne)
{
    ProgramDir dir;
    const img::Picture picture = scanned(patternImage(20, 10).convertToFormat(QImage::Format_BGR888), {});
    ASSERT_TRUE(picture.dotsPerMeter().isEmpty());
    const QByteArray png = img::encodePng(picture.image(), picture.dotsPerMeter());
    EXPECT_FALSE(png.contains("pHYs"));
    const QByteArray jpeg = img::encodeJpeg(picture);
    EXPECT_EQ(jpeg.mid(13, 5), QByteArray("\0\0\1\0\1", 5)); // JFIF: no unit, square pixels
    img::savePicture(picture, dir.file("b.tif"), img::FileFormat::Tiff);
    QSize dpm;
    EXPECT_EQ(decodedTiff(dir.file("b.tif"), &dpm).size(), QSize(20, 10));
    EXPECT_TRUE(dpm.isEmpty());
    QSizeF page;
    decodedPdf(img::encodePdf(picture), &page);
    EXPECT_NEAR(page.width(), 20 * 72.0 * rt::twipsPerPixel() / 1440, 1.0); // as large as on the screen
    const QByteArray bmp = img::encodeBmp(picture.image(), picture.dotsPerMeter());
    EXPECT_EQ(bmp.mid(38, 8), QByteArray(8, '\0'));
}

TEST(SavingPictures, APngKeepsThePicturesOwnLayoutAndDropsAlpha)
{
    const QImage colour = patternImage(23, 7);
    const struct {
        QImage image;
        int depth, colourType; // of the PNG's header
    } cases[] = {
        {colour.convertToFormat(QImage::Format_Mono, Qt::ThresholdDither), 1, 3},
        {colour.convertToFormat(QImage::Format_Indexed8), 8, 3},
        {colour.convertToFormat(QImage::Format_Grayscale8), 8, 0},
        {colour.convertToFormat(QImage::Format_BGR888), 8, 2},
        {colour.convertToFormat(QImage::Format_RGB16), 8, 2},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(static_cast<int>(c.image.format()));
        const QByteArray png = img::encodePng(c.image, {});
        ASSERT_GT(png.size(), 26);
        EXPECT_EQ(static_cast<uchar>(png[24]), c.depth);
        EXPECT_EQ(static_cast<uchar>(png[25]), c.colourType);
        EXPECT_EQ(decoded(png), c.image.convertToFormat(QImage::Format_RGB32));
    }
    QImage translucent = colour.convertToFormat(QImage::Format_ARGB32);
    translucent.setPixel(0, 0, qRgba(10, 20, 30, 0));
    const QByteArray png = img::encodePng(translucent, {});
    EXPECT_EQ(static_cast<uchar>(png[25]), 2); // RGB, no alpha channel
    EXPECT_EQ(decoded(png).pixel(0, 0), qRgb(10, 20, 30));
    EXPECT_EQ(decoded(png).pixel(5, 3), colour.pixel(5, 3));
}

TEST(SavingPictures, AFailedSaveLeavesNoPartialFileAndTheOldFileUntouched)
{
    ProgramDir dir;
    const img::Picture picture = noisePicture();
    dir.write("old.png", "the old file");

    // The file may grow to a few bytes only.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit before{};
    getrlimit(RLIMIT_FSIZE, &before);
    rlimit small = before;
    small.rlim_cur = 4096;
    setrlimit(RLIMIT_FSIZE, &small);
    for (const char *name : {"old.png", "new.png"}) {
        const QString why = saveFailure(picture, dir.file(name));
        EXPECT_TRUE(why.contains(QStringLiteral("lässt sich nicht schreiben: ") + rt::systemErrorText(EFBIG)))
            << name << ": " << why.toStdString();
    }
    setrlimit(RLIMIT_FSIZE, &before);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"old.png"});
    QFile old(dir.file("old.png"));
    ASSERT_TRUE(old.open(QIODevice::ReadOnly));
    EXPECT_EQ(old.readAll(), "the old file");

    // A folder that is not there: a message, and nothing created.
    EXPECT_TRUE(saveFailure(picture, dir.file("missing/c.png")).endsWith(rt::systemErrorText(ENOENT)));
    EXPECT_FALSE(QFile::exists(dir.file("missing")));
}

TEST(SavingPictures, TheNewFileHasTheUsersPermissionsAndAReplacedOneKeepsItsOwn)
{
    ProgramDir dir;
    const img::Picture picture = noisePicture();
    const mode_t mask = ::umask(027);
    img::savePicture(picture, dir.file("new.png"), img::FileFormat::Png);
    dir.write("old.png", "the old file");
    ::chmod(QFile::encodeName(dir.file("old.png")), 0604);
    img::savePicture(picture, dir.file("old.png"), img::FileFormat::Png);
    ::umask(mask);
    struct stat made {
    }, replaced{};
    ASSERT_EQ(::stat(QFile::encodeName(dir.file("new.png")), &made), 0);
    ASSERT_EQ(::stat(QFile::encodeName(dir.file("old.png")), &replaced), 0);
    EXPECT_EQ(made.st_mode & 0777, 0640u);
    EXPECT_EQ(replaced.st_mode & 0777, 0604u);
    EXPECT_GT(replaced.st_size, 90000);
}

TEST(SavingPictures, AFullDiskIsNamedAndLeavesTheOldFileUntouched)
{
    ProgramDir dir;
    const img::Picture picture = noisePicture();
    SmallFileSystem full(dir.file("full"), 0);
    if (!full.mounted)
        GTEST_SKIP() << "no right to mount a file system here";
    QFile old(dir.file("full/old.png"));
    ASSERT_TRUE(old.open(QIODevice::WriteOnly) && old.write("the old file") == 12);
    old.close();
    for (const char *name : {"full/old.png", "full/new.png"}) {
        const QString why = saveFailure(picture, dir.file(name));
        EXPECT_TRUE(why.endsWith(QStringLiteral("lässt sich nicht schreiben: Auf dem Datenträger ist kein Platz mehr.")))
            << why.toStdString();
    }
    EXPECT_EQ(QDir(dir.file("full")).entryList(QDir::Files | QDir::Hidden), QStringList{"old.png"});
    ASSERT_TRUE(old.open(QIODevice::ReadOnly));
    EXPECT_EQ(old.readAll(), "the old file");
}

TEST(SavingPictures, AFolderThatCannotBeWrittenIsNamed)
{
    ProgramDir dir;
    // Root passes any permission bits, but not a read-only mount.
    const bool root = ::geteuid() == 0;
    std::optional<SmallFileSystem> readOnly;
    if (root)
        readOnly.emplace(dir.file("read-only"), MS_RDONLY);
    else
        ASSERT_TRUE(QDir().mkpath(dir.file("read-only")) && ::chmod(QFile::encodeName(dir.file("read-only")), 0555) == 0);
    if (readOnly && !readOnly->mounted)
        GTEST_SKIP() << "no right to mount a file system here";
    const QString why = saveFailure(noisePicture(), dir.file("read-only/a.png"));
    EXPECT_TRUE(why.endsWith(QStringLiteral("lässt sich nicht anlegen: ") + rt::systemErrorText(root ? EROFS : EACCES)))
        << why.toStdString();
    EXPECT_TRUE(QDir(dir.file("read-only")).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
    if (!root)
        ::chmod(QFile::encodeName(dir.file("read-only")), 0755);
}
