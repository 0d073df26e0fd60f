#pragma once
// The scroll bar: Min and Max as the window's code sets them, Value, and its two events.

#include "runtime/Controls.h"

#include <cstdint>

class QScrollBar;

namespace rt {

// A scroll bar. Min is the value at the top or left end and Max the value at the other
// end, also when Max < Min. Value stays inside; moving it from outside raises Change.
class ScrollBar : public Control {
public:
    ScrollBar(Container &container, Qt::Orientation orientation);

    std::int32_t min() const { return min_; }
    std::int32_t max() const { return max_; }
    std::int32_t value() const { return value_; }
    std::int32_t smallChange() const { return small_; }
    std::int32_t largeChange() const { return large_; }
    void setMin(std::int32_t min);
    void setMax(std::int32_t max);
    void setValue(std::int32_t value);
    void setSmallChange(std::int32_t step);
    void setLargeChange(std::int32_t step);

    void onChange(Event handler) { change_ = std::move(handler); }
    void onScroll(Event handler) { scroll_ = std::move(handler); }
    QScrollBar *bar() const;

private:
    void setRange(std::int32_t min, std::int32_t max);
    void sync();
    void userMoved(int position);
    void raiseChange();
    std::int32_t fromPosition(int position) const;

    std::int32_t min_ = 0, max_ = 32767, value_ = 0, small_ = 1, large_ = 1;
    std::int32_t valueAtPress_ = 0;
    bool syncing_ = false;
    Event change_, scroll_;
};

} // namespace rt
