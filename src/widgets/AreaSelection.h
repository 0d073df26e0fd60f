#pragma once
// A rectangle chosen on a picture, by mouse or by keys: dragging draws a frame, its handles
// (corners and edges) change it, dragging inside it moves it; outside it the picture is
// dimmed. The frame lives in the picture's pixels; a mapping (scale and offset) says where
// they lie on the widget, so that the view at any zoom and a preview can both use it.

#include <QPointF>
#include <QRect>
#include <QSize>
#include <QSizeF>
#include <QWidget>
#include <functional>

class QPainter;

namespace widgets {

class AreaSelection {
public:
    // Where the picture lies on the widget: widget point = offset + pixel × scale.
    void setMapping(QSizeF scale, QPointF offset);
    // The picture's size; a frame that no longer fits is dropped.
    void setBounds(QSize picture);
    QSize bounds() const { return bounds_; }

    // The pixel under a widget point, kept inside the picture.
    QPoint pixelAt(QPointF point) const;
    // Where an area of pixels lies on the widget.
    QRectF widgetRect(QRect area) const;

    bool isActive() const { return !area_.isEmpty(); }
    QRect area() const { return area_; }
    void setArea(QRect area);
    void clear() { setArea({}); }

    // The mouse, in widget points: a press starts drawing a frame, or takes a handle or the
    // frame itself; true while the selection takes the mouse. A click without a drag drops
    // the frame.
    bool press(QPointF point);
    bool move(QPointF point);
    bool release(QPointF point);
    bool dragging() const { return grab_ != 0; }
    bool contains(QPointF point) const;
    Qt::CursorShape cursorAt(QPointF point) const;

    // Shift with an arrow key grows (right, down) or shrinks (left, up) the frame; without a
    // frame one starts at origin (the top left pixel in view). True when the key was used.
    bool key(int key, Qt::KeyboardModifiers modifiers, QPoint origin);
    // Moves the frame by dx, dy key steps (what a Shift+arrow key grows it by), kept inside
    // the picture. True when it moved.
    bool moveBy(int dx, int dy);

    // Dims the picture outside the frame and draws the frame and its handles.
    void paint(QPainter &painter, QRect exposed) const;

    // Told the widget area to paint again whenever the frame changes.
    std::function<void(QRect)> changed;

private:
    enum Part { Left = 1, Top = 2, Right = 4, Bottom = 8, Whole = 16, Drawing = 32 };
    int partAt(QPointF point) const;
    QRect repaintRect(QRect area) const;
    QSize keyStep() const; // in pixels

    QSizeF scale_{1, 1};
    QPointF offset_;
    QSize bounds_;
    QRect area_;
    int grab_ = 0;
    bool moved_ = false;
    QPointF pressedAt_;
    QPoint anchor_;
    QRect atPress_;
};

// A widget laid over a picture that paints an area selection; the mouse passes through it to
// the picture below, which hands it to the selection.
class AreaSelectionOverlay : public QWidget {
public:
    AreaSelectionOverlay(AreaSelection &selection, QWidget *over);

protected:
    void paintEvent(class QPaintEvent *event) override;
    bool eventFilter(QObject *watched, class QEvent *event) override;

private:
    AreaSelection &selection_;
};

} // namespace widgets
