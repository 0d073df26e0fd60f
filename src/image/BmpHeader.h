#pragma once
// The layout of an uncompressed BMP file's headers, written in one place for every BMP we
// write: the scanner library's scans, the clipboard's image/bmp and the tests' pictures.
// Plain C++ with no toolkit, so that the scanner library's helper can use it too.

#include <cmath>
#include <cstddef>
#include <cstdint>

namespace bmp {

// File header (14 bytes) and info header (40 bytes), before the palette.
inline constexpr std::uint32_t headerSize = 14 + 40;

// Bytes of one row of pixels: bits per row rounded up to whole 32-bit words.
constexpr std::uint64_t rowStride(std::int64_t width, int bitsPerPixel)
{
    return (static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(bitsPerPixel) + 31) / 32 * 4;
}

// Dots per inch as the pixels per metre the header stores; 0 where the resolution is unknown.
inline std::uint32_t pixelsPerMetre(double dotsPerInch)
{
    return dotsPerInch > 0 ? static_cast<std::uint32_t>(std::lround(dotsPerInch * 10000.0 / 254.0)) : 0;
}

struct Header {
    std::int32_t width = 0;
    std::int32_t height = 0; // negative: the rows run from top to bottom
    std::uint16_t bitsPerPixel = 24;
    std::uint32_t xPixelsPerMetre = 0; // 0: the resolution is unknown
    std::uint32_t yPixelsPerMetre = 0;
    std::uint32_t paletteEntries = 0;
    // The pixels start at a multiple of this many bytes from the file's start (zeros fill the
    // gap), so that a reader can use the rows in place, aligned as painting code wants them.
    std::uint32_t pixelAlignment = 1;

    std::uint32_t pixelOffset() const
    {
        const std::uint32_t end = headerSize + 4 * paletteEntries;
        return (end + pixelAlignment - 1) / pixelAlignment * pixelAlignment;
    }
    std::uint64_t imageSize() const
    {
        const std::int64_t rows = height < 0 ? -std::int64_t{height} : height;
        return rowStride(width, bitsPerPixel) * static_cast<std::uint64_t>(rows);
    }
    std::uint64_t fileSize() const { return pixelOffset() + imageSize(); }

    // Writes the headers and the palette (colours as 0xRRGGBB, paletteEntries of them) to
    // out, which holds pixelOffset() bytes and is zero beyond the palette. A file size beyond
    // 32 bits is stored as 0.
    void write(unsigned char *out, const std::uint32_t *palette = nullptr) const
    {
        const auto put16 = [&out](std::uint32_t v) {
            *out++ = static_cast<unsigned char>(v);
            *out++ = static_cast<unsigned char>(v >> 8);
        };
        const auto put32 = [&put16](std::uint32_t v) {
            put16(v & 0xFFFF);
            put16(v >> 16);
        };
        const auto fit32 = [](std::uint64_t v) { return v > 0xFFFFFFFFu ? 0u : static_cast<std::uint32_t>(v); };
        *out++ = 'B';
        *out++ = 'M';
        put32(fit32(fileSize()));
        put32(0);
        put32(pixelOffset());
        put32(40);
        put32(static_cast<std::uint32_t>(width));
        put32(static_cast<std::uint32_t>(height));
        put16(1);
        put16(bitsPerPixel);
        put32(0); // uncompressed
        put32(fit32(imageSize()));
        put32(xPixelsPerMetre);
        put32(yPixelsPerMetre);
        put32(paletteEntries);
        put32(0);
        for (std::uint32_t i = 0; i < paletteEntries; ++i) {
            const std::uint32_t rgb = palette ? palette[i] : 0;
            put32(rgb & 0xFFFFFF); // blue, green, red, 0
        }
    }
};

} // namespace bmp
