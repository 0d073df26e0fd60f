#pragma once
// Small helpers for the benchmarks: the clock, and the one format every figure prints in.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace bench {

inline double nowMs()
{
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

// The measurements of one quantity, one per run (or per step).
class Sample {
public:
    Sample() = default;
    Sample(std::vector<double> values) : values_(std::move(values)) { std::sort(values_.begin(), values_.end()); }
    void add(double value) { values_.insert(std::upper_bound(values_.begin(), values_.end(), value), value); }
    size_t size() const { return values_.size(); }
    double percentile(double p) const
    {
        if (values_.empty())
            return 0;
        const double i = p / 100.0 * static_cast<double>(values_.size() - 1);
        return values_[std::min(values_.size() - 1, static_cast<size_t>(i + 0.5))];
    }
    double median() const { return percentile(50); }
    double min() const { return values_.empty() ? 0 : values_.front(); }
    double max() const { return values_.empty() ? 0 : values_.back(); }

private:
    std::vector<double> values_;
};

// The element-wise sum of series measured run by run (floors that add up).
inline Sample sum(const std::vector<double> &a, const std::vector<double> &b, const std::vector<double> &c = {})
{
    std::vector<double> s;
    for (size_t i = 0; i < std::min(a.size(), b.size()); ++i)
        s.push_back(a[i] + b[i] + (c.empty() ? 0.0 : c.at(i)));
    return Sample(s);
}

// Which statistic of the samples a figure compares.
enum class Statistic { Median, P99 };

// One figure: ours against a reference measured in the same run, compared by the chosen
// statistic; goal 0 for a figure without a goal (a peer). Prints the statistic of each side with the
// range it came from ("median 12.30 (11.90–13.10)" or "p99 1.20 (median 0.50)"), the ratio
// and the verdict.
struct Figure {
    std::string name;
    Sample ours;
    Sample reference;
    double goal = 0;
    Statistic statistic = Statistic::Median;
    const char *unit = "ms";

    double value(const Sample &s) const { return statistic == Statistic::Median ? s.median() : s.percentile(99); }
    std::string describe(const Sample &s) const
    {
        char text[96];
        if (statistic == Statistic::Median)
            std::snprintf(text, sizeof text, "median %8.2f %s (%.2f–%.2f)", s.median(), unit, s.min(), s.max());
        else
            std::snprintf(text, sizeof text, "p99 %8.2f %s (median %.2f)", s.percentile(99), unit, s.median());
        return text;
    }
    void print() const
    {
        const double ratio = value(reference) > 0 ? value(ours) / value(reference) : 0;
        char verdict[32] = "no goal";
        if (goal > 0)
            std::snprintf(verdict, sizeof verdict, "goal <= %.2f %s", goal, ratio <= goal ? "met" : "MISSED");
        std::printf("%-46s ours %-36s reference %-36s ratio %5.2f   %s   (n=%zu/%zu)\n", name.c_str(), describe(ours).c_str(),
                    describe(reference).c_str(), ratio, verdict, ours.size(), reference.size());
        std::fflush(stdout);
    }
};

// A measured quantity without a reference of its own (a floor, a part of ours), in the same
// format.
inline void printAlone(const std::string &name, const Sample &s, const char *unit = "ms")
{
    std::printf("%-46s      median %8.2f %s (%.2f–%.2f)   (n=%zu)\n", name.c_str(), s.median(), unit, s.min(), s.max(), s.size());
    std::fflush(stdout);
}

} // namespace bench
