#include "runtime/Controls.h"

#include "base/Errors.h"
#include "base/Rounding.h"
#include "runtime/Units.h"

#include <QAccessibleWidget>
#include <QPushButton>
#include <cstdlib>

namespace rt {

namespace {
constexpr const char *RoleProperty = "vistoramoAccessibleRole";

// A widget's accessible interface as Qt makes it, with the role the program gave the widget.
class RoleAccessible : public QAccessibleWidget {
public:
    explicit RoleAccessible(QWidget *widget) : QAccessibleWidget(widget) { }
    QAccessible::Role role() const override
    {
        bool ok = false;
        const int role = widget()->property(RoleProperty).toInt(&ok);
        return ok ? static_cast<QAccessible::Role>(role) : QAccessibleWidget::role();
    }
};

QAccessibleInterface *roleFactory(const QString &, QObject *object)
{
    auto *widget = qobject_cast<QWidget *>(object);
    return widget && widget->property(RoleProperty).isValid() ? new RoleAccessible(widget) : nullptr;
}
} // namespace

void setAccessibleRole(QWidget &widget, QAccessible::Role role)
{
    // Factories installed later are asked first, so this one answers before Qt's own.
    static const bool installed = [] {
        QAccessible::installFactory(roleFactory);
        return true;
    }();
    (void)installed;
    widget.setProperty(RoleProperty, static_cast<int>(role));
    // An interface Qt made for the widget before (its name set, say) is made anew by the factory.
    if (QAccessibleInterface *made = QAccessible::queryAccessibleInterface(&widget);
        made && !dynamic_cast<RoleAccessible *>(made))
        QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(made));
}

int checkedPixels(float twips)
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
    checkedPixels(twips);
    left_ = twips;
    applyGeometry();
}

void Control::setTop(float twips)
{
    checkedPixels(twips);
    top_ = twips;
    applyGeometry();
}

void Control::setWidth(float twips)
{
    refuseNegative(twips);
    checkedPixels(twips);
    width_ = twips;
    applyGeometry();
}

void Control::setHeight(float twips)
{
    refuseNegative(twips);
    checkedPixels(twips);
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

void Control::setAccessible(const QString &name, std::optional<QAccessible::Role> role)
{
    if (!widget_)
        return;
    if (role)
        setAccessibleRole(*widget_, *role);
    widget_->setAccessibleName(name);
}

void Control::setAccessibleDescription(const QString &description)
{
    if (widget_)
        widget_->setAccessibleDescription(description);
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

} // namespace rt
