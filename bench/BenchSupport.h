#pragma once
// Small helpers for the benchmarks: clocks, medians, percentiles and the line each figure
// prints.

#include <QString>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

namespace bench {

inline double nowMs()
{
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

inline double percentile(std::vector<double> v, double p)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const size_t i = std::min(v.size() - 1, static_cast<size_t>(p / 100.0 * static_cast<double>(v.size() - 1) + 0.5));
    return v[i];
}

inline double median(std::vector<double> v)
{
    return percentile(std::move(v), 50);
}

// One figure: ours against the reference, measured in the same run.
inline void report(const char *figure, double ours, double reference, double goal, const char *unit = "ms")
{
    const double ratio = reference > 0 ? ours / reference : 0;
    std::printf("%-44s ours %9.2f %s   reference %9.2f %s   ratio %5.2f   goal <= %.2f  %s\n", figure, ours, unit, reference,
                unit, ratio, goal, ratio <= goal ? "met" : "MISSED");
    std::fflush(stdout);
}

} // namespace bench
