#include "scanlib/helper/BmpAssembler.h"

#include "image/BmpHeader.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <optional>

namespace scanlib {

namespace {

constexpr int maxWidth = 1 << 20;
constexpr long long maxFileSize = std::numeric_limits<std::uint32_t>::max();
constexpr std::size_t pendingLimit = std::size_t(256) * 1024;
// Rows start at a multiple of 64 bytes into the file: a reader may paint from them in place.
constexpr std::uint32_t pixelAlignment = 64;

// 8-bit value of a 16-bit sample stored in the machine's byte order.
inline unsigned char highByte(const unsigned char *sample)
{
    std::uint16_t v;
    std::memcpy(&v, sample, sizeof v);
    return static_cast<unsigned char>(v >> 8);
}

// 8-bit value of sample number index of a line; at depth 1 a set bit is black.
inline unsigned char sampleAt(const unsigned char *line, std::size_t index, int depth)
{
    switch (depth) {
    case 1: return ((line[index >> 3] >> (7 - (index & 7))) & 1) ? 0 : 255;
    case 16: return highByte(line + 2 * index);
    default: return line[index];
    }
}

// RGB to BGR for w pixels. Five pixels at a time are turned in one 16-byte shuffle while
// at least 16 bytes remain in both rows (the BMP row has room for it), the rest one by one.
// The shuffle pays only with a byte-shuffle instruction, so x86 picks it at run time.
int channelsOf(SANE_Frame format)
{
    return format == SANE_FRAME_RGB ? 3 : 1;
}

// Bytes of a line's pixels, without the padding the scanner may add.
std::size_t pixelBytesOf(const SANE_Parameters &p)
{
    const auto bits = static_cast<std::size_t>(p.pixels_per_line) * static_cast<std::size_t>(channelsOf(p.format))
        * static_cast<std::size_t>(p.depth);
    return (bits + 7) / 8;
}

int planeOf(SANE_Frame format)
{
    switch (format) {
    case SANE_FRAME_RED: return 2; // planes are kept in BMP order: blue, green, red
    case SANE_FRAME_GREEN: return 1;
    case SANE_FRAME_BLUE: return 0;
    default: return -1;
    }
}

} // namespace

#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
__attribute__((target_clones("ssse3", "default")))
#endif
void swapRedBlue(const unsigned char *in, unsigned char *out, std::size_t w)
{
    using Bytes = unsigned char __attribute__((vector_size(16)));
    [[maybe_unused]] static constexpr Bytes order = {2, 1, 0, 5, 4, 3, 8, 7, 6, 11, 10, 9, 14, 13, 12, 15};
    std::size_t x = 0;
    for (; x + 6 <= w; x += 5) {
        Bytes chunk;
        std::memcpy(&chunk, in + 3 * x, sizeof chunk);
#if defined(__clang__)
        chunk = __builtin_shufflevector(chunk, chunk, 2, 1, 0, 5, 4, 3, 8, 7, 6, 11, 10, 9, 14, 13, 12, 15);
#else
        chunk = __builtin_shuffle(chunk, order);
#endif
        std::memcpy(out + 3 * x, &chunk, sizeof chunk);
    }
    for (; x < w; ++x) {
        out[3 * x] = in[3 * x + 2];
        out[3 * x + 1] = in[3 * x + 1];
        out[3 * x + 2] = in[3 * x];
    }
}

BmpAssembler::BmpAssembler(QIODevice &out, int dotsPerInch) : out_(out), dpi_(dotsPerInch) { }

bool BmpAssembler::fail(const QString &why)
{
    error_ = why;
    return false;
}

long long BmpAssembler::bytesExpected() const
{
    if (expectedPerFrame_ < 0)
        return -1;
    return kind_ == Kind::ThreePass ? 3 * expectedPerFrame_ : expectedPerFrame_;
}

bool BmpAssembler::complete() const
{
    if (inFrame_ || kind_ == Kind::None)
        return false;
    if (kind_ == Kind::ThreePass)
        return planeDone_[0] && planeDone_[1] && planeDone_[2];
    return true;
}

bool BmpAssembler::beginFrame(const SANE_Parameters &p)
{
    if (inFrame_)
        return fail(QStringLiteral("Ein neues Teilbild begann, bevor das vorige beendet war."));
    if (finished_ || lastFrameSeen_)
        return fail(QStringLiteral("Der Scanner lieferte nach dem letzten Teilbild weitere Daten."));
    const std::optional<Kind> kind = checkedKind(p);
    if (!kind || !checkLineLength(p))
        return false;
    frame_ = p;
    if (!(kind_ == Kind::None ? startImage(*kind, p) : joinImage(*kind, p)))
        return false;
    return startFrame(*kind, p);
}

std::optional<BmpAssembler::Kind> BmpAssembler::checkedKind(const SANE_Parameters &p)
{
    Kind kind;
    switch (p.format) {
    case SANE_FRAME_GRAY: kind = p.depth == 1 ? Kind::Lineart : Kind::Grey; break;
    case SANE_FRAME_RGB: kind = Kind::Colour; break;
    case SANE_FRAME_RED:
    case SANE_FRAME_GREEN:
    case SANE_FRAME_BLUE: kind = Kind::ThreePass; break;
    default: fail(QStringLiteral("Das Bildformat des Scanners (%1) wird nicht unterstützt.").arg(p.format)); return std::nullopt;
    }
    if (p.depth != 1 && p.depth != 8 && p.depth != 16) {
        fail(QStringLiteral("Eine Farbtiefe von %1 Bit wird nicht unterstützt.").arg(p.depth));
        return std::nullopt;
    }
    if (p.pixels_per_line <= 0 || p.pixels_per_line > maxWidth || p.bytes_per_line <= 0) {
        fail(QStringLiteral("Der Scanner meldete eine ungültige Bildbreite (%1 Bildpunkte, %2 Byte je Zeile).")
                 .arg(p.pixels_per_line)
                 .arg(p.bytes_per_line));
        return std::nullopt;
    }
    return kind;
}

bool BmpAssembler::checkLineLength(const SANE_Parameters &p)
{
    const std::size_t needed = pixelBytesOf(p);
    if (needed > static_cast<std::size_t>(p.bytes_per_line))
        return fail(QStringLiteral("Der Scanner meldete zu wenige Bytes je Zeile (%1 für %2 Bildpunkte).")
                        .arg(p.bytes_per_line)
                        .arg(p.pixels_per_line));
    // Lines are padded by a few bytes at most; a line far longer than its pixels is a lie
    // that would only cost memory.
    if (static_cast<std::size_t>(p.bytes_per_line) > 2 * needed + 65536)
        return fail(QStringLiteral("Der Scanner meldete zu viele Bytes je Zeile (%1 für %2 Bildpunkte).")
                        .arg(p.bytes_per_line)
                        .arg(p.pixels_per_line));
    return true;
}

// The first frame fixes the image's kind and width; a one-pass image's header goes out at once.
bool BmpAssembler::startImage(Kind kind, const SANE_Parameters &p)
{
    kind_ = kind;
    width_ = p.pixels_per_line;
    const int bpp = kind == Kind::Lineart ? 1 : kind == Kind::Grey ? 8 : 24;
    rowStride_ = static_cast<std::size_t>(bmp::rowStride(width_, bpp));
    if (p.lines > 0 && static_cast<long long>(rowStride_) * p.lines > maxFileSize - 2000)
        return fail(QStringLiteral("Das Bild ist zu groß für eine BMP-Datei."));
    if (kind == Kind::ThreePass)
        return true;
    headerPos_ = out_.pos();
    return writeHeader(0);
}

// A later frame: only another colour plane of the same width.
bool BmpAssembler::joinImage(Kind kind, const SANE_Parameters &p)
{
    if (kind_ != Kind::ThreePass || kind != Kind::ThreePass)
        return fail(QStringLiteral("Der Scanner lieferte Teilbilder verschiedener Art."));
    if (p.pixels_per_line != width_)
        return fail(QStringLiteral("Die Teilbilder des Scanners sind verschieden breit."));
    return true;
}

bool BmpAssembler::startFrame(Kind kind, const SANE_Parameters &p)
{
    if (kind == Kind::ThreePass) {
        plane_ = planeOf(p.format);
        if (planeDone_[static_cast<std::size_t>(plane_)])
            return fail(QStringLiteral("Der Scanner lieferte einen Farbauszug zweimal."));
    }
    expectedPerFrame_ = p.lines >= 0 ? static_cast<long long>(p.bytes_per_line) * p.lines : -1;
    line_.assign(static_cast<std::size_t>(p.bytes_per_line), 0);
    lineFill_ = 0;
    frameLines_ = 0;
    inFrame_ = true;
    lastFrameSeen_ = p.last_frame != 0;
    return true;
}

bool BmpAssembler::addData(const unsigned char *data, long long length)
{
    if (!inFrame_)
        return fail(QStringLiteral("Der Scanner lieferte Daten außerhalb eines Teilbilds."));
    if (length < 0)
        return fail(QStringLiteral("Der Scanner meldete eine negative Datenmenge (%1 Byte).").arg(length));
    received_ += length;

    const std::size_t bpl = line_.size();
    auto remaining = static_cast<std::size_t>(length);
    while (remaining > 0) {
        const unsigned char *complete = nullptr;
        if (lineFill_ == 0 && remaining >= bpl) {
            complete = data; // a whole line straight from the caller's buffer
            data += bpl;
            remaining -= bpl;
        } else {
            const std::size_t take = std::min(remaining, bpl - lineFill_);
            std::memcpy(line_.data() + lineFill_, data, take);
            lineFill_ += take;
            data += take;
            remaining -= take;
            if (lineFill_ < bpl)
                break;
            lineFill_ = 0;
            complete = line_.data();
        }
        if (kind_ == Kind::ThreePass) {
            const unsigned char *row = storePlaneLine(complete);
            if (observer_)
                tell(row);
        } else {
            unsigned char *row = nextRow();
            if (!row)
                return false;
            convertLine(complete, row);
            if (observer_)
                tell(row);
        }
        ++frameLines_;
    }
    return true;
}

void BmpAssembler::convertLine(const unsigned char *line, unsigned char *out)
{
    const auto w = static_cast<std::size_t>(width_);
    const int depth = frame_.depth;
    switch (kind_) {
    case Kind::Lineart: {
        // The BMP palette has black at index 0, so the scanner's bits are inverted.
        const std::size_t bytes = (w + 7) / 8;
        for (std::size_t i = 0; i < bytes; ++i)
            out[i] = static_cast<unsigned char>(~line[i]);
        if (w % 8)
            out[bytes - 1] &= static_cast<unsigned char>(0xff << (8 - w % 8));
        break;
    }
    case Kind::Grey:
        if (depth == 8)
            std::memcpy(out, line, w);
        else
            for (std::size_t x = 0; x < w; ++x)
                out[x] = highByte(line + 2 * x);
        break;
    case Kind::Colour:
        if (depth == 8) {
            swapRedBlue(line, out, w);
        } else {
            for (std::size_t x = 0; x < w; ++x, out += 3)
                for (std::size_t c = 0; c < 3; ++c)
                    out[2 - c] = sampleAt(line, 3 * x + c, depth);
        }
        break;
    default: break;
    }
}

const unsigned char *BmpAssembler::storePlaneLine(const unsigned char *line)
{
    auto &plane = planes_[static_cast<std::size_t>(plane_)];
    const auto w = static_cast<std::size_t>(width_);
    const std::size_t offset = static_cast<std::size_t>(frameLines_) * w;
    if (plane.size() < offset + w)
        plane.resize(offset + w);
    for (std::size_t x = 0; x < w; ++x)
        plane[offset + x] = sampleAt(line, x, frame_.depth);
    return plane.data() + offset;
}

void BmpAssembler::tell(const unsigned char *pixels) const
{
    FinishedRow row;
    row.y = frameLines_;
    row.width = width_;
    row.lines = frame_.lines;
    row.pixels = pixels;
    switch (kind_) {
    case Kind::Lineart: row.layout = FinishedRow::Layout::Bits; break;
    case Kind::Grey: row.layout = FinishedRow::Layout::Grey; break;
    case Kind::Colour: row.layout = FinishedRow::Layout::Bgr; break;
    default:
        row.layout = FinishedRow::Layout::Plane;
        row.channel = 2 - plane_; // planes are kept blue, green, red
        break;
    }
    observer_->row(row);
}

bool BmpAssembler::endFrame()
{
    if (!inFrame_)
        return fail(QStringLiteral("Ein Teilbild endete, das nie begonnen hatte."));
    inFrame_ = false;
    if (kind_ == Kind::ThreePass) {
        planeDone_[static_cast<std::size_t>(plane_)] = true;
        planeLines_[static_cast<std::size_t>(plane_)] = frameLines_;
    }
    return true;
}

bool BmpAssembler::writeHeader(int height)
{
    bmp::Header header;
    header.width = width_;
    header.height = -height; // negative: rows run from top to bottom
    header.bitsPerPixel = static_cast<std::uint16_t>(kind_ == Kind::Lineart ? 1 : kind_ == Kind::Grey ? 8 : 24);
    header.paletteEntries = header.bitsPerPixel == 1 ? 2 : header.bitsPerPixel == 8 ? 256 : 0;
    header.xPixelsPerMetre = header.yPixelsPerMetre = bmp::pixelsPerMetre(dpi_);
    header.pixelAlignment = pixelAlignment;
    if (header.fileSize() > static_cast<std::uint64_t>(maxFileSize))
        return fail(QStringLiteral("Das Bild ist zu groß für eine BMP-Datei."));

    std::vector<std::uint32_t> greys(header.paletteEntries);
    for (std::uint32_t i = 0; i < header.paletteEntries; ++i) {
        const std::uint32_t level = header.paletteEntries == 2 ? i * 255 : i;
        greys[i] = level << 16 | level << 8 | level;
    }
    std::vector<unsigned char> bytes(header.pixelOffset());
    header.write(bytes.data(), greys.data());
    if (out_.write(reinterpret_cast<const char *>(bytes.data()), static_cast<qint64>(bytes.size()))
        != static_cast<qint64>(bytes.size()))
        return fail(QStringLiteral("Die Bilddatei kann nicht geschrieben werden: %1").arg(out_.errorString()));
    return true;
}

unsigned char *BmpAssembler::nextRow()
{
    if (static_cast<long long>(rowStride_) * (outputLines_ + 1) + 1100 > maxFileSize) {
        fail(QStringLiteral("Das Bild ist zu groß für eine BMP-Datei."));
        return nullptr;
    }
    // Rows are made in a block that is written when full: one write call per row costs a lot
    // at 600 dpi. The block keeps the padding at the end of each row zero.
    if (pending_.empty())
        pending_.assign(std::max(pendingLimit / rowStride_, std::size_t{1}) * rowStride_, 0);
    if (pendingFill_ == pending_.size() && !flush())
        return nullptr;
    unsigned char *row = pending_.data() + pendingFill_;
    pendingFill_ += rowStride_;
    ++outputLines_;
    return row;
}

bool BmpAssembler::flush()
{
    const auto n = static_cast<qint64>(pendingFill_);
    pendingFill_ = 0;
    if (n > 0 && out_.write(reinterpret_cast<const char *>(pending_.data()), n) != n)
        return fail(QStringLiteral("Die Bilddatei kann nicht geschrieben werden: %1").arg(out_.errorString()));
    return true;
}

bool BmpAssembler::finish()
{
    if (finished_)
        return true;
    if (inFrame_ && !endFrame())
        return false;
    if (kind_ == Kind::None || received_ == 0)
        return fail(QStringLiteral("Der Scanner hat keine Bilddaten geliefert."));

    if (kind_ == Kind::ThreePass) {
        if (!planeDone_[0] || !planeDone_[1] || !planeDone_[2])
            return fail(QStringLiteral("Der Scanner hat nicht alle drei Farbauszüge geliefert."));
        const int height = *std::max_element(planeLines_.begin(), planeLines_.end());
        if (height == 0)
            return fail(QStringLiteral("Der Scanner hat keine vollständige Bildzeile geliefert."));
        headerPos_ = out_.pos();
        if (!writeHeader(height))
            return false;
        const auto w = static_cast<std::size_t>(width_);
        for (int y = 0; y < height; ++y) {
            unsigned char *row = nextRow();
            if (!row)
                return false;
            std::fill(row, row + rowStride_, 0);
            for (std::size_t c = 0; c < 3; ++c) {
                if (y >= planeLines_[c])
                    continue;
                const unsigned char *src = planes_[c].data() + static_cast<std::size_t>(y) * w;
                for (std::size_t x = 0; x < w; ++x)
                    row[3 * x + c] = src[x];
            }
        }
        if (!flush())
            return false;
        for (auto &plane : planes_)
            std::vector<unsigned char>().swap(plane);
    } else {
        if (outputLines_ == 0)
            return fail(QStringLiteral("Der Scanner hat keine vollständige Bildzeile geliefert."));
        if (!flush())
            return false;
        const qint64 end = out_.pos();
        if (!out_.seek(headerPos_) || !writeHeader(outputLines_) || !out_.seek(end))
            return fail(QStringLiteral("Die Bilddatei kann nicht abgeschlossen werden: %1").arg(out_.errorString()));
    }
    finished_ = true;
    return true;
}

} // namespace scanlib
