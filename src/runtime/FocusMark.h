#pragma once
// A visible mark around the control that holds the keyboard focus, for the controls that
// draw none of their own (picture boxes, scroll bars): a thin frame just outside the
// control, on top of its neighbours, that never takes input.

#include <QPointer>
#include <QWidget>

namespace rt {

class FocusMark : public QWidget {
public:
    // Marks the focused descendants of window.
    explicit FocusMark(QWidget *window);

protected:
    void paintEvent(QPaintEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void follow(QWidget *focused);
    void place();

    QWidget *window_;
    QPointer<QWidget> focused_;
};

} // namespace rt
