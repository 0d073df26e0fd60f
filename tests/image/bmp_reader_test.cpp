// The direct BMP reader against Qt's own reader, for every kind it takes, and damaged files.

#include "TestSupport.h"
#include "base/Errors.h"
#include "image/BmpHeader.h"
#include "image/BmpReader.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QtEndian>
#include <gtest/gtest.h>
#include <vector>

namespace {

// A BMP of `image` at the given depth, stored top-down or bottom-up.
QByteArray makeBmp(const QImage &source, int bits, bool topDown)
{
    QImage image = source;
    QList<QRgb> palette;
    if (bits == 8) {
        image = source.convertToFormat(QImage::Format_Grayscale8);
        for (int i = 0; i < 256; ++i)
            palette.append(qRgb(i, i, i));
    } else if (bits == 1) {
        image = source.convertToFormat(QImage::Format_Mono, Qt::ThresholdDither);
        palette = {qRgb(0, 0, 0), qRgb(255, 255, 255)};
        image.setColorTable(palette);
    } else {
        image = source.convertToFormat(QImage::Format_RGB32);
    }
    const int w = image.width(), h = image.height();
    bmp::Header header;
    header.width = w;
    header.height = topDown ? -h : h;
    header.bitsPerPixel = static_cast<std::uint16_t>(bits);
    header.paletteEntries = static_cast<std::uint32_t>(palette.size());
    const auto stride = static_cast<int>(bmp::rowStride(w, bits));
    const auto offset = static_cast<int>(header.pixelOffset());
    QByteArray out(static_cast<qsizetype>(header.fileSize()), '\0');
    auto *p = reinterpret_cast<uchar *>(out.data());
    std::vector<std::uint32_t> colours(palette.begin(), palette.end());
    header.write(p, colours.data());
    for (int y = 0; y < h; ++y) {
        uchar *row = p + offset + stride * (topDown ? y : h - 1 - y);
        for (int x = 0; x < w; ++x) {
            if (bits == 1) {
                if (image.pixelIndex(x, y))
                    row[x / 8] |= static_cast<uchar>(0x80 >> (x % 8));
            } else if (bits == 8) {
                row[x] = image.constScanLine(y)[x];
            } else {
                const QRgb c = image.pixel(x, y);
                uchar *px = row + x * (bits / 8);
                px[0] = static_cast<uchar>(qBlue(c));
                px[1] = static_cast<uchar>(qGreen(c));
                px[2] = static_cast<uchar>(qRed(c));
            }
        }
    }
    return out;
}

constexpr qint64 Limit = qint64{1} << 30;

std::optional<QImage> readBmp(QByteArray bytes)
{
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    return img::readPlainBmp(buffer, QStringLiteral("test.bmp"), Limit);
}

} // namespace

TEST(BmpReader, ReadsEveryPlainKindAsQtDoes)
{
    for (int bits : {1, 8, 24, 32})
        for (bool topDown : {false, true})
            for (QSize size : {QSize(1, 1), QSize(3, 2), QSize(33, 7), QSize(130, 41)}) {
                SCOPED_TRACE(testing::Message() << bits << " bits, top-down " << topDown << ", " << size.width());
                const QByteArray bytes = makeBmp(patternImage(size.width(), size.height()), bits, topDown);
                const std::optional<QImage> ours = readBmp(bytes);
                ASSERT_TRUE(ours.has_value());
                QBuffer buffer;
                buffer.setData(bytes);
                const QImage theirs = QImageReader(&buffer, "bmp").read();
                ASSERT_FALSE(theirs.isNull());
                EXPECT_EQ(ours->convertToFormat(QImage::Format_RGB32), theirs.convertToFormat(QImage::Format_RGB32));
            }
}

TEST(BmpReader, LeavesOtherFilesToTheGeneralLoader)
{
    QByteArray jpeg;
    QBuffer out(&jpeg);
    out.open(QIODevice::WriteOnly);
    patternImage(10, 10).save(&out, "JPEG");
    QByteArray rle = makeBmp(patternImage(8, 8), 8, false);
    qToLittleEndian<quint32>(1, rle.data() + 30); // run-length encoded
    for (const QByteArray &bytes : {jpeg, rle, QByteArray("BM"), QByteArray()})
        EXPECT_FALSE(readBmp(bytes).has_value()) << bytes.left(4).toHex().toStdString();
}

TEST(BmpReader, DamagedOrOversizedFilesAreErrors)
{
    const QByteArray good = makeBmp(patternImage(40, 30), 24, false);
    std::vector<std::pair<const char *, QByteArray>> cases;
    cases.push_back({"truncated pixels", good.left(good.size() - 1)});
    QByteArray b = good;
    qToLittleEndian<quint32>(0x7fffffff, b.data() + 10);
    cases.push_back({"data offset beyond the file", b});
    b = good;
    qToLittleEndian<qint32>(0, b.data() + 18);
    cases.push_back({"no width", b});
    b = good;
    qToLittleEndian<qint32>(std::numeric_limits<qint32>::min(), b.data() + 22);
    cases.push_back({"height that cannot be negated", b});
    b = makeBmp(patternImage(8, 8), 8, true);
    qToLittleEndian<quint32>(257, b.data() + 46);
    cases.push_back({"more colours than the depth holds", b});
    b = good;
    qToLittleEndian<qint32>(60000, b.data() + 18);
    qToLittleEndian<qint32>(60000, b.data() + 22);
    cases.push_back({"too large for memory", b});
    b = good;
    qToLittleEndian<qint32>(std::numeric_limits<qint32>::max(), b.data() + 18);
    qToLittleEndian<qint32>(std::numeric_limits<qint32>::max(), b.data() + 22);
    cases.push_back({"a size whose byte count overflows", b});
    for (const auto &[what, bytes] : cases)
        EXPECT_THROW(readBmp(bytes), rt::RuntimeError) << what;
}
