#pragma once
// Where the document or photo lies on the scanner's lid.

#include "image/Geometry.h"

#include <QImage>
#include <QRect>
#include <QSize>

namespace img {

// The document on the page: the lid's colour is taken from the border, what differs from it
// beyond the lid's own noise is marked, small gaps are closed, and the largest marked region's
// bounding box with 1 mm to spare is the document (dotsPerMeter says how much a millimetre is;
// 300 dpi where it is empty). A document that fills the glass, or a glass with nothing on it,
// gives the whole page.
QRect documentArea(const QImage &image, QSize dotsPerMeter, CancelFlag cancel = nullptr);

} // namespace img
