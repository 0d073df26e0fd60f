#pragma once
// The glass of the scanner, to scale: the preview picture where there is one, the scan area
// as a frame to drag, and during a scan the page as its rows arrive. Everything is placed in
// millimetres of the glass; the pane maps them to its own size.

#include "widgets/AreaSelection.h"

#include <QImage>
#include <QPixmap>
#include <QRectF>
#include <QWidget>
#include <functional>

namespace scanlib {

class PreviewPane : public QWidget {
    Q_OBJECT
    // For those who look at the pane from outside (tests, tools): where the glass lies on it
    // and the area the frame shows, in millimetres.
    Q_PROPERTY(QRectF glassOnPane READ glassOnPane)
    Q_PROPERTY(QRectF glass READ glass)
    Q_PROPERTY(QRectF area READ area)
public:
    explicit PreviewPane(QWidget *parent = nullptr);

    void setGlass(QRectF mm);
    QRectF glass() const { return glass_; }
    QRectF glassOnPane() const { return shown_; }
    // The area as the device holds it; not reported back.
    void setArea(QRectF mm);
    // The area the frame shows now, in millimetres.
    QRectF area() const;

    // A picture of the glass, lying at mm; a null image takes it away.
    void setPreview(const QImage &picture, QRectF mm);
    const QImage &preview() const { return preview_; }
    QRectF previewArea() const { return previewMm_; }

    // The page of a running scan: it lies at mm's top left, each of its pixels sample/dpi
    // inches wide; rows come in strips of RGB, three bytes a pixel.
    void beginPage(QRectF mm, double dpi, int sample);
    void addRows(int firstRow, int width, int rows, const QByteArray &rgb);
    void endPage();

    // Pane pixels per millimetre at its present size.
    double pixelsPerMm() const;

    // The frame was dragged or moved by keys: the wished area, final once the mouse is
    // released or a key was pressed, not while it is dragged.
    std::function<void(QRectF mm, bool final)> areaChanged;

    QSize sizeHint() const override { return {420, 440}; }
    QSize minimumSizeHint() const override { return {160, 160}; }

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    static constexpr double unitsPerMm = 10; // the frame lives in tenths of a millimetre
    void layoutGlass();
    QRectF onPane(QRectF mm) const;
    QRect units(QRectF mm) const;
    QRectF millimetres(QRect units) const;
    void report(bool final);

    QRectF glass_;
    QRectF shown_; // the glass on the pane
    widgets::AreaSelection selection_;
    QRect deviceArea_; // in units, as last set by the device
    bool quiet_ = false; // the frame is set from the device
    QImage preview_;
    QRectF previewMm_;
    QPixmap scaledPreview_; // the preview at the pane's scale
    QImage page_;
    QRectF pageMm_;
    double pageMmPerPixel_ = 0;
    int pageRows_ = 0;
};

} // namespace scanlib
