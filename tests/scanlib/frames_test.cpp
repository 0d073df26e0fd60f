// The frames-to-BMP conversion and the message catalogue, with made-up input of the kinds
// a real backend rarely produces on demand.

#include "scanlib/helper/BmpAssembler.h"
#include "scanlib/wire/Catalogue.h"

#include <QBuffer>
#include <QImageReader>
#include <QtEndian>
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

using namespace scanlib;

namespace {

// A frame's parameters and bytes.
struct Frame {
    SANE_Parameters p{};
    std::vector<unsigned char> bytes;
};

// Sample c of pixel (x, y) of the made-up picture.
unsigned char level(int x, int y, int c)
{
    return static_cast<unsigned char>((x * 37 + y * 11 + c * 85) & 0xff);
}

SANE_Parameters params(SANE_Frame format, int depth, int width, int lines, int bpl = 0, bool last = true)
{
    SANE_Parameters p{};
    p.format = format;
    p.depth = depth;
    p.pixels_per_line = width;
    p.lines = lines;
    const int channels = format == SANE_FRAME_RGB ? 3 : 1;
    p.bytes_per_line = bpl ? bpl : (width * channels * depth + 7) / 8;
    p.last_frame = last ? SANE_TRUE : SANE_FALSE;
    return p;
}

// The bytes a scanner sends for the made-up picture; padding bytes are 0xAA.
Frame makeFrame(SANE_Parameters p, int height, int channel = -1)
{
    Frame f{p, {}};
    const int channels = p.format == SANE_FRAME_RGB ? 3 : 1;
    const auto bpl = static_cast<std::size_t>(p.bytes_per_line);
    for (int y = 0; y < height; ++y) {
        std::vector<unsigned char> line(bpl, 0xAA);
        if (p.depth == 1)
            std::fill(line.begin(), line.begin() + (p.pixels_per_line * channels + 7) / 8, 0);
        for (int x = 0; x < p.pixels_per_line; ++x)
            for (int c = 0; c < channels; ++c) {
                const unsigned char v = level(x, y, channel >= 0 ? channel : c);
                const auto s = static_cast<std::size_t>(x * channels + c);
                if (p.depth == 8) {
                    line[s] = v;
                } else if (p.depth == 16) {
                    const auto wide = static_cast<std::uint16_t>(v << 8 | (255 - v)); // low byte is noise
                    std::memcpy(&line[2 * s], &wide, 2);
                } else if (v < 128) { // depth 1: dark samples are set bits
                    line[s / 8] |= static_cast<unsigned char>(0x80 >> (s % 8));
                }
            }
        f.bytes.insert(f.bytes.end(), line.begin(), line.end());
    }
    return f;
}

// Feeds frames in chunks of the given size and returns the finished file.
QByteArray assemble(const std::vector<Frame> &frames, std::size_t chunk, QString *error = nullptr)
{
    QBuffer out;
    out.open(QIODevice::ReadWrite);
    BmpAssembler bmp(out, 300);
    bool ok = true;
    for (const Frame &f : frames) {
        ok = ok && bmp.beginFrame(f.p);
        for (std::size_t at = 0; ok && at < f.bytes.size(); at += chunk)
            ok = bmp.addData(f.bytes.data() + at, static_cast<long long>(std::min(chunk, f.bytes.size() - at)));
        ok = ok && bmp.endFrame();
    }
    ok = ok && bmp.finish();
    if (error)
        *error = bmp.error();
    return ok ? out.data() : QByteArray();
}

QImage decode(const QByteArray &file)
{
    QBuffer in;
    in.setData(file);
    in.open(QIODevice::ReadOnly);
    QImageReader reader(&in, "bmp");
    QImage image = reader.read();
    EXPECT_FALSE(image.isNull()) << reader.errorString().toStdString();
    return image;
}

std::int32_t headerField(const QByteArray &file, int offset)
{
    return qFromLittleEndian<std::int32_t>(file.constData() + offset);
}

std::uint16_t bitsPerPixel(const QByteArray &file)
{
    return qFromLittleEndian<std::uint16_t>(file.constData() + 28);
}

// Expects the decoded picture to show the made-up picture, reduced to what depth keeps.
void expectPicture(const QImage &image, int width, int height, bool colour, int depth)
{
    ASSERT_EQ(image.width(), width);
    ASSERT_EQ(image.height(), height);
    const auto reduce = [depth](unsigned char v) { return depth == 1 ? (v < 128 ? 0 : 255) : int(v); };
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const QRgb px = image.pixel(x, y);
            const int r = reduce(level(x, y, 0));
            const int g = colour ? reduce(level(x, y, 1)) : r;
            const int b = colour ? reduce(level(x, y, 2)) : r;
            ASSERT_EQ(qRed(px), r) << "x=" << x << " y=" << y;
            ASSERT_EQ(qGreen(px), g) << "x=" << x << " y=" << y;
            ASSERT_EQ(qBlue(px), b) << "x=" << x << " y=" << y;
        }
}

} // namespace

