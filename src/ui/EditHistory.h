#pragma once
// The edits made to the picture since it was scanned, for stepping back and forward through
// them. Only the scan and the picture shown are kept: any other step is made again from the
// scan by replaying the edits up to it. Once edited, the scan is kept in a file rather than
// in memory, so that an edit, which needs the picture it starts from and the one it makes,
// costs about twice the page and not three times.

#include "image/Geometry.h"
#include "image/Picture.h"

#include <vector>

class EditHistory {
public:
    // Starts again from a picture as scanned or loaded, with no edits.
    void reset(const img::Picture &scan);
    const img::Picture &scan() const { return scan_; }
    const img::Picture &current() const { return current_; }
    int position() const { return position_; }
    int count() const { return int(edits_.size()); }
    bool canUndo() const { return position_ > 0; }
    bool canRedo() const { return position_ < count(); }

    // The picture after the first position edits: from the current one where it lies ahead,
    // else from the scan, with each step on the way put in a file, so that every step is
    // made beside the picture shown and no third copy. Reads only, so that a copy of the
    // history may do it off the GUI thread.
    img::Picture pictureAt(int position, img::CancelFlag cancel = nullptr) const;
    // Records an edit of the current picture and its result; the edits stepped back over
    // before it are forgotten.
    void push(const img::Edit &edit, const img::Picture &result);
    // The picture at position (as pictureAt made it) becomes the current one.
    void moveTo(int position, const img::Picture &picture);
    // The picture with its pixels in a file (img::fileBacked); itself where that fails.
    static img::Picture keptInFile(const img::Picture &picture);
    // The scan so kept takes the scan's place, whose memory is free once nothing else holds it.
    void keepScan(const img::Picture &same);
    bool scanKept() const { return scanKept_; }

private:
    img::Picture scan_;
    img::Picture current_;
    std::vector<img::Edit> edits_;
    int position_ = 0;
    bool scanKept_ = false;
};
