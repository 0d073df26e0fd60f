#include "image/DocumentArea.h"

#include "image/Reduced.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

namespace img {

namespace {

using Mask = std::vector<uchar>;

// Each cell set where one within radius (a square) is set; outside counts as outside.
Mask dilated(const Mask &mask, int width, int height, int radius, uchar outside)
{
    Mask across(mask.size()), out(mask.size());
    const auto at = [&](const Mask &m, int x, int y) {
        return x < 0 || y < 0 || x >= width || y >= height ? outside : m[std::size_t(y) * std::size_t(width) + std::size_t(x)];
    };
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uchar v = 0;
            for (int d = -radius; d <= radius && !v; ++d)
                v = at(mask, x + d, y);
            across[std::size_t(y) * std::size_t(width) + std::size_t(x)] = v;
        }
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uchar v = 0;
            for (int d = -radius; d <= radius && !v; ++d)
                v = at(across, x, y + d);
            out[std::size_t(y) * std::size_t(width) + std::size_t(x)] = v;
        }
    return out;
}

Mask inverted(Mask mask)
{
    for (uchar &v : mask)
        v = v ? 0 : 1;
    return mask;
}

int distance(QRgb a, QRgb b)
{
    return std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)), std::abs(qBlue(a) - qBlue(b))});
}

} // namespace

QRect documentArea(const QImage &image, QSize dotsPerMeter, CancelFlag cancel)
{
    const QRect whole = image.rect();
    const Reduced page = reduced(image, 600, cancel);
    const int w = page.width, h = page.height;
    if (w < 3 || h < 3)
        return whole;
    // The lid: the median of the outermost cells, channel by channel; its noise: the median
    // of their distances from it.
    std::vector<QRgb> border;
    for (int x = 0; x < w; ++x) {
        border.push_back(page.at(x, 0));
        border.push_back(page.at(x, h - 1));
    }
    for (int y = 1; y + 1 < h; ++y) {
        border.push_back(page.at(0, y));
        border.push_back(page.at(w - 1, y));
    }
    std::array<std::vector<int>, 3> channels;
    for (const QRgb c : border) {
        channels[0].push_back(qRed(c));
        channels[1].push_back(qGreen(c));
        channels[2].push_back(qBlue(c));
    }
    const auto median = [](std::vector<int> v) {
        std::nth_element(v.begin(), v.begin() + std::ptrdiff_t(v.size() / 2), v.end());
        return v[v.size() / 2];
    };
    const QRgb lid = qRgb(median(channels[0]), median(channels[1]), median(channels[2]));
    std::vector<int> deviations;
    deviations.reserve(border.size());
    for (const QRgb c : border)
        deviations.push_back(distance(c, lid));
    const double noise = 1.4826 * median(deviations);
    if (noise > 12)
        return whole; // no even lid around it: the document fills the glass
    const int threshold = std::max(8, int(std::ceil(4 * noise)) + 4);

    Mask marked(page.cells.size());
    for (std::size_t i = 0; i < marked.size(); ++i)
        marked[i] = distance(page.cells[i], lid) > threshold ? 1 : 0;
    checkCancel(cancel);
    // Closing: gaps up to about a millimetre and a half between marked cells are filled.
    const double pixelsPerMm = dotsPerMeter.isEmpty() ? 300 / 25.4 : dotsPerMeter.width() / 1000.0;
    const int radius = std::max(1, int(std::lround(0.75 * pixelsPerMm / page.cell)));
    marked = inverted(dilated(inverted(dilated(marked, w, h, radius, 0)), w, h, radius, 0));
    checkCancel(cancel);

    // The largest 4-connected region.
    std::vector<int> label(marked.size(), -1);
    std::vector<std::size_t> stack;
    qsizetype bestCount = 0;
    QRect best;
    for (std::size_t start = 0; start < marked.size(); ++start) {
        if (!marked[start] || label[start] >= 0)
            continue;
        qsizetype count = 0;
        int left = w, top = h, right = -1, bottom = -1;
        stack.assign(1, start);
        label[start] = 1;
        while (!stack.empty()) {
            const std::size_t i = stack.back();
            stack.pop_back();
            ++count;
            const int x = int(i % std::size_t(w)), y = int(i / std::size_t(w));
            left = std::min(left, x);
            right = std::max(right, x);
            top = std::min(top, y);
            bottom = std::max(bottom, y);
            const auto visit = [&](int nx, int ny) {
                if (nx < 0 || ny < 0 || nx >= w || ny >= h)
                    return;
                const std::size_t n = std::size_t(ny) * std::size_t(w) + std::size_t(nx);
                if (marked[n] && label[n] < 0) {
                    label[n] = 1;
                    stack.push_back(n);
                }
            };
            visit(x - 1, y);
            visit(x + 1, y);
            visit(x, y - 1);
            visit(x, y + 1);
        }
        if (count > bestCount) {
            bestCount = count;
            best = QRect(QPoint(left, top), QPoint(right, bottom));
        }
    }
    // Specks of noise, a hair or dust on an empty glass: no document.
    if (bestCount * 500 < qsizetype(marked.size()))
        return whole;
    const int margin = int(std::lround(pixelsPerMm));
    const QRect area = QRect(best.left() * page.cell, best.top() * page.cell, best.width() * page.cell, best.height() * page.cell)
                           .adjusted(-margin, -margin, margin, margin)
        & whole;
    return area;
}

} // namespace img
