#include "runtime/PicturePainting.h"

#include <algorithm>
#include <cstring>

namespace rt {

namespace {

// Blue, green, red bytes to 0xffRRGGBB, which in memory is blue, green, red, 0xff: each pixel
// gets a fourth byte. Four pixels at a time in one 16-byte shuffle while 16 bytes can be read,
// the rest one by one. The shuffle pays only with a byte-shuffle instruction, so x86 picks it
// at run time.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
__attribute__((target_clones("ssse3", "default")))
#endif
void widenRow(const uchar *in, quint32 *out, int width)
{
    using Bytes = unsigned char __attribute__((vector_size(16)));
    int x = 0;
    for (; x + 6 <= width; x += 4) {
        Bytes chunk;
        std::memcpy(&chunk, in + qsizetype{3} * x, sizeof chunk);
#if defined(__clang__)
        const Bytes opaque = {0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255};
        chunk = __builtin_shufflevector(chunk, opaque, 0, 1, 2, 19, 3, 4, 5, 23, 6, 7, 8, 27, 9, 10, 11, 31);
#else
        static constexpr Bytes opaque = {0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255};
        static constexpr Bytes order = {0, 1, 2, 19, 3, 4, 5, 23, 6, 7, 8, 27, 9, 10, 11, 31};
        chunk = __builtin_shuffle(chunk, opaque, order);
#endif
        std::memcpy(out + x, &chunk, sizeof chunk);
    }
    for (; x < width; ++x)
        out[x] = 0xff000000u | quint32{in[qsizetype{3} * x + 2]} << 16 | quint32{in[qsizetype{3} * x + 1]} << 8
            | in[qsizetype{3} * x];
}

} // namespace

void drawPicturePart(QPainter &painter, QPoint at, const QImage &image, const QRect &part, QImage &scratch)
{
    if (image.format() != QImage::Format_BGR888 || part.isEmpty()) {
        painter.drawImage(at, image, part);
        return;
    }
    if (scratch.width() < part.width() || scratch.height() < part.height())
        scratch
            = QImage(std::max(scratch.width(), part.width()), std::max(scratch.height(), part.height()), QImage::Format_RGB32);
    if (scratch.isNull()) { // no memory for it: the slower way
        painter.drawImage(at, image, part);
        return;
    }
    for (int y = 0; y < part.height(); ++y)
        widenRow(image.constScanLine(part.top() + y) + qsizetype{3} * part.left(),
                 reinterpret_cast<quint32 *>(scratch.scanLine(y)), part.width());
    painter.drawImage(at, scratch, QRect(QPoint(0, 0), part.size()));
}

} // namespace rt
