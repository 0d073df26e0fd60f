#pragma once
// Turning and cutting pictures: quarter turns by a transposing copy of the pixels in their
// own format, crops that share the rows of the picture they come from, and turns by any
// angle with bilinear filtering. Long ones look at a cancel flag between blocks of rows.

#include "image/Picture.h"

#include <QImage>
#include <QRect>
#include <QTransform>
#include <atomic>
#include <exception>
#include <optional>

namespace img {

// Thrown by an edit whose cancel flag was set; the picture it worked on is unchanged.
struct Cancelled : std::exception {
    const char *what() const noexcept override { return "cancelled"; }
};
using CancelFlag = const std::atomic<bool> *;

enum class Turn { Left, Right, Half };

// The picture turned by a quarter (Left: counter-clockwise) or half turn, in its own pixel
// format. Out of memory is a run-time error.
QImage turned(const QImage &image, Turn turn, CancelFlag cancel = nullptr);
// The pixels of area (clipped to the picture). Shares the picture's rows where the format
// allows (not for 1-bit pictures cut off a byte boundary); writing to it makes it a copy.
QImage cropped(const QImage &image, QRect area);
// The picture turned clockwise by degrees about its centre, bilinear, in a box that holds
// all of it; what the turn exposes is fill.
QImage rotated(const QImage &image, double degrees, QRgb fill, CancelFlag cancel = nullptr);
// Where rotated(picture of size, degrees, ...) puts each point of the picture: for carrying
// positions found on one of the two onto the other (its inverse goes back).
QTransform rotation(QSize size, double degrees);
// The colour of the picture's border: the median of each channel over its outer rows and
// columns, where a scan shows the lid or the paper's margin.
QRgb borderColour(const QImage &image);

// One edit of a picture: a quarter or half turn, then a turn by an angle, then a crop.
struct Edit {
    std::optional<Turn> turn;
    double degrees = 0; // clockwise
    QRgb fill = 0; // what a turn by an angle exposes
    QRect area; // empty: no crop
};
// The picture with the edit applied; its resolution follows (x and y swapped by a quarter turn).
Picture applied(const Picture &picture, const Edit &edit, CancelFlag cancel = nullptr);

// Throws Cancelled when the flag is set.
void checkCancel(CancelFlag cancel);

} // namespace img
