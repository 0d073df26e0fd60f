#pragma once
// A picture whose pixels are kept in a file instead of the program's memory: the file is
// written once, unnamed in a folder, and mapped for reading, so the system reads its pages
// back when they are looked at and may drop them again when memory runs short.

#include <QImage>
#include <QString>

namespace img {

// The same pixels (format, colours, resolution) read from an unnamed file in folder; a
// null image where the file cannot be written or mapped. The image is read-only: writing to
// it makes a copy in memory.
QImage fileBacked(const QImage &image, const QString &folder);

} // namespace img
