#include "runtime/Units.h"

#include <QGuiApplication>
#include <QScreen>
#include <cmath>

namespace rt {

double twipsPerPixel()
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    const double dpi = screen ? screen->logicalDotsPerInch() : 96.0;
    return 1440.0 / (dpi > 0 ? dpi : 96.0);
}

int toPixels(double twips)
{
    return static_cast<int>(std::lround(twips / twipsPerPixel()));
}

float toTwips(int pixels)
{
    return static_cast<float>(pixels * twipsPerPixel());
}

} // namespace rt
