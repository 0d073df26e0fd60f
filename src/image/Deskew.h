#pragma once
// How far the lines of a page (its text, or the edges of a photo on it) are turned.

#include "image/Geometry.h"

#include <QImage>

namespace img {

// The largest turn looked for, either way, in degrees.
constexpr double MaxSkew = 20.0;

// The angle (degrees, clockwise, within ±MaxSkew, to a twentieth of a degree) by which the
// page's content is turned; 0 when it shows no lines. The page is straight again after
// rotated(image, -skewAngle(image), ...).
double skewAngle(const QImage &image, CancelFlag cancel = nullptr);

} // namespace img
