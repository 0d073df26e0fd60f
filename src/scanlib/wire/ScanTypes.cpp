#include "scanlib/wire/ScanTypes.h"

#include <cmath>

namespace scanlib {

double snapToRange(const OptionInfo &o, double v)
{
    v = std::clamp(v, o.min, o.max);
    if (o.quant > 0)
        v = std::min(o.max, o.min + std::round((v - o.min) / o.quant) * o.quant);
    return v;
}

double snapToConstraint(const OptionInfo &o, double v)
{
    if (o.constraint == Constraint::Range)
        return snapToRange(o, v);
    if (o.constraint == Constraint::WordList && !o.words.empty())
        return *std::min_element(o.words.begin(), o.words.end(),
                                 [v](double a, double b) { return std::abs(a - v) < std::abs(b - v); });
    return v;
}

} // namespace scanlib
