#pragma once
// The images of an icon file (.ico), read here rather than through the toolkit's image
// plugins: their first use costs milliseconds that the window would wait for before it is
// mapped. Reads the uncompressed kinds (1, 4 and 8 bits per pixel with a palette, 24 and 32
// bits) with their transparency masks.

#include <QByteArray>
#include <QImage>
#include <vector>

// The icon's images as ARGB32, in the file's order; empty when the file holds anything else
// (a PNG entry, a damaged or cut-short file), and the caller reads it the general way.
namespace img {

std::vector<QImage> readIcoImages(const QByteArray &data);

} // namespace img
