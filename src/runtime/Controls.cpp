#include "runtime/Controls.h"

#include "base/Errors.h"
#include "base/Rounding.h"
#include "runtime/PicturePainting.h"
#include "runtime/ScaledPicture.h"
#include "runtime/Units.h"

#include <QGuiApplication>
#include <QPaintEvent>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QWindowStateChangeEvent>
#include <algorithm>
#include <cstdlib>
#include <limits>

namespace rt {

namespace {

int pixelsOf(float twips)
{
    const double px = static_cast<double>(twips) / twipsPerPixel();
    if (!(std::abs(px) < static_cast<double>(QWIDGETSIZE_MAX)))
        raise(ErrorCode::Overflow, QStringLiteral("Überlauf"));
    return toPixels(twips);
}

void refuseNegative(float twips)
{
    if (twips < 0.0f)
        raise(ErrorCode::InvalidPropertyValue, QStringLiteral("Ungültiger Eigenschaftswert"));
}

} // namespace

// ---- Control ---------------------------------------------------------------------------

Control::Control(Container &container, QWidget *widget) : container_(container), widget_(widget)
{
    widget->setParent(container.clientWidget());
    // The control's own geometry (empty until it is placed) before it shows: a widget shown
    // without one would be sized to its hint, which loads its font before the window exists.
    applyGeometry();
    widget->show();
}

Control::~Control()
{
    delete widget_.data();
}

void Control::setLeft(float twips)
{
    pixelsOf(twips);
    left_ = twips;
    applyGeometry();
}

void Control::setTop(float twips)
{
    pixelsOf(twips);
    top_ = twips;
    applyGeometry();
}

void Control::setWidth(float twips)
{
    refuseNegative(twips);
    pixelsOf(twips);
    width_ = twips;
    applyGeometry();
}

void Control::setHeight(float twips)
{
    refuseNegative(twips);
    pixelsOf(twips);
    height_ = twips;
    applyGeometry();
}

void Control::place(float left, float top, float width, float height)
{
    setLeft(left);
    setTop(top);
    setWidth(width);
    setHeight(height);
}

void Control::applyGeometry()
{
    if (widget_)
        widget_->setGeometry(toPixels(left_), toPixels(top_), toPixels(width_), toPixels(height_));
}

bool Control::isVisible() const
{
    return widget_ && !widget_->isHidden();
}

void Control::setVisible(bool visible)
{
    if (widget_)
        widget_->setVisible(visible);
}

void Control::setFocus()
{
    if (widget_)
        widget_->setFocus(Qt::OtherFocusReason);
}

void Control::setTabStop(bool tabStop)
{
    if (widget_)
        widget_->setFocusPolicy(tabStop ? Qt::StrongFocus : Qt::ClickFocus);
}

// ---- CommandButton ---------------------------------------------------------------------

CommandButton::CommandButton(Container &container, const QString &caption) : Control(container, new QPushButton(caption))
{
    QObject::connect(button(), &QPushButton::clicked, button(), [this] {
        if (click_)
            runHandler("Click", click_);
    });
}

QString CommandButton::caption() const
{
    return button()->text();
}

void CommandButton::onClick(Event handler)
{
    click_ = std::move(handler);
}

QPushButton *CommandButton::button() const
{
    return static_cast<QPushButton *>(widget());
}

// ---- PictureBox ------------------------------------------------------------------------

// Paints only what was exposed: scans are large, and moving the box inside its container
// then copies what is already on the screen and paints just the new strip.
class PictureView : public QWidget {
public:
    PictureView()
    {
        setAttribute(Qt::WA_OpaquePaintEvent);
        setFocusPolicy(Qt::StrongFocus);
    }

