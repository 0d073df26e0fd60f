#pragma once
// Handing the clipboard to a clipboard manager before the program ends, so that the copied
// picture can still be pasted afterwards.

#include <chrono>

namespace rt {

// When the program owns the clipboard and a clipboard manager runs (X11), asks the manager
// to save the clipboard's formats and serves its requests while the event loop still runs
// in full (Qt's own hand-off at exit refuses every format larger than one X request, about
// 16 MB, as it allows no incremental transfers then). Each format is encoded once. Gives up
// when the manager has been silent for `quiet`, and after two seconds in all whatever the
// manager does; the program's own clipboard is given up in any case, so that Qt does not
// wait a second time at exit.
void handClipboardToManager(std::chrono::milliseconds quiet = std::chrono::milliseconds(1000));

} // namespace rt
