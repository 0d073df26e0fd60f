#pragma once
// The window and its controls as the window's code sees them: positions and sizes in
// twips, scroll bars whose ends may run either way, and events as plain callbacks.

#include "runtime/PictureLoader.h"

#include <QColor>
#include <QIcon>
#include <QPointer>
#include <QSizeF>
#include <QString>
#include <QWidget>
#include <cstdint>
#include <functional>

class QPushButton;
class QScrollBar;

namespace rt {

using Event = std::function<void()>;

// Something that holds controls: the window or a picture box.
class Container {
public:
    virtual ~Container() = default;
    virtual float width() const = 0;
    virtual float height() const = 0;
    virtual QWidget *clientWidget() const = 0;
};

// A control placed in its container; geometry in twips relative to the container's
// client area. A negative width or height is an "invalid property value" error.
class Control {
public:
    Control(Container &container, QWidget *widget);
    virtual ~Control();
    Control(const Control &) = delete;
    Control &operator=(const Control &) = delete;

    float left() const { return left_; }
    float top() const { return top_; }
    float width() const { return width_; }
    float height() const { return height_; }
    void setLeft(float twips);
    void setTop(float twips);
    void setWidth(float twips);
    void setHeight(float twips);
    void place(float left, float top, float width, float height);

    bool isVisible() const;
    void setVisible(bool visible);
    Container &container() const { return container_; }
    void setFocus();
    void setTabStop(bool tabStop);
    QWidget *widget() const { return widget_; }

private:
    void applyGeometry();

    Container &container_;
    QPointer<QWidget> widget_;
    float left_ = 0, top_ = 0, width_ = 0, height_ = 0;
};

class CommandButton : public Control {
public:
    CommandButton(Container &container, const QString &caption);
    QString caption() const;
    void onClick(Event handler);
    QPushButton *button() const;

private:
    Event click_;
};

class PictureView;

// A picture box: paints its picture at (0, 0) on its background colour; with AutoSize it
// takes the size of every picture assigned to it (an empty one has no size). Children are
// clipped by it.
class PictureBox : public Control, public Container {
public:
    explicit PictureBox(Container &container);
    // A picture box inside another one (not a copy: controls are never copied).
    explicit PictureBox(PictureBox &container) : PictureBox(static_cast<Container &>(container)) { }

    float width() const override { return Control::width(); }
    float height() const override { return Control::height(); }
    QWidget *clientWidget() const override;

    void setBackColor(QRgb rgb);
    QRgb backColor() const;
    const Picture &picture() const;
    void setPicture(const Picture &picture);
    void clearPicture() { setPicture(Picture()); }
    bool autoSize() const { return autoSize_; }
    void setAutoSize(bool autoSize);
    void refresh();

    // The picture is shown at its size times Zoom (1: pixel for pixel); with AutoSize the
    // box takes that size. The picture itself stays as it is.
    double Zoom() const { return zoom_; }
    void setZoom(double zoom);
    // With a box (in twips), every picture is zoomed so that it fits into the box, the
    // pictures assigned later too; setZoom ends that.
    void setZoomToFit(QSizeF box);
    bool ZoomsToFit() const { return !fitBox_.isEmpty(); }
    // Waits until the view's scaled copies of the picture are ready (benchmarks, tests).
    void waitForScaledCopies();

private:
    void fitToPicture();
    PictureView *view() const;
    bool autoSize_ = false;
    double zoom_ = 1.0;
    QSizeF fitBox_;
};

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

class FormWidget;

// A top-level window. Width and Height are its outer frame in twips; writing them
// resizes the window and raises Resize at once. Load runs once, before the first showing.
class Form : public Container {
public:
    enum State { Normal = 0, Minimized = 1, Maximized = 2 };

    Form();
    ~Form() override;
    Form(const Form &) = delete;
    Form &operator=(const Form &) = delete;

    QString caption() const;
    void setCaption(const QString &caption);
    float width() const override { return width_; }
    float height() const override { return height_; }
    void setWidth(float twips);
    void setHeight(float twips);
    int windowState() const;
    WId hWnd() const;
    QWidget *clientWidget() const override;

    void show();
    void onLoad(Event handler) { load_ = std::move(handler); }
    void onResize(Event handler) { resize_ = std::move(handler); }

    // The fixed allowance for caption bar and borders, in pixels.
    static constexpr int frameWidthPx = 8;
    static constexpr int frameHeightPx = 26;

private:
    friend class FormWidget;
    void applySize();
    void raiseResize();
    void clientResized(QSize size);

    FormWidget *widget_;
    float width_ = 0, height_ = 0;
    bool loaded_ = false;
    Event load_, resize_;
};

} // namespace rt
