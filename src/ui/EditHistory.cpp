#include "ui/EditHistory.h"

#include "image/FileBacked.h"

#include <QDir>

img::Picture EditHistory::keptInFile(const img::Picture &picture)
{
    const QImage kept = img::fileBacked(picture.image(), QDir::tempPath());
    return kept.isNull() ? picture : img::Picture(kept, picture.dotsPerMeter());
}

void EditHistory::reset(const img::Picture &scan)
{
    scan_ = scan;
    current_ = scan;
    edits_.clear();
    position_ = 0;
    scanKept_ = false;
}

img::Picture EditHistory::pictureAt(int position, img::CancelFlag cancel) const
{
    const bool ahead = position >= position_;
    img::Picture picture = ahead ? current_ : scan_;
    for (int i = ahead ? position_ : 0; i < position; ++i) {
        picture = img::applied(picture, edits_[std::size_t(i)], cancel);
        if (!ahead && i + 1 < position)
            picture = keptInFile(picture);
    }
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

void EditHistory::keepScan(const img::Picture &same)
{
    if (same.isEmpty())
        return;
    if (position_ == 0)
        current_ = same;
    scan_ = same;
    scanKept_ = true;
}