struct KindCase {
    SANE_Frame format;
    int depth;
    std::uint16_t bmpBits;
};

void PrintTo(const KindCase &k, std::ostream *out)
{
    *out << "format " << k.format << " depth " << k.depth;
}

class OnePassKinds : public testing::TestWithParam<KindCase> { };

TEST_P(OnePassKinds, DecodesInAnyChunkingAndWithPadding)
{
    const KindCase k = GetParam();
    const bool colour = k.format == SANE_FRAME_RGB;
    const int width = 13, height = 7; // rows that are neither byte- nor word-aligned
    const SANE_Parameters tight = params(k.format, k.depth, width, height);
    const SANE_Parameters padded = params(k.format, k.depth, width, height, tight.bytes_per_line + 5);
    for (const SANE_Parameters &p : {tight, padded})
        for (std::size_t chunk : {std::size_t(1), std::size_t(7), std::size_t(4096)}) {
            SCOPED_TRACE("bpl=" + std::to_string(p.bytes_per_line) + " chunk=" + std::to_string(chunk));
            const QByteArray file = assemble({makeFrame(p, height)}, chunk);
            ASSERT_FALSE(file.isEmpty());
            EXPECT_EQ(bitsPerPixel(file), k.bmpBits);
            EXPECT_EQ(headerField(file, 22), -height) << "stored top-down";
            EXPECT_EQ(headerField(file, 2), file.size()) << "file size in the header";
            expectPicture(decode(file), width, height, colour, k.depth);
        }
}

INSTANTIATE_TEST_SUITE_P(Frames, OnePassKinds,
                         testing::Values(KindCase{SANE_FRAME_GRAY, 1, 1}, KindCase{SANE_FRAME_GRAY, 8, 8},
                                         KindCase{SANE_FRAME_GRAY, 16, 8}, KindCase{SANE_FRAME_RGB, 1, 24},
                                         KindCase{SANE_FRAME_RGB, 8, 24}, KindCase{SANE_FRAME_RGB, 16, 24}),
                         [](const testing::TestParamInfo<KindCase> &param) {
                             return std::string(param.param.format == SANE_FRAME_RGB ? "Rgb" : "Grey")
                                 + std::to_string(param.param.depth);
                         });

TEST(Frames, LineartKeepsSetBitsBlackInATwoColourPalette)
{
    SANE_Parameters p = params(SANE_FRAME_GRAY, 1, 8, 1);
    Frame f{p, {0xF0}}; // four black, then four white pixels
    const QByteArray file = assemble({f}, 1);
    ASSERT_EQ(bitsPerPixel(file), 1);
    const QImage image = decode(file);
    for (int x = 0; x < 8; ++x)
        EXPECT_EQ(qGray(image.pixel(x, 0)), x < 4 ? 0 : 255) << x;
}

TEST(Frames, ThreePassInAnyOrderBuildsOneColourImage)
{
    const int width = 9, height = 5;
    const int order[] = {2, 0, 1}; // blue, red, green
    for (int depth : {8, 16}) {
        std::vector<Frame> frames;
        for (int i = 0; i < 3; ++i) {
            const int c = order[i];
            const auto format = static_cast<SANE_Frame>(SANE_FRAME_RED + c);
            frames.push_back(makeFrame(params(format, depth, width, height, 0, i == 2), height, c));
        }
        const QByteArray file = assemble(frames, 5);
        ASSERT_FALSE(file.isEmpty());
        EXPECT_EQ(bitsPerPixel(file), 24);
        expectPicture(decode(file), width, height, true, 8);
    }
}

TEST(Frames, UnknownHeightTakesTheLinesThatArrived)
{
    const int width = 10, height = 6;
    Frame f = makeFrame(params(SANE_FRAME_GRAY, 8, width, -1), height);
    f.bytes.resize(f.bytes.size() + 4, 0); // a trailing half line is dropped
    const QByteArray file = assemble({f}, 3);
    EXPECT_EQ(headerField(file, 22), -height);
    expectPicture(decode(file), width, height, false, 8);

    // Fewer lines than announced: the image is as high as what came.
    Frame shortFrame = makeFrame(params(SANE_FRAME_RGB, 8, width, 20), height);
    expectPicture(decode(assemble({shortFrame}, 64)), width, height, true, 8);
}

