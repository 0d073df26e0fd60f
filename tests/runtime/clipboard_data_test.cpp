// What other programs paste: image/bmp and image/png, pixel for pixel, from every kind of
// picture the view may hold.

#include "TestSupport.h"
#include "runtime/ClipboardData.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QtEndian>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {
QImage decoded(const QByteArray &bytes, const char *format)
{
    QBuffer buffer;
    buffer.setData(bytes);
    return QImageReader(&buffer, format).read().convertToFormat(QImage::Format_RGB32);
}
} // namespace

TEST(ClipboardData, BmpAndPngCarryEveryPixelOfEveryKindOfPicture)
{
    const QImage colour = patternImage(37, 19);
    QImage mono = colour.convertToFormat(QImage::Format_Mono, Qt::ThresholdDither);
    mono.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    const QImage kinds[] = {colour,
                            colour.convertToFormat(QImage::Format_BGR888),
                            colour.convertToFormat(QImage::Format_Grayscale8),
                            colour.convertToFormat(QImage::Format_Indexed8),
                            mono,
                            mono.convertToFormat(QImage::Format_MonoLSB),
                            colour.convertToFormat(QImage::Format_RGB888)};
    for (const QImage &image : kinds) {
        SCOPED_TRACE(static_cast<int>(image.format()));
        const QImage expected = image.convertToFormat(QImage::Format_RGB32);
        rt::PictureMimeData data(image);
        EXPECT_EQ(data.formats(), (QStringList{"image/png", "image/bmp"})); // the small one first
        for (const char *format : {"image/bmp", "image/png", "application/x-qt-image", "image/jpeg"})
            EXPECT_EQ(data.hasFormat(format), data.formats().contains(format)) << format;
        EXPECT_EQ(decoded(data.data("image/bmp"), "bmp"), expected);
        EXPECT_EQ(decoded(data.data("image/png"), "png"), expected);
        EXPECT_EQ(qvariant_cast<QImage>(data.imageData()).convertToFormat(QImage::Format_RGB32), expected);
    }
}

TEST(ClipboardData, BothFormatsCarryTheScansResolutionAndThePngIsCompressed)
{
    const QImage page = patternImage(400, 300).convertToFormat(QImage::Format_BGR888);
    rt::PictureMimeData data(page, {11811, 11811});
    const QByteArray png = data.data("image/png");
    QBuffer buffer;
    buffer.setData(png);
    const QImage fromPng = QImageReader(&buffer, "png").read();
    EXPECT_EQ(fromPng.convertToFormat(QImage::Format_RGB32), page.convertToFormat(QImage::Format_RGB32));
    EXPECT_EQ(fromPng.dotsPerMeterX(), 11811);
    EXPECT_EQ(fromPng.dotsPerMeterY(), 11811);
    EXPECT_LT(png.size(), 400 * 300 * 3 / 4); // the pattern compresses; stored rows would not
    const QByteArray bmp = data.data("image/bmp");
    EXPECT_EQ(qFromLittleEndian<qint32>(bmp.constData() + 38), 11811);
    EXPECT_EQ(qFromLittleEndian<qint32>(bmp.constData() + 42), 11811);
}

TEST(ClipboardData, ARequestThatFindsMemoryShortIsRefusedAndTheProgramLivesOn)
{
#ifdef VISTORAMO_ASAN
    GTEST_SKIP() << "the address space limit does not go with the address sanitizer";
#else
    QImage page(8000, 8000, QImage::Format_BGR888); // 192 MB of noise, which no encoder shrinks
    ASSERT_FALSE(page.isNull());
    quint64 seed = 1;
    auto *words = reinterpret_cast<quint64 *>(page.bits());
    for (qsizetype i = 0; i < page.sizeInBytes() / 8; ++i)
        words[i] = seed = seed * 6364136223846793005u + 1442695040888963407u;
    rt::PictureMimeData data(page);
    rlimit before{};
    getrlimit(RLIMIT_AS, &before);
    QFile status(QStringLiteral("/proc/self/statm"));
    ASSERT_TRUE(status.open(QIODevice::ReadOnly));
    const rlim_t used = status.readAll().split(' ').value(0).toULongLong() * rlim_t(sysconf(_SC_PAGESIZE));
    rlimit tight = before;
    tight.rlim_cur = used + rlim_t{64} * 1024 * 1024;
    setrlimit(RLIMIT_AS, &tight);
    const QByteArray bmp = data.data("image/bmp");
    const QByteArray png = data.data("image/png");
    setrlimit(RLIMIT_AS, &before);
    EXPECT_TRUE(bmp.isEmpty());
    EXPECT_TRUE(png.isEmpty());
    EXPECT_FALSE(data.data("image/bmp").isEmpty()); // with memory again, the same request is met
#endif
}

TEST(ClipboardData, RequestsAtOnceShareOneEncodingOfEachFormat)
{
    // Ten programs pasting at once: every answer is the same bytes, encoded once.
    const QImage page = patternImage(1200, 900);
    rt::PictureMimeData data(page, {11811, 11811});
    for (const char *format : {"image/bmp", "image/png"}) {
        SCOPED_TRACE(format);
        std::vector<QByteArray> answers(10);
        {
            std::vector<std::jthread> requests;
            for (QByteArray &answer : answers)
                requests.emplace_back([&] { answer = data.data(format); });
        }
        for (const QByteArray &answer : answers) {
            ASSERT_FALSE(answer.isEmpty());
            EXPECT_EQ(answer.constData(), answers[0].constData());
        }
        EXPECT_EQ(data.data(format).constData(), answers[0].constData());
    }
}
