// libFuzzer target: turning scanner frames into a BMP. The input is read as a script of
// frames, each with its parameters (lying ones included: any format, depth, size, unknown
// height, last-frame flag) and its data in chunks of any length, negative ones included.
// Whatever arrives, the assembler answers with a BMP or an error, and a BMP it completes
// must read back at the size it announced.

#include "image/BmpReader.h"
#include "scanlib/helper/BmpAssembler.h"

#include <QBuffer>
#include <QCoreApplication>
#include <cstdint>
#include <cstring>

using scanlib::BmpAssembler;

namespace {

class Script {
public:
    Script(const std::uint8_t *data, std::size_t size) : data_(data), size_(size) { }
    bool atEnd() const { return pos_ >= size_; }
    template <class T>
    T take()
    {
        T value{};
        const std::size_t n = std::min(sizeof(T), size_ - std::min(pos_, size_));
        std::memcpy(&value, data_ + pos_, n);
        pos_ += n;
        return value;
    }
    const std::uint8_t *bytes(std::size_t &n)
    {
        n = std::min(n, size_ - std::min(pos_, size_));
        const std::uint8_t *p = data_ + pos_;
        pos_ += n;
        return p;
    }

private:
    const std::uint8_t *data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QCoreApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    Script script(data, size);
    QByteArray bytes;
    QBuffer out(&bytes);
    out.open(QIODevice::ReadWrite);
    BmpAssembler assembler(out, script.take<std::uint8_t>());
    const int frames = 1 + script.take<std::uint8_t>() % 4;
    bool ok = true;
    int width = 0;
    for (int f = 0; f < frames && ok; ++f) {
        SANE_Parameters p{};
        const auto shape = script.take<std::uint8_t>();
        p.format = static_cast<SANE_Frame>(shape % 6); // GRAY, RGB, RED, GREEN, BLUE and one beyond
        p.last_frame = (shape & 0x80) != 0;
        const int depths[] = {1, 8, 16, 0, 3, 32};
        p.depth = depths[(shape >> 3) % 6];
        // Small sizes mostly, so that the fuzzer reaches whole images; sometimes anything.
        const bool wild = (shape & 0x40) != 0;
        p.pixels_per_line = wild ? script.take<std::int32_t>() : script.take<std::uint8_t>();
        p.lines = wild ? script.take<std::int32_t>() : script.take<std::int8_t>();
        const int padding = script.take<std::int8_t>();
        const int channels = p.format == SANE_FRAME_RGB ? 3 : 1;
        p.bytes_per_line
            = wild ? script.take<std::int32_t>() : (p.pixels_per_line * channels * std::max(p.depth, 1) + 7) / 8 + padding;
        width = p.pixels_per_line;
        ok = assembler.beginFrame(p);
        while (ok && !script.atEnd()) {
            const auto chunk = script.take<std::int16_t>();
            if (chunk == 0)
                break; // the frame ends here
            std::size_t n = chunk < 0 ? 0 : static_cast<std::size_t>(chunk);
            const std::uint8_t *piece = script.bytes(n);
            ok = assembler.addData(piece, chunk < 0 ? chunk : static_cast<long long>(n));
        }
        if (ok)
            ok = assembler.endFrame();
    }
    if (ok && assembler.finish()) {
        const std::optional<QImage> image = img::readPlainBmp(out, QStringLiteral("fuzz"), qint64{1} << 30);
        if (!image || image->width() != width)
            __builtin_trap(); // a finished BMP that does not read back
    }
    return 0;
}
