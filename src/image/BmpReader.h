#pragma once
// A direct reader for the uncompressed BMP files that scans arrive in (1, 8, 24 and 32 bits
// per pixel): the pixel rows go straight from the file into the image's memory, in the
// file's own layout, with no conversion pass.

#include <QIODevice>
#include <QImage>
#include <QSize>
#include <QString>
#include <optional>

namespace img {

// The picture, or nothing when the file is no BMP of a kind this reader takes (the general
// loader then tries). Throws a run-time error for a BMP of such a kind that is damaged or
// too large for memory.
// The device is read from its start; name only goes into messages. The file's resolution goes
// to dotsPerMeter when asked for: empty when the file names none (0 in either direction).
std::optional<QImage> readPlainBmp(QIODevice &device, const QString &name, qint64 allocationLimitBytes,
                                   QSize *dotsPerMeter = nullptr);

} // namespace img
