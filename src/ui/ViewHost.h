#pragma once
// What the picture viewer needs of the window: its size and client widget, the viewport and
// the picture in it, the two bars, the window's own layout and its copy command.

#include "runtime/Controls.h"

#include <functional>

namespace rt {
class PictureBox;
class ScrollBar;
} // namespace rt

struct ViewHost {
    rt::Container &window;
    rt::PictureBox &viewport;
    rt::PictureBox &picture; // inside the viewport
    rt::ScrollBar &horizontal;
    rt::ScrollBar &vertical;
    // Reads the scroll ranges and lays the window out again, after the picture's size changed.
    std::function<void()> relayout;
    // Puts the picture on the clipboard, with the window's message.
    std::function<void()> copy;
};
