#include "runtime/Form.h"

#include "base/Errors.h"
#include "runtime/Units.h"

#include <QResizeEvent>
#include <QShowEvent>
#include <algorithm>

namespace rt {

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
    // A plain widget is a "client" to assistive technology; this one is the window (a frame).
    setAccessibleRole(*widget_, QAccessible::Window);
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
    checkedPixels(twips);
    if (twips == width_)
        return;
    width_ = twips;
    applySize();
    raiseResize();
}

void Form::setHeight(float twips)
{
    refuseNegative(twips);
    checkedPixels(twips);
    if (twips == height_)
        return;
    height_ = twips;
    applySize();
    raiseResize();
}

QSize Form::clientSize() const
{
    return {std::max(toPixels(width_) - frameWidthPx, 1), std::max(toPixels(height_) - frameHeightPx, 1)};
}

void Form::applySize()
{
    widget_->resize(clientSize());
}

void Form::clientResized(QSize size)
{
    // Our own writes arrive here with the size they asked for; anything else came from the
    // user or the window manager and becomes the window's new size.
    const QSize asked = clientSize();
    if (size == asked)
        return;
    if (size.width() != asked.width())
        width_ = toTwips(size.width() + frameWidthPx);
    if (size.height() != asked.height())
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
