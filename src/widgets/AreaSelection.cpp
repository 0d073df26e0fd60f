#include "widgets/AreaSelection.h"

#include <QEvent>
#include <QPaintEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>

namespace widgets {

namespace {
constexpr double Handle = 4.0; // widget pixels either side of an edge that take it
constexpr double DragStart = 3.0; // widget pixels the mouse moves before a frame is drawn
constexpr double KeyStep = 16.0; // widget pixels a key grows the frame by
} // namespace

void AreaSelection::setMapping(QSizeF scale, QPointF offset)
{
    if (scale.width() <= 0 || scale.height() <= 0)
        return;
    scale_ = scale;
    offset_ = offset;
}

void AreaSelection::setBounds(QSize picture)
{
    bounds_ = picture;
    if (!QRect(QPoint(), bounds_).contains(area_))
        clear();
}

QPoint AreaSelection::pixelAt(QPointF point) const
{
    const auto x = int(std::floor((point.x() - offset_.x()) / scale_.width()));
    const auto y = int(std::floor((point.y() - offset_.y()) / scale_.height()));
    return {std::clamp(x, 0, std::max(0, bounds_.width() - 1)), std::clamp(y, 0, std::max(0, bounds_.height() - 1))};
}

QRectF AreaSelection::widgetRect(QRect area) const
{
    return {offset_.x() + area.x() * scale_.width(), offset_.y() + area.y() * scale_.height(), area.width() * scale_.width(),
            area.height() * scale_.height()};
}

QRect AreaSelection::repaintRect(QRect area) const
{
    // The dimming covers the whole picture: a changed frame repaints all of it in view.
    Q_UNUSED(area);
    return widgetRect(QRect(QPoint(), bounds_)).toAlignedRect().adjusted(-1, -1, 1, 1);
}

void AreaSelection::setArea(QRect area)
{
    area &= QRect(QPoint(), bounds_);
    if (area == area_)
        return;
    const QRect before = area_;
    area_ = area;
    if (changed)
        changed(repaintRect(before) | repaintRect(area_));
}

int AreaSelection::partAt(QPointF point) const
{
    if (!isActive())
        return 0;
    const QRectF r = widgetRect(area_);
    if (!r.adjusted(-Handle, -Handle, Handle, Handle).contains(point))
        return 0;
    int part = 0;
    if (std::abs(point.x() - r.left()) <= Handle)
        part |= Left;
    else if (std::abs(point.x() - r.right()) <= Handle)
        part |= Right;
    if (std::abs(point.y() - r.top()) <= Handle)
        part |= Top;
    else if (std::abs(point.y() - r.bottom()) <= Handle)
        part |= Bottom;
    return part ? part : (r.contains(point) ? int(Whole) : 0);
}

bool AreaSelection::contains(QPointF point) const
{
    return partAt(point) != 0;
}

Qt::CursorShape AreaSelection::cursorAt(QPointF point) const
{
    switch (grab_ ? grab_ : partAt(point)) {
    case Left:
    case Right: return Qt::SizeHorCursor;
    case Top:
    case Bottom: return Qt::SizeVerCursor;
    case Left | Top:
    case Right | Bottom: return Qt::SizeFDiagCursor;
    case Right | Top:
    case Left | Bottom: return Qt::SizeBDiagCursor;
    case Whole: return Qt::SizeAllCursor;
    default: return Qt::CrossCursor;
    }
}

bool AreaSelection::press(QPointF point)
{
    if (bounds_.isEmpty())
        return false;
    grab_ = partAt(point);
    if (!grab_) {
        grab_ = Drawing;
        anchor_ = pixelAt(point);
    }
    moved_ = false;
    pressedAt_ = point;
    atPress_ = area_;
    return true;
}

bool AreaSelection::move(QPointF point)
{
    if (!grab_)
        return false;
    if (!moved_ && std::abs(point.x() - pressedAt_.x()) + std::abs(point.y() - pressedAt_.y()) < DragStart)
        return true;
    moved_ = true;
    if (grab_ == Drawing) {
        // From the pixel under the press to the one under the pointer, both included.
        const QPoint at = pixelAt(point);
        setArea(QRect(QPoint(std::min(anchor_.x(), at.x()), std::min(anchor_.y(), at.y())),
                      QPoint(std::max(anchor_.x(), at.x()), std::max(anchor_.y(), at.y()))));
        return true;
    }
    if (grab_ == Whole) {
        const auto dx = int(std::lround((point.x() - pressedAt_.x()) / scale_.width()));
        const auto dy = int(std::lround((point.y() - pressedAt_.y()) / scale_.height()));
        const int x = std::clamp(atPress_.x() + dx, 0, bounds_.width() - atPress_.width());
        const int y = std::clamp(atPress_.y() + dy, 0, bounds_.height() - atPress_.height());
        setArea(atPress_.translated(x - atPress_.x(), y - atPress_.y()));
        return true;
    }
    // An edge goes to the pixel boundary nearest the pointer, keeping at least a pixel.
    const auto boundaryX = int(std::lround((point.x() - offset_.x()) / scale_.width()));
    const auto boundaryY = int(std::lround((point.y() - offset_.y()) / scale_.height()));
    int left = atPress_.left(), top = atPress_.top(), right = atPress_.right() + 1, bottom = atPress_.bottom() + 1;
    if (grab_ & Left)
        left = std::clamp(boundaryX, 0, right - 1);
    if (grab_ & Right)
        right = std::clamp(boundaryX, left + 1, bounds_.width());
    if (grab_ & Top)
        top = std::clamp(boundaryY, 0, bottom - 1);
    if (grab_ & Bottom)
        bottom = std::clamp(boundaryY, top + 1, bounds_.height());
    setArea(QRect(left, top, right - left, bottom - top));
    return true;
}

bool AreaSelection::release(QPointF point)
{
    if (!grab_)
        return false;
    move(point);
    if (!moved_)
        clear();
    grab_ = 0;
    return true;
}

bool AreaSelection::key(int key, Qt::KeyboardModifiers modifiers, QPoint origin)
{
    if (modifiers != Qt::ShiftModifier || bounds_.isEmpty())
        return false;
    const int stepX = keyStep().width(), stepY = keyStep().height();
    QRect area = area_;
    if (!isActive()) {
        if (key != Qt::Key_Right && key != Qt::Key_Down && key != Qt::Key_Left && key != Qt::Key_Up)
            return false;
        area = QRect(origin, QSize(stepX, stepY));
    } else {
        switch (key) {
        case Qt::Key_Right: area.setWidth(area.width() + stepX); break;
        case Qt::Key_Left: area.setWidth(std::max(1, area.width() - stepX)); break;
        case Qt::Key_Down: area.setHeight(area.height() + stepY); break;
        case Qt::Key_Up: area.setHeight(std::max(1, area.height() - stepY)); break;
        default: return false;
        }
    }
    setArea(area);
    return true;
}

QSize AreaSelection::keyStep() const
{
    return {std::max(1, int(std::lround(KeyStep / scale_.width()))), std::max(1, int(std::lround(KeyStep / scale_.height())))};
}

bool AreaSelection::moveBy(int dx, int dy)
{
    if (!isActive())
        return false;
    QRect area = area_.translated(dx * keyStep().width(), dy * keyStep().height());
    area.moveLeft(std::clamp(area.left(), 0, bounds_.width() - area.width()));
    area.moveTop(std::clamp(area.top(), 0, bounds_.height() - area.height()));
    if (area == area_)
        return false;
    setArea(area);
    return true;
}

void AreaSelection::paint(QPainter &painter, QRect exposed) const
{
    if (!isActive())
        return;
    const QRectF picture = widgetRect(QRect(QPoint(), bounds_));
    const QRectF frame = widgetRect(area_);
    painter.save();
    painter.setClipRect(exposed);
    const QColor dim(0, 0, 0, 110);
    painter.fillRect(QRectF(picture.left(), picture.top(), picture.width(), frame.top() - picture.top()), dim);
    painter.fillRect(QRectF(picture.left(), frame.bottom(), picture.width(), picture.bottom() - frame.bottom()), dim);
    painter.fillRect(QRectF(picture.left(), frame.top(), frame.left() - picture.left(), frame.height()), dim);
    painter.fillRect(QRectF(frame.right(), frame.top(), picture.right() - frame.right(), frame.height()), dim);
    painter.setPen(QPen(Qt::white, 1));
    painter.drawRect(frame.adjusted(0, 0, -1, -1));
    painter.setPen(QPen(Qt::black, 1, Qt::DashLine));
    painter.drawRect(frame.adjusted(0, 0, -1, -1));
    // The handles: the corners and the middles of the edges.
    painter.setPen(QPen(Qt::black, 1));
    painter.setBrush(Qt::white);
    for (const double fx : {0.0, 0.5, 1.0})
        for (const double fy : {0.0, 0.5, 1.0}) {
            if (fx == 0.5 && fy == 0.5)
                continue;
            const QPointF c(frame.left() + fx * frame.width(), frame.top() + fy * frame.height());
            painter.drawRect(QRectF(c.x() - 3, c.y() - 3, 6, 6));
        }
    painter.restore();
}

AreaSelectionOverlay::AreaSelectionOverlay(AreaSelection &selection, QWidget *over) : QWidget(over), selection_(selection)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::NoFocus);
    // Screen readers name every part of the window; the frame's own keys are the picture's.
    setAccessibleName(QStringLiteral("Auswahlrahmen"));
    setGeometry(over->rect());
    over->installEventFilter(this);
    show();
}

void AreaSelectionOverlay::paintEvent(QPaintEvent *event)
{
    if (!selection_.isActive())
        return;
    QPainter painter(this);
    selection_.paint(painter, event->rect());
}

bool AreaSelectionOverlay::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == parent() && event->type() == QEvent::Resize)
        setGeometry(parentWidget()->rect());
    return false;
}

} // namespace widgets
