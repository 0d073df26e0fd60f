#pragma once
// Twips: 1440 to the inch. Every position and size of the window and its controls is a
// float in twips; a widget gets the nearest whole pixel.

namespace rt {

// Twips per pixel from the screen's logical DPI (15 at 96 dpi).
double twipsPerPixel();
int toPixels(double twips);
float toTwips(int pixels);

} // namespace rt
