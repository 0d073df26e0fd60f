#pragma once
// The top-level window: its outer size in twips, its caption, Load and Resize.

#include "runtime/Controls.h"

#include <QSize>
#include <QString>
#include <QWidget>

namespace rt {

class FormWidget;

// A top-level window. Width and Height are its outer frame in twips; writing them
// resizes the window and raises Resize at once. Load runs once, before the first showing.
class Form : public Container {
public:
    enum State { Normal = 0, Minimized = 1, Maximized = 2 };

    Form();
    ~Form() override;
    Form(const Form &) = delete;
    Form &operator=(const Form &) = delete;

    QString caption() const;
    void setCaption(const QString &caption);
    float width() const override { return width_; }
    float height() const override { return height_; }
    void setWidth(float twips);
    void setHeight(float twips);
    int windowState() const;
    WId hWnd() const;
    QWidget *clientWidget() const override;

    void show();
    void onLoad(Event handler) { load_ = std::move(handler); }
    void onResize(Event handler) { resize_ = std::move(handler); }

    // The fixed allowance for caption bar and borders, in pixels.
    static constexpr int frameWidthPx = 8;
    static constexpr int frameHeightPx = 26;

private:
    friend class FormWidget;
    // The client area that the outer size leaves, in pixels.
    QSize clientSize() const;
    void applySize();
    void raiseResize();
    void clientResized(QSize size);

    FormWidget *widget_;
    float width_ = 0, height_ = 0;
    bool loaded_ = false;
    Event load_, resize_;
};

} // namespace rt
