#pragma once
// Painting a part of a picture at its own size, as fast as the screen allows.

#include <QImage>
#include <QPainter>
#include <QPoint>
#include <QRect>

namespace rt {

// Draws part of image with its top-left corner at at. Colour scans come as 24-bit rows in
// blue-green-red order, which the toolkit converts for the screen three times slower than it
// need be: those rows are widened to 32 bits into scratch first (kept for the next call),
// which then goes to the screen as it is.
void drawPicturePart(QPainter &painter, QPoint at, const QImage &image, const QRect &part, QImage &scratch);

} // namespace rt
