#include "image/JpegScans.h"

namespace img {

namespace {

// Reads the device in blocks, one byte at a time for the parser.
class Bytes {
public:
    explicit Bytes(QIODevice &device) : device_(device) { }
    // The next byte, or -1 at the end.
    int next()
    {
        if (pos_ == block_.size()) {
            block_ = device_.read(1 << 16);
            pos_ = 0;
            if (block_.isEmpty())
                return -1;
        }
        return static_cast<unsigned char>(block_[pos_++]);
    }

private:
    QIODevice &device_;
    QByteArray block_;
    qsizetype pos_ = 0;
};

} // namespace

int jpegScanCount(QIODevice &device)
{
    device.seek(0);
    Bytes in(device);
    int scans = 0;
    int c = in.next();
    // Markers: 0xFF then a code; a segment's length follows every marker but the stand-alone
    // ones; after a start of scan, the entropy-coded data runs to the next marker other than a
    // restart marker (0xFF 0x00 is a stuffed data byte).
    while (c >= 0 && scans <= MaxJpegScans) {
        if (c != 0xFF) {
            c = in.next();
            continue;
        }
        int code = in.next();
        while (code == 0xFF)
            code = in.next();
        if (code < 0 || code == 0xD9)
            break;
        if (code == 0x00 || code == 0x01 || code == 0xD8 || (code >= 0xD0 && code <= 0xD7)) {
            c = in.next();
            continue;
        }
        const int hi = in.next(), lo = in.next();
        if (hi < 0 || lo < 0)
            break;
        for (int length = (hi << 8 | lo) - 2; length > 0 && c >= 0; --length)
            c = in.next();
        if (code == 0xDA)
            ++scans;
        c = in.next();
    }
    device.seek(0);
    return scans;
}

} // namespace img
