#include "runtime/ScrollBar.h"

#include "base/Errors.h"

#include <QGuiApplication>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionSlider>
#include <algorithm>
#include <cstdlib>
#include <limits>

namespace rt {

namespace {

// A scroll bar that, when only its value changes by a key, the wheel or a step, repaints where
// its handle was and is, not the whole bar: between the ends the rest looks the same. While a mouse button is
// down the style may show pressed parts that move with the handle, so the whole bar is painted.
class ScrollBarWidget : public QScrollBar {
public:
    using QScrollBar::QScrollBar;

protected:
    void sliderChange(SliderChange change) override
    {
        const QRect before = handle_;
        const bool wasAtAnEnd = atAnEnd_;
        handle_ = handleRect();
        atAnEnd_ = value() == minimum() || value() == maximum();
        // At an end the arrow there looks disabled: leaving or reaching one paints the whole bar.
        if (change == SliderValueChange && before.isValid() && !wasAtAnEnd && !atAnEnd_
            && QGuiApplication::mouseButtons() == Qt::NoButton) {
            // Styles draw the handle's edge a pixel or so beyond its rectangle.
            update(QRegion(before.adjusted(-2, -2, 2, 2)).united(handle_.adjusted(-2, -2, 2, 2)));
            return;
        }
        QScrollBar::sliderChange(change);
    }
    void resizeEvent(QResizeEvent *event) override
    {
        QScrollBar::resizeEvent(event);
        handle_ = handleRect();
    }

private:
    QRect handleRect() const
    {
        QStyleOptionSlider option;
        initStyleOption(&option);
        return style()->subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarSlider, this);
    }
    QRect handle_;
    bool atAnEnd_ = true;
};

} // namespace

ScrollBar::ScrollBar(Container &container, Qt::Orientation orientation) : Control(container, new ScrollBarWidget(orientation))
{
    QScrollBar *b = bar();
    b->setFocusPolicy(Qt::StrongFocus);
    sync();
    QObject::connect(b, &QScrollBar::valueChanged, b, [this](int position) { userMoved(position); });
    QObject::connect(b, &QScrollBar::sliderPressed, b, [this] { valueAtPress_ = value_; });
    QObject::connect(b, &QScrollBar::sliderReleased, b, [this] {
        if (value_ != valueAtPress_)
            raiseChange();
    });
}

QScrollBar *ScrollBar::bar() const
{
    return static_cast<QScrollBar *>(widget());
}

std::int32_t ScrollBar::fromPosition(int position) const
{
    const std::int64_t v = max_ >= min_ ? std::int64_t{min_} + position : std::int64_t{min_} - position;
    return static_cast<std::int32_t>(v);
}

void ScrollBar::sync()
{
    QScrollBar *b = bar();
    const std::int64_t span = std::llabs(std::int64_t{max_} - min_);
    const std::int64_t position = std::llabs(std::int64_t{value_} - min_);
    syncing_ = true;
    b->setRange(0, static_cast<int>(span));
    b->setValue(static_cast<int>(position));
    b->setSingleStep(small_);
    b->setPageStep(large_);
    syncing_ = false;
}

void ScrollBar::setRange(std::int32_t min, std::int32_t max)
{
    if (std::llabs(std::int64_t{max} - min) > std::numeric_limits<int>::max())
        raise(ErrorCode::Overflow, QStringLiteral("Überlauf"));
    min_ = min;
    max_ = max;
    const std::int32_t clamped = std::clamp(value_, std::min(min_, max_), std::max(min_, max_));
    const bool moved = clamped != value_;
    value_ = clamped;
    sync();
    if (moved)
        raiseChange();
}

void ScrollBar::setMin(std::int32_t min)
{
    setRange(min, max_);
}

void ScrollBar::setMax(std::int32_t max)
{
    setRange(min_, max);
}

void ScrollBar::setValue(std::int32_t value)
{
    if (value < std::min(min_, max_) || value > std::max(min_, max_))
        raise(ErrorCode::InvalidPropertyValue, QStringLiteral("Ungültiger Eigenschaftswert"));
    if (value == value_)
        return;
    value_ = value;
    sync();
    raiseChange();
}

void ScrollBar::setSmallChange(std::int32_t step)
{
    if (step < 1)
        raise(ErrorCode::InvalidPropertyValue, QStringLiteral("Ungültiger Eigenschaftswert"));
    small_ = step;
    sync();
}

void ScrollBar::setLargeChange(std::int32_t step)
{
    if (step < 1)
        raise(ErrorCode::InvalidPropertyValue, QStringLiteral("Ungültiger Eigenschaftswert"));
    large_ = step;
    sync();
}

void ScrollBar::userMoved(int position)
{
    if (syncing_)
        return;
    const std::int32_t v = fromPosition(position);
    if (v == value_)
        return;
    value_ = v;
    if (bar()->isSliderDown()) {
        if (scroll_)
            runHandler("Scroll", scroll_);
    } else {
        raiseChange();
    }
}

void ScrollBar::raiseChange()
{
    if (change_)
        runHandler("Change", change_);
}

} // namespace rt
