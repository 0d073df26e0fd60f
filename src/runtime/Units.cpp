#include "Units.h"

#include "Errors.h"

#include <QGuiApplication>
#include <QScreen>
#include <cmath>
#include <limits>

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

std::int32_t to32(double value)
{
    const double r = std::nearbyint(value); // default rounding mode: halves to even
    if (!(r >= std::numeric_limits<std::int32_t>::min() && r <= std::numeric_limits<std::int32_t>::max()))
        raise(ErrorCode::Overflow, QStringLiteral("Überlauf"));
    return static_cast<std::int32_t>(r);
}

} // namespace rt
