#pragma once
// What every control shares, as the window's code sees it: positions and sizes in twips,
// events as plain callbacks, and the command button. The picture box, the scroll bar and
// the window have files of their own.

#include <QAccessible>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <functional>
#include <optional>

class QPushButton;

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
    // What assistive technology (a screen reader) tells of the control: its name and, where
    // the widget's own kind says too little (a picture box is a plain widget), its role.
    void setAccessible(const QString &name, std::optional<QAccessible::Role> role = std::nullopt);
    void setAccessibleDescription(const QString &description);
    QWidget *widget() const { return widget_; }

private:
    void applyGeometry();

    Container &container_;
    QPointer<QWidget> widget_;
    float left_ = 0, top_ = 0, width_ = 0, height_ = 0;
};

// A size or position in pixels; an "overflow" error where twips cannot be shown as pixels.
int checkedPixels(float twips);
// An "invalid property value" error for a negative width or height.
void refuseNegative(float twips);
// Gives the widget `role` for assistive technology, in place of the one its class has.
void setAccessibleRole(QWidget &widget, QAccessible::Role role);

class CommandButton : public Control {
public:
    CommandButton(Container &container, const QString &caption);
    QString caption() const;
    void onClick(Event handler);
    QPushButton *button() const;

private:
    Event click_;
};

} // namespace rt
