#include "image/Deskew.h"

#include "image/Reduced.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <vector>

namespace img {

namespace {

// Otsu's threshold over a histogram of grey levels; 0 where the page has one level only.
int otsuThreshold(const std::array<qint64, 256> &histogram, qint64 total, double *separation)
{
    double sum = 0;
    for (std::size_t i = 0; i < 256; ++i)
        sum += double(i) * double(histogram[i]);
    double below = 0, weightBelow = 0, best = -1;
    int threshold = 0;
    *separation = 0;
    for (std::size_t t = 0; t < 256; ++t) {
        weightBelow += double(histogram[t]);
        below += double(t) * double(histogram[t]);
        const double weightAbove = double(total) - weightBelow;
        if (weightBelow == 0 || weightAbove == 0)
            continue;
        const double meanBelow = below / weightBelow, meanAbove = (sum - below) / weightAbove;
        const double between = weightBelow * weightAbove * (meanBelow - meanAbove) * (meanBelow - meanAbove);
        if (between > best) {
            best = between;
            threshold = int(t);
            *separation = meanAbove - meanBelow;
        }
    }
    return threshold;
}

struct Point {
    float x, y;
};

// How sharply the points fall into rows at an angle: the sum of squares of the row counts of
// their projection across the lines.
double profileScore(const std::vector<Point> &points, double degrees, float extent, std::vector<float> &bins)
{
    const double radians = degrees * std::numbers::pi / 180.0;
    const auto c = float(std::cos(radians)), s = float(std::sin(radians));
    // Each point shares itself between the two rows nearest to it, so that the score changes
    // smoothly with the angle below a row's height.
    bins.assign(std::size_t(2 * extent) + 3, 0);
    for (const Point &p : points) {
        const float r = p.y * c - p.x * s + extent;
        const auto row = std::size_t(r);
        const float upper = r - float(row);
        bins[row] += 1 - upper;
        bins[row + 1] += upper;
    }
    double score = 0;
    for (const float b : bins)
        score += double(b) * double(b);
    return score;
}

} // namespace

double skewAngle(const QImage &image, CancelFlag cancel)
{
    const Reduced page = reduced(image, 1200, cancel);
    if (page.cells.empty())
        return 0;
    std::array<qint64, 256> histogram{};
    for (const QRgb c : page.cells)
        ++histogram[std::size_t(qGray(c))];
    double separation = 0;
    const int threshold = otsuThreshold(histogram, qint64(page.cells.size()), &separation);
    if (separation < 24)
        return 0; // nothing stands out from the paper
    // The upper and lower edges of the darker class (of lines of text, of a photo), about
    // the page's centre; at most a quarter million of them. Edges rather than the whole of a
    // dark area, whose profile would grow with its diagonal.
    std::vector<Point> points;
    const float cx = float(page.width) / 2, cy = float(page.height) / 2;
    const auto dark = [&](int x, int y) { return qGray(page.at(x, y)) <= threshold; };
    for (int y = 1; y + 1 < page.height; ++y)
        for (int x = 0; x < page.width; ++x)
            if (dark(x, y) && (!dark(x, y - 1) || !dark(x, y + 1)))
                points.push_back({float(x) - cx, float(y) - cy});
    if (points.size() < 50)
        return 0;
    if (points.size() > 250000) {
        const std::size_t step = points.size() / 250000 + 1;
        std::vector<Point> fewer;
        for (std::size_t i = 0; i < points.size(); i += step)
            fewer.push_back(points[i]);
        points.swap(fewer);
    }
    const float extent = std::hypot(cx, cy) + 2;
    std::vector<float> bins;
    std::vector<double> coarse;
    double best = 0, bestScore = -1;
    for (double a = -MaxSkew; a <= MaxSkew + 1e-9; a += 0.5) {
        checkCancel(cancel);
        const double score = profileScore(points, a, extent, bins);
        coarse.push_back(score);
        if (score > bestScore) {
            bestScore = score;
            best = a;
        }
    }
    // Lines stand out as a peak over the angles; scattered dots give none.
    std::vector<double> sorted = coarse;
    std::nth_element(sorted.begin(), sorted.begin() + std::ptrdiff_t(sorted.size() / 2), sorted.end());
    if (bestScore < 1.05 * sorted[sorted.size() / 2])
        return 0;
    for (const double step : {0.05, 0.01}) {
        checkCancel(cancel);
        const double centre = best;
        const double span = step == 0.05 ? 0.5 : 0.05;
        for (double a = centre - span; a <= centre + span + 1e-9; a += step) {
            if (std::abs(a) > MaxSkew)
                continue;
            const double score = profileScore(points, a, extent, bins);
            if (score > bestScore) {
                bestScore = score;
                best = a;
            }
        }
    }
    return std::round(best * 100) / 100;
}

} // namespace img
