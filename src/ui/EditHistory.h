#pragma once
// The edits made to the picture since it was scanned, for stepping back and forward through
// them. Only the scan and the picture shown are kept: any other step is made again from the
// scan by replaying the edits up to it, so that a page costs at most about twice its size.

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
    // else from the scan. Reads only, so that a copy of the history may do it off the GUI thread.
    img::Picture pictureAt(int position, img::CancelFlag cancel = nullptr) const;
    // Records an edit of the current picture and its result; the edits stepped back over
    // before it are forgotten.
    void push(const img::Edit &edit, const img::Picture &result);
    // The picture at position (as pictureAt made it) becomes the current one.
    void moveTo(int position, const img::Picture &picture);

private:
    img::Picture scan_;
    img::Picture current_;
    std::vector<img::Edit> edits_;
    int position_ = 0;
};
