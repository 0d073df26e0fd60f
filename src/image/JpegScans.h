#pragma once
// Counting the scans of a JPEG file without decoding it.

#include <QIODevice>

namespace img {

// More scans than this and a JPEG is refused (libjpeg-turbo's tools take the same limit).
inline constexpr int MaxJpegScans = 100;

// The number of scans (start-of-scan markers) in the JPEG data that the device holds, read
// from its start; counting stops early once it passes MaxJpegScans. The device is left at
// its start.
int jpegScanCount(QIODevice &device);

} // namespace img
