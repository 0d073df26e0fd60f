#include "scanlib/helper/BandSampler.h"

#include <algorithm>

namespace scanlib {

namespace {

// A band stays well below the largest message, however wide the picture.
constexpr std::size_t bandBytesLimit = std::size_t(4) << 20;

} // namespace

BandSampler::BandSampler(int sample) : sample_(std::max(1, sample)) { }

void BandSampler::row(const FinishedRow &row)
{
    if (row.y % sample_ != 0 || row.width <= 0)
        return;
    if (width_ == 0)
        width_ = (row.width + sample_ - 1) / sample_;
    lines_ = row.lines;
    const int r = row.y / sample_;
    const std::size_t stride = std::size_t(width_) * 3;
    if (rgb_.size() < (std::size_t(r) + 1) * stride)
        rgb_.resize((std::size_t(r) + 1) * stride, 0);
    unsigned char *out = rgb_.data() + std::size_t(r) * stride;
    const unsigned char *in = row.pixels;
    const auto n = std::size_t(sample_), w = std::size_t(width_);
    switch (row.layout) { // a preview takes every pixel of every row: each layout has its own loop
    case FinishedRow::Layout::Bits:
        for (std::size_t x = 0, p = 0; x < w; ++x, p += n, out += 3)
            out[0] = out[1] = out[2] = (in[p >> 3] >> (7 - (p & 7))) & 1 ? 255 : 0;
        break;
    case FinishedRow::Layout::Grey:
        for (std::size_t x = 0, p = 0; x < w; ++x, p += n, out += 3)
            out[0] = out[1] = out[2] = in[p];
        break;
    case FinishedRow::Layout::Bgr:
        if (n == 1) {
            swapRedBlue(in, out, w);
            break;
        }
        for (std::size_t x = 0, p = 0; x < w; ++x, p += 3 * n, out += 3) {
            out[0] = in[p + 2];
            out[1] = in[p + 1];
            out[2] = in[p];
        }
        break;
    case FinishedRow::Layout::Plane:
        for (std::size_t x = 0, p = 0; x < w; ++x, p += n, out += 3)
            out[row.channel] = in[p];
        break;
    }
    if (changedBegin_ == changedEnd_) {
        changedBegin_ = r;
        changedEnd_ = r + 1;
    } else {
        changedBegin_ = std::min(changedBegin_, r);
        changedEnd_ = std::max(changedEnd_, r + 1);
    }
}

bool BandSampler::take(wire::Band &band)
{
    if (changedBegin_ == changedEnd_)
        return false;
    const std::size_t stride = std::size_t(width_) * 3;
    const int rows = std::min(changedEnd_ - changedBegin_, int(std::max<std::size_t>(1, bandBytesLimit / stride)));
    band.firstRow = std::uint32_t(changedBegin_);
    band.width = std::uint32_t(width_);
    band.rows = std::uint32_t(rows);
    band.fullHeight = lines_;
    band.rgb = QByteArray(reinterpret_cast<const char *>(rgb_.data() + std::size_t(changedBegin_) * stride),
                          qsizetype(std::size_t(rows) * stride));
    changedBegin_ += rows;
    return true;
}

} // namespace scanlib
