#include "scanlib/client/PreviewPane.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <cstring>

namespace scanlib {

namespace {
constexpr int margin = 8; // pane pixels around the glass
} // namespace

PreviewPane::PreviewPane(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("preview"));
    setAccessibleName(QStringLiteral("Vorschau der Scanfläche"));
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    selection_.changed = [this](QRect) {
        update();
        if (!quiet_)
            report(false);
    };
}

void PreviewPane::setGlass(QRectF mm)
{
    if (mm == glass_)
        return;
    glass_ = mm;
    selection_.setBounds(QSize(int(std::lround(mm.width() * unitsPerMm)), int(std::lround(mm.height() * unitsPerMm))));
    layoutGlass();
}

void PreviewPane::layoutGlass()
{
    if (glass_.isEmpty()) {
        shown_ = {};
        return;
    }
    const QRectF room = QRectF(rect()).adjusted(margin, margin, -margin, -margin);
    const double scale = std::max(0.01, std::min(room.width() / glass_.width(), room.height() / glass_.height()));
    const QSizeF size(glass_.width() * scale, glass_.height() * scale);
    shown_ = QRectF(room.center() - QPointF(size.width() / 2, size.height() / 2), size);
    selection_.setMapping(QSizeF(scale / unitsPerMm, scale / unitsPerMm), shown_.topLeft());
    scaledPreview_ = {};
    update();
}

double PreviewPane::pixelsPerMm() const
{
    return glass_.isEmpty() ? 0 : shown_.width() / glass_.width();
}

QRectF PreviewPane::onPane(QRectF mm) const
{
    const double s = pixelsPerMm();
    return {shown_.left() + (mm.left() - glass_.left()) * s, shown_.top() + (mm.top() - glass_.top()) * s, mm.width() * s,
            mm.height() * s};
}

QRect PreviewPane::units(QRectF mm) const
{
    const auto u = [](double v) { return int(std::lround(v * unitsPerMm)); };
    const int left = u(mm.left() - glass_.left()), top = u(mm.top() - glass_.top());
    return {QPoint(left, top), QPoint(u(mm.right() - glass_.left()) - 1, u(mm.bottom() - glass_.top()) - 1)};
}

QRectF PreviewPane::millimetres(QRect u) const
{
    return {glass_.left() + u.x() / unitsPerMm, glass_.top() + u.y() / unitsPerMm, u.width() / unitsPerMm,
            u.height() / unitsPerMm};
}

void PreviewPane::setArea(QRectF mm)
{
    deviceArea_ = units(mm);
    if (selection_.dragging())
        return; // the drag wins until the mouse is released
    quiet_ = true;
    selection_.setArea(deviceArea_);
    quiet_ = false;
}

QRectF PreviewPane::area() const
{
    return millimetres(selection_.area());
}

void PreviewPane::report(bool final)
{
    if (areaChanged && selection_.isActive())
        areaChanged(area(), final);
}

void PreviewPane::setPreview(const QImage &picture, QRectF mm)
{
    preview_ = picture;
    previewMm_ = mm;
    scaledPreview_ = {};
    update();
}

void PreviewPane::beginPage(QRectF mm, double dpi, int sample)
{
    pageMm_ = mm;
    pageMmPerPixel_ = dpi > 0 ? 25.4 / dpi * std::max(1, sample) : 0;
    page_ = {};
    pageRows_ = 0;
    update();
}

void PreviewPane::addRows(int firstRow, int width, int rows, const QByteArray &rgb)
{
    if (width <= 0 || rows <= 0 || firstRow < 0 || rgb.size() != qsizetype(width) * rows * 3 || pageMmPerPixel_ <= 0)
        return;
    const int needed = firstRow + rows;
    if (page_.isNull() || page_.width() != width || page_.height() < needed) {
        // Grows by half again as rows arrive, for pages whose height is known only at the end.
        const int height = std::max(needed, page_.isNull() ? std::max(needed, 64) : page_.height() * 3 / 2);
        QImage grown(width, height, QImage::Format_RGB888);
        grown.fill(Qt::white);
        if (!page_.isNull() && page_.width() == width)
            for (int y = 0; y < pageRows_; ++y)
                std::memcpy(grown.scanLine(y), page_.constScanLine(y), std::size_t(width) * 3);
        page_ = std::move(grown);
    }
    for (int y = 0; y < rows; ++y)
        std::memcpy(page_.scanLine(firstRow + y), rgb.constData() + qsizetype(y) * width * 3, std::size_t(width) * 3);
    pageRows_ = std::max(pageRows_, needed);
    const QRectF strip(pageMm_.left(), pageMm_.top() + firstRow * pageMmPerPixel_, width * pageMmPerPixel_,
                       rows * pageMmPerPixel_);
    update(onPane(strip).toAlignedRect().adjusted(-1, -1, 1, 1));
}

