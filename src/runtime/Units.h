#pragma once
// Twips: 1440 to the inch. Every position and size of the window and its controls is a
// float in twips; a widget gets the nearest whole pixel.

#include <cstdint>

namespace rt {

// Twips per pixel from the screen's logical DPI (15 at 96 dpi).
double twipsPerPixel();
int toPixels(double twips);
float toTwips(int pixels);

// Rounds to the nearest integer, halves to the even neighbour; an overflow error outside
// the 32-bit signed range.
std::int32_t to32(double value);

} // namespace rt
