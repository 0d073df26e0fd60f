#include "runtime/PictureBox.h"

#include "base/Errors.h"
#include "runtime/PicturePainting.h"
#include "runtime/ScaledPicture.h"
#include "runtime/Units.h"

#include <QPaintEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>

namespace rt {

namespace {
// "2480 × 3508 Pixel, 300 dpi"; the resolution left out where the source named none.
QString pictureDescription(const Picture &picture)
{
    if (picture.isEmpty())
        return QStringLiteral("kein Bild");
    const QSize size = picture.image().size();
    QString text = QStringLiteral("%1 × %2 Pixel").arg(size.width()).arg(size.height());
    const QSize dpm = picture.dotsPerMeter();
    if (dpm.width() > 0 && dpm.height() > 0) {
        const auto dpi = [](int dotsPerMeter) { return std::lround(dotsPerMeter * 0.0254); };
        text += dpi(dpm.width()) == dpi(dpm.height())
            ? QStringLiteral(", %1 dpi").arg(dpi(dpm.width()))
            : QStringLiteral(", %1 × %2 dpi").arg(dpi(dpm.width())).arg(dpi(dpm.height()));
    }
    return text;
}
} // namespace

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
    describePicture();
}

void PictureBox::describePictureIn(std::vector<Control *> controls)
{
    describedIn_ = std::move(controls);
    describePicture();
}

void PictureBox::describePicture()
{
    if (describedIn_.empty())
        return;
    const QString text = pictureDescription(picture());
    for (Control *control : describedIn_)
        control->setAccessibleDescription(text);
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
    if (zoomsToFit() && !p.isEmpty()) {
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

void PictureBox::holdScaledCopies(bool held)
{
    view()->scaled.hold(held);
    view()->update();
}

void PictureBox::waitForScaledCopies()
{
    view()->scaled.waitForCopies();
}

qsizetype PictureBox::scaledCopyBytes() const
{
    return view()->scaled.copyBytes();
}

void PictureBox::refresh()
{
    view()->repaint();
}

} // namespace rt
