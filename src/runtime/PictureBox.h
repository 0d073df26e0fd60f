#pragma once
// The picture box: a control that shows a picture, zoomed or not, and holds other controls.

#include "runtime/Controls.h"
#include "runtime/PictureLoader.h"

#include <QColor>
#include <QSizeF>
#include <vector>

namespace rt {

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
    void setAutoSize(bool autoSize);
    void refresh();

    // The picture is shown at its size times Zoom (1: pixel for pixel); with AutoSize the
    // box takes that size. The picture itself stays as it is.
    double zoom() const { return zoom_; }
    void setZoom(double zoom);
    // With a box (in twips), every picture is zoomed so that it fits into the box, the
    // pictures assigned later too; setZoom ends that.
    void setZoomToFit(QSizeF box);
    bool zoomsToFit() const { return !fitBox_.isEmpty(); }
    // Tells assistive technology which picture the box shows (its size in pixels and its
    // resolution, or "kein Bild") in the description of each of `controls` (the box itself,
    // the viewport it is shown in), now and whenever the picture changes.
    void describePictureIn(std::vector<Control *> controls);
    // While an edit replaces the picture: the view drops its scaled copies and paints the
    // picture scaled on the fly until it is let go, then makes copies of what it shows.
    void holdScaledCopies(bool held);
    // Waits until the view's scaled copies of the picture are ready (benchmarks, tests).
    void waitForScaledCopies();
    qsizetype scaledCopyBytes() const;

private:
    void fitToPicture();
    void describePicture();
    PictureView *view() const;
    std::vector<Control *> describedIn_;
    bool autoSize_ = false;
    double zoom_ = 1.0;
    QSizeF fitBox_;
};

} // namespace rt
