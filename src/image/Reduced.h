#pragma once
// A small copy of a page for finding things on it: each cell the mean colour of a square of
// pixels, made a row at a time, so that it costs no more memory than the copy itself.

#include "image/Geometry.h"

#include <QImage>
#include <QRgb>
#include <vector>

namespace img {

struct Reduced {
    int width = 0;
    int height = 0;
    int cell = 1; // pixels of the page along each side of a cell
    std::vector<QRgb> cells;
    QRgb at(int x, int y) const { return cells[std::size_t(y) * std::size_t(width) + std::size_t(x)]; }
};

// The page in cells of the size that makes its longer side at most maxSide cells.
Reduced reduced(const QImage &image, int maxSide, CancelFlag cancel = nullptr);

} // namespace img