TEST(Frames, RefusesBrokenInputWithAGermanReason)
{
    const SANE_Parameters good = params(SANE_FRAME_GRAY, 8, 4, 2);
    struct Bad {
        const char *what;
        std::vector<Frame> frames;
    };
    const Bad cases[] = {
        {"no data at all", {Frame{good, {}}}},
        {"too few bytes per line", {Frame{params(SANE_FRAME_GRAY, 8, 4, 2, 3), {}}}},
        {"a gigabyte per line for four pixels", {Frame{params(SANE_FRAME_GRAY, 8, 4, 2, 1 << 30), {}}}},
        {"unsupported depth", {Frame{params(SANE_FRAME_GRAY, 4, 4, 2), {}}}},
        {"no width", {Frame{params(SANE_FRAME_GRAY, 8, 0, 2), {}}}},
        {"three-pass without blue",
         {makeFrame(params(SANE_FRAME_RED, 8, 4, 2, 0, false), 2), makeFrame(params(SANE_FRAME_GREEN, 8, 4, 2, 0, true), 2)}},
        {"a colour twice",
         {makeFrame(params(SANE_FRAME_RED, 8, 4, 2, 0, false), 2), makeFrame(params(SANE_FRAME_RED, 8, 4, 2, 0, false), 2)}},
        {"frames of different widths",
         {makeFrame(params(SANE_FRAME_RED, 8, 4, 2, 0, false), 2), makeFrame(params(SANE_FRAME_GREEN, 8, 5, 2, 0, false), 2)}},
        {"a frame after the last one", {makeFrame(good, 2), makeFrame(good, 2)}},
    };
    for (const Bad &c : cases) {
        QString error;
        EXPECT_TRUE(assemble(c.frames, 16, &error).isEmpty()) << c.what;
        EXPECT_FALSE(error.isEmpty()) << c.what;
    }
}

TEST(Frames, NegativeReadLengthIsRefusedAndWritesNothingMore)
{
    QBuffer out;
    out.open(QIODevice::ReadWrite);
    BmpAssembler bmp(out);
    ASSERT_TRUE(bmp.beginFrame(params(SANE_FRAME_GRAY, 8, 4, 2)));
    const unsigned char line[4] = {1, 2, 3, 4};
    ASSERT_TRUE(bmp.addData(line, 4));
    const qint64 before = out.size();
    EXPECT_FALSE(bmp.addData(line, -4));
    EXPECT_TRUE(bmp.error().contains(QStringLiteral("negative")));
    EXPECT_EQ(out.size(), before);
    EXPECT_EQ(bmp.bytesReceived(), 4);
}

TEST(Frames, ReportsProgressAgainstTheAnnouncedSize)
{
    QBuffer out;
    out.open(QIODevice::ReadWrite);
    BmpAssembler bmp(out);
    ASSERT_TRUE(bmp.beginFrame(params(SANE_FRAME_RED, 8, 4, 2, 0, false)));
    EXPECT_EQ(bmp.bytesExpected(), 3 * 8);
    BmpAssembler unknown(out);
    ASSERT_TRUE(unknown.beginFrame(params(SANE_FRAME_GRAY, 8, 4, -1)));
    EXPECT_EQ(unknown.bytesExpected(), -1);
}

// A little-endian .mo file holding the given pairs, sorted as the format wants.
static QByteArray moFile(const std::vector<std::pair<QByteArray, QByteArray>> &pairs)
{
    const auto n = static_cast<std::uint32_t>(pairs.size());
    QByteArray head(28, '\0'), tables(static_cast<qsizetype>(16 * n), '\0'), strings;
    const std::uint32_t fields[] = {0x950412de, 0, n, 28, 28 + 8 * n, 0, 0};
    for (int i = 0; i < 7; ++i)
        qToLittleEndian(fields[i], head.data() + 4 * i);
    const std::uint32_t stringsAt = 28 + 16 * n;
    for (std::uint32_t i = 0; i < n; ++i)
        for (int t = 0; t < 2; ++t) {
            const QByteArray &s = t == 0 ? pairs[i].first : pairs[i].second;
            char *entry = tables.data() + (t == 0 ? 0 : 8 * n) + 8 * i;
            qToLittleEndian(static_cast<std::uint32_t>(s.size()), entry);
            qToLittleEndian(stringsAt + static_cast<std::uint32_t>(strings.size()), entry + 4);
            strings += s + '\0';
        }
    return head + tables + strings;
}

TEST(Catalogue, ReadsMoFilesAndSurvivesDamagedOnes)
{
    Catalogue c;
    ASSERT_TRUE(c.parse(moFile(
        {{"", "Content-Type: text/plain"}, {"Gray", "Graustufen"}, {"Scan mode", QByteArray("Scanmodus\0Scanmodi", 18)}})));
    EXPECT_EQ(c.translate("Gray"), QStringLiteral("Graustufen"));
    EXPECT_EQ(c.translate("Scan mode"), QStringLiteral("Scanmodus"));
    EXPECT_EQ(c.translate("Unknown"), QStringLiteral("Unknown"));

    QByteArray broken = moFile({{"Gray", "Graustufen"}});
    qToLittleEndian(std::uint32_t(1u << 30), broken.data() + 28 + 12); // translation far beyond the end
    EXPECT_FALSE(c.parse(broken));
    EXPECT_EQ(c.size(), 0);
    EXPECT_FALSE(c.parse(QByteArray("no catalogue")));
}

TEST(Catalogue, BackendsSpeakGermanWhateverTheLocale)
{
    EXPECT_EQ(trSane("Scan mode"), QStringLiteral("Scanmodus"));
    EXPECT_EQ(trSane("Flatbed"), QStringLiteral("Flachbett"));
}
