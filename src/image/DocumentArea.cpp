#include "image/DocumentArea.h"

#include "image/Reduced.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

namespace img {

namespace {

using Mask = std::vector<uchar>;

// Each cell of mask set where one within radius (a square) is set, cells outside the page
// counted as not set; scratch is room of the mask's size. Each pass keeps a count of the set
// cells in its window, so the radius costs nothing.
void dilate(Mask &mask, Mask &scratch, int width, int height, int radius)
{
    const auto w = std::size_t(width);
    for (int y = 0; y < height; ++y) {
        const uchar *in = mask.data() + std::size_t(y) * w;
        uchar *to = scratch.data() + std::size_t(y) * w;
        int count = 0; // set cells in [x - radius, x + radius]
        for (int x = 0; x < std::min(radius, width); ++x)
            count += in[x];
        for (int x = 0; x < width; ++x) {
            if (x + radius < width)
                count += in[x + radius];
            if (x - radius - 1 >= 0)
                count -= in[x - radius - 1];
            to[x] = count > 0 ? 1 : 0;
        }
    }
    std::vector<int> count(w, 0); // per column, set cells in [y - radius, y + radius]
    for (int y = 0; y < std::min(radius, height); ++y)
        for (std::size_t x = 0; x < w; ++x)
            count[x] += scratch[std::size_t(y) * w + x];
    for (int y = 0; y < height; ++y) {
        const uchar *enter = y + radius < height ? scratch.data() + std::size_t(y + radius) * w : nullptr;
        const uchar *leave = y - radius - 1 >= 0 ? scratch.data() + std::size_t(y - radius - 1) * w : nullptr;
        uchar *to = mask.data() + std::size_t(y) * w;
        for (std::size_t x = 0; x < w; ++x) {
            count[x] += (enter ? enter[x] : 0) - (leave ? leave[x] : 0);
            to[x] = count[x] > 0 ? 1 : 0;
        }
    }
}

void invert(Mask &mask)
{
    for (uchar &v : mask)
        v ^= 1;
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
    Mask scratch(marked.size());
    dilate(marked, scratch, w, h, radius);
    invert(marked);
    dilate(marked, scratch, w, h, radius);
    invert(marked);
    checkCancel(cancel);

    // The largest 4-connected region.
    std::vector<uchar> seen(marked.size(), 0);
    std::vector<QPoint> stack;
    qsizetype bestCount = 0;
    QRect best;
    const auto cellAt = [w](int x, int y) { return std::size_t(y) * std::size_t(w) + std::size_t(x); };
    for (int sy = 0; sy < h; ++sy)
        for (int sx = 0; sx < w; ++sx) {
            if (!marked[cellAt(sx, sy)] || seen[cellAt(sx, sy)])
                continue;
            qsizetype count = 0;
            int left = w, top = h, right = -1, bottom = -1;
            stack.assign(1, QPoint(sx, sy));
            seen[cellAt(sx, sy)] = 1;
            while (!stack.empty()) {
                const QPoint p = stack.back();
                stack.pop_back();
                ++count;
                left = std::min(left, p.x());
                right = std::max(right, p.x());
                top = std::min(top, p.y());
                bottom = std::max(bottom, p.y());
                const auto visit = [&](int nx, int ny) {
                    if (nx < 0 || ny < 0 || nx >= w || ny >= h)
                        return;
                    const std::size_t n = cellAt(nx, ny);
                    if (marked[n] && !seen[n]) {
                        seen[n] = 1;
                        stack.emplace_back(nx, ny);
                    }
                };
                visit(p.x() - 1, p.y());
                visit(p.x() + 1, p.y());
                visit(p.x(), p.y() - 1);
                visit(p.x(), p.y() + 1);
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