    QRgb back = qRgb(0xD8, 0xD4, 0xD0);
    Picture picture;
    double zoom = 1.0;
    ScaledPicture scaled;

protected:
    void paintEvent(QPaintEvent *event) override
    {
        QPainter painter(this);
        if (zoom != 1.0) {
            const QRegion shown = scaled.paint(painter, event->region(), picture.image(), zoom, this);
            for (const QRect &b : event->region().subtracted(shown))
                painter.fillRect(b, QColor(back));
            return;
        }
        const QImage &image = picture.image();
        const QRect imageRect = image.isNull() ? QRect() : image.rect();
        for (const QRect &r : event->region()) {
            const QRect shown = r & imageRect;
            if (!shown.isEmpty())
                drawPicturePart(painter, shown.topLeft(), image, shown, scratch_);
            QRegion rest = QRegion(r).subtracted(shown);
            for (const QRect &b : rest)
                painter.fillRect(b, QColor(back));
        }
    }

private:
    QImage scratch_; // rows made ready for the screen, kept for the next paint
};

PictureBox::PictureBox(Container &container) : Control(container, new PictureView) { }

QWidget *PictureBox::clientWidget() const
{
    return widget();
}

PictureView *PictureBox::view() const
{
    return static_cast<PictureView *>(widget());
}

void PictureBox::setBackColor(QRgb rgb)
{
    view()->back = rgb;
    view()->update();
}

QRgb PictureBox::backColor() const
{
    return view()->back;
}

const Picture &PictureBox::picture() const
{
    return view()->picture;
}

void PictureBox::setPicture(const Picture &picture)
{
    view()->scaled.reset();
    view()->picture = picture;
    if (autoSize_)
        fitToPicture();
    view()->update();
}

void PictureBox::setAutoSize(bool autoSize)
{
    autoSize_ = autoSize;
    if (autoSize_ && !picture().isEmpty())
        fitToPicture();
}

void PictureBox::fitToPicture()
{
    const Picture &p = view()->picture;
    if (ZoomsToFit() && !p.isEmpty()) {
        zoom_ = std::min(fitBox_.width() / static_cast<double>(widthTwips(p)),
                         fitBox_.height() / static_cast<double>(heightTwips(p)));
        view()->zoom = zoom_;
    }
    setWidth(zoom_ == 1.0 ? widthTwips(p) : static_cast<float>(widthTwips(p) * zoom_));
    setHeight(zoom_ == 1.0 ? heightTwips(p) : static_cast<float>(heightTwips(p) * zoom_));
}

void PictureBox::setZoom(double zoom)
{
    if (!(zoom > 0.0))
        raise(ErrorCode::InvalidPropertyValue, QStringLiteral("Ungültiger Eigenschaftswert"));
    fitBox_ = QSizeF();
    zoom_ = zoom;
    view()->zoom = zoom;
    if (autoSize_ && !picture().isEmpty())
        fitToPicture();
    view()->update();
}

void PictureBox::setZoomToFit(QSizeF box)
{
    if (box.isEmpty())
        raise(ErrorCode::InvalidPropertyValue, QStringLiteral("Ungültiger Eigenschaftswert"));
    fitBox_ = box;
    if (autoSize_ && !picture().isEmpty())
        fitToPicture();
    view()->update();
}

void PictureBox::waitForScaledCopies()
{
    view()->scaled.waitForCopies();
}

void PictureBox::refresh()
{
    view()->repaint();
}

// ---- ScrollBar -------------------------------------------------------------------------

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

// ---- Form ------------------------------------------------------------------------------

class FormWidget : public QWidget {
public:
    explicit FormWidget(Form &form) : form_(form) { }

protected:
    void resizeEvent(QResizeEvent *event) override
    {
        QWidget::resizeEvent(event);
        form_.clientResized(event->size());
    }
    void changeEvent(QEvent *event) override
    {
        QWidget::changeEvent(event);
        if (event->type() == QEvent::WindowStateChange)
            form_.raiseResize();
    }
    void showEvent(QShowEvent *event) override
    {
        QWidget::showEvent(event);
        if (!shown_ && !event->spontaneous()) {
            shown_ = true;
            form_.raiseResize();
        }
    }

private:
    Form &form_;
    bool shown_ = false;
};

Form::Form() : widget_(new FormWidget(*this))
{
    applySize(); // a size of our own, so that the first showing keeps it
}

Form::~Form()
{
    delete widget_;
}

QString Form::caption() const
{
    return widget_->windowTitle();
}

void Form::setCaption(const QString &caption)
{
    widget_->setWindowTitle(caption);
}

QWidget *Form::clientWidget() const
{
    return widget_;
}

void Form::setWidth(float twips)
{
    refuseNegative(twips);
    pixelsOf(twips);
    if (twips == width_)
        return;
    width_ = twips;
    applySize();
    raiseResize();
}

void Form::setHeight(float twips)
{
    refuseNegative(twips);
    pixelsOf(twips);
    if (twips == height_)
        return;
    height_ = twips;
    applySize();
    raiseResize();
}

void Form::applySize()
{
    const int w = std::max(toPixels(width_) - frameWidthPx, 1);
    const int h = std::max(toPixels(height_) - frameHeightPx, 1);
    widget_->resize(w, h);
}

void Form::clientResized(QSize size)
{
    // Our own writes arrive here with the size they asked for; anything else came from the
    // user or the window manager and becomes the window's new size.
    const int w = std::max(toPixels(width_) - frameWidthPx, 1);
    const int h = std::max(toPixels(height_) - frameHeightPx, 1);
    if (size == QSize(w, h))
        return;
    if (size.width() != w)
        width_ = toTwips(size.width() + frameWidthPx);
    if (size.height() != h)
        height_ = toTwips(size.height() + frameHeightPx);
    raiseResize();
}

void Form::raiseResize()
{
    if (resize_)
        runHandler("Resize", resize_);
}

int Form::windowState() const
{
    if (widget_->isMinimized())
        return Minimized;
    if (widget_->isMaximized())
        return Maximized;
    return Normal;
}

WId Form::hWnd() const
{
    return widget_->winId();
}

void Form::show()
{
    if (!loaded_) {
        loaded_ = true;
        if (load_)
            runHandler("Load", load_);
    }
    widget_->show();
}

} // namespace rt