void PreviewPane::endPage()
{
    page_ = {};
    pageRows_ = 0;
    pageMmPerPixel_ = 0;
    update();
}

void PreviewPane::resizeEvent(QResizeEvent *)
{
    layoutGlass();
}

void PreviewPane::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    painter.fillRect(event->rect(), palette().window());
    if (shown_.isEmpty())
        return;
    painter.fillRect(shown_, QColor(250, 250, 250));
    if (!preview_.isNull()) {
        const QRectF target = onPane(previewMm_);
        if (scaledPreview_.isNull())
            scaledPreview_ = QPixmap::fromImage(
                preview_.scaled(target.size().toSize().expandedTo(QSize(1, 1)), Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
        painter.drawPixmap(target.topLeft(), scaledPreview_);
    }
    if (pageRows_ > 0) {
        const QRectF target(pageMm_.left(), pageMm_.top(), page_.width() * pageMmPerPixel_, pageRows_ * pageMmPerPixel_);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(onPane(target), page_, QRectF(0, 0, page_.width(), pageRows_));
    }
    selection_.paint(painter, event->rect());
    // The glass's edge, and the focus on it.
    painter.setPen(QPen(palette().color(QPalette::Dark), 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(shown_.adjusted(-1, -1, 0, 0));
    if (hasFocus()) {
        painter.setPen(QPen(palette().color(QPalette::Highlight), 2));
        painter.drawRect(QRectF(rect()).adjusted(1, 1, -1, -1));
    }
}

void PreviewPane::mousePressEvent(QMouseEvent *event)
{
    // A frame round the whole glass cannot move: a drag inside it draws a new one.
    if (event->button() == Qt::LeftButton && selection_.area() == QRect(QPoint(), selection_.bounds())
        && selection_.cursorAt(event->position()) == Qt::SizeAllCursor) {
        quiet_ = true;
        selection_.clear();
        quiet_ = false;
    }
    if (event->button() == Qt::LeftButton && selection_.press(event->position()))
        return;
    QWidget::mousePressEvent(event);
}

void PreviewPane::mouseMoveEvent(QMouseEvent *event)
{
    if (!selection_.move(event->position()))
        setCursor(selection_.cursorAt(event->position()));
}

void PreviewPane::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || !selection_.release(event->position()))
        return;
    if (!selection_.isActive()) { // a click without a drag: the area stays
        quiet_ = true;
        selection_.setArea(deviceArea_);
        quiet_ = false;
        return;
    }
    report(true);
}

void PreviewPane::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    selection_.setArea(QRect(QPoint(), selection_.bounds()));
    report(true);
}

void PreviewPane::keyPressEvent(QKeyEvent *event)
{
    int dx = 0, dy = 0;
    switch (event->key()) {
    case Qt::Key_Left: dx = -1; break;
    case Qt::Key_Right: dx = 1; break;
    case Qt::Key_Up: dy = -1; break;
    case Qt::Key_Down: dy = 1; break;
    default: QWidget::keyPressEvent(event); return;
    }
    if (!selection_.isActive())
        return;
    // A millimetre a key, ten with Shift; with Ctrl the lower right corner alone.
    const int step = int(unitsPerMm) * (event->modifiers() & Qt::ShiftModifier ? 10 : 1);
    const QRect bounds(QPoint(), selection_.bounds());
    QRect area = selection_.area();
    if (event->modifiers() & Qt::ControlModifier) {
        const int right = std::clamp(area.right() + 1 + dx * step, area.left() + 1, bounds.width());
        const int bottom = std::clamp(area.bottom() + 1 + dy * step, area.top() + 1, bounds.height());
        area.setRight(right - 1);
        area.setBottom(bottom - 1);
    } else {
        const int x = std::clamp(area.x() + dx * step, 0, bounds.width() - area.width());
        const int y = std::clamp(area.y() + dy * step, 0, bounds.height() - area.height());
        area.moveTo(x, y);
    }
    quiet_ = true;
    selection_.setArea(area);
    quiet_ = false;
    report(true);
}

void PreviewPane::focusInEvent(QFocusEvent *event)
{
    update();
    QWidget::focusInEvent(event);
}

void PreviewPane::focusOutEvent(QFocusEvent *event)
{
    update();
    QWidget::focusOutEvent(event);
}

} // namespace scanlib
