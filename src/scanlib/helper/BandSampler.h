#pragma once
// A small copy of a scan's picture while it arrives: every N-th row and column in RGB, for
// the acquisition dialog's view of the page. It is fed the finished rows of BmpAssembler
// and hands out the sampled rows that changed since it last did, as bands. Grey and lineart
// rows are expanded to RGB; a three-pass picture shows the colours that have arrived.

#include "scanlib/helper/BmpAssembler.h"
#include "scanlib/wire/Protocol.h"

#include <cstddef>
#include <vector>

namespace scanlib {

class BandSampler final : public RowObserver {
public:
    explicit BandSampler(int sample);

    void row(const FinishedRow &row) override;
    // Sampled rows changed and not yet handed out.
    int waiting() const { return changedEnd_ - changedBegin_; }
    // The next band of changed rows (no more than a message carries comfortably); false when
    // none is waiting.
    bool take(wire::Band &band);

private:
    int sample_;
    int width_ = 0; // sampled columns
    int lines_ = -1;
    std::vector<unsigned char> rgb_; // sampled rows, grown as they arrive
    int changedBegin_ = 0, changedEnd_ = 0; // the changed sampled rows, [begin, end)
};

} // namespace scanlib
