#include "base/Rounding.h"

#include "base/Errors.h"

#include <cmath>
#include <limits>

namespace rt {

std::int32_t to32(double value)
{
    const double r = std::nearbyint(value); // default rounding mode: halves to even
    if (!(r >= std::numeric_limits<std::int32_t>::min() && r <= std::numeric_limits<std::int32_t>::max()))
        raise(ErrorCode::Overflow, QStringLiteral("Überlauf"));
    return static_cast<std::int32_t>(r);
}

} // namespace rt
