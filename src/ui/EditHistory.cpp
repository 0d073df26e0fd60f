#include "ui/EditHistory.h"

void EditHistory::reset(const img::Picture &scan)
{
    scan_ = scan;
    current_ = scan;
    edits_.clear();
    position_ = 0;
}

img::Picture EditHistory::pictureAt(int position, img::CancelFlag cancel) const
{
    const bool ahead = position >= position_;
    img::Picture picture = ahead ? current_ : scan_;
    for (int i = ahead ? position_ : 0; i < position; ++i)
        picture = img::applied(picture, edits_[std::size_t(i)], cancel);
    return picture;
}

void EditHistory::push(const img::Edit &edit, const img::Picture &result)
{
    edits_.resize(std::size_t(position_));
    edits_.push_back(edit);
    position_ = count();
    current_ = result;
}

void EditHistory::moveTo(int position, const img::Picture &picture)
{
    position_ = position;
    current_ = picture;
}
