#include "runtime/FocusMark.h"

#include "runtime/Controls.h"

#include <QAbstractButton>
#include <QApplication>
#include <QEvent>
#include <QPainter>

namespace rt {

namespace {
constexpr int thickness = 2;
} // namespace

FocusMark::FocusMark(QWidget *window) : QWidget(window), window_(window)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
    // A decoration to assistive technology, named like every other part of the window.
    setAccessibleRole(*this, QAccessible::Border);
    setAccessibleName(QStringLiteral("Fokusrahmen"));
    hide();
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget *, QWidget *now) { follow(now); });
}

void FocusMark::follow(QWidget *focused)
{
    if (focused_)
        focused_->removeEventFilter(this);
    // Buttons draw their own focus; the mark is for everything else in this window.
    const bool mine = focused && focused != this && window_->isAncestorOf(focused) && !qobject_cast<QAbstractButton *>(focused);
    focused_ = mine ? focused : nullptr;
    if (!focused_) {
        hide();
        return;
    }
    focused_->installEventFilter(this);
    place();
}

bool FocusMark::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == focused_
        && (event->type() == QEvent::Move || event->type() == QEvent::Resize || event->type() == QEvent::Hide
            || event->type() == QEvent::Show))
        place();
    return false;
}

void FocusMark::place()
{
    if (!focused_ || !focused_->isVisible()) {
        hide();
        return;
    }
    // What of the control can be seen: a box inside the viewport is marked by the viewport's edge.
    QRect visible(focused_->mapTo(window_, QPoint(0, 0)), focused_->size());
    for (QWidget *p = focused_->parentWidget(); p && p != window_; p = p->parentWidget())
        visible &= QRect(p->mapTo(window_, QPoint(0, 0)), p->size());
    const QRect outer = visible.adjusted(-thickness, -thickness, thickness, thickness) & window_->rect();
    setGeometry(outer);
    setMask(QRegion(rect()).subtracted(QRegion(rect().adjusted(thickness, thickness, -thickness, -thickness))));
    raise();
    show();
    update();
}

void FocusMark::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Highlight));
}

} // namespace rt
