// selection owner NAME: prints 1 when some program owns the X selection NAME, else 0.
// selection hold NAME: owns the selection NAME and answers no request, until it is stopped
// (a clipboard manager that never answers).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <xcb/xcb.h>

namespace {
template <class T>
using Reply = std::unique_ptr<T, decltype(&std::free)>;
}

int main(int argc, char **argv)
{
    if (argc != 3 || (std::strcmp(argv[1], "owner") != 0 && std::strcmp(argv[1], "hold") != 0)) {
        std::fprintf(stderr, "usage: selection owner|hold NAME\n");
        return 2;
    }
    xcb_connection_t *c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c))
        return 1;
    Reply<xcb_intern_atom_reply_t> atom(
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(argv[2])), argv[2]), nullptr),
        &std::free);
    if (!atom)
        return 1;
    if (std::strcmp(argv[1], "owner") == 0) {
        Reply<xcb_get_selection_owner_reply_t> owner(
            xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, atom->atom), nullptr), &std::free);
        std::printf("%d\n", owner && owner->owner != XCB_NONE ? 1 : 0);
        return 0;
    }
    const xcb_window_t window = xcb_generate_id(c);
    const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    xcb_create_window(c, XCB_COPY_FROM_PARENT, window, screen->root, 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                      XCB_COPY_FROM_PARENT, 0, nullptr);
    xcb_set_selection_owner(c, window, atom->atom, XCB_CURRENT_TIME);
    xcb_flush(c);
    while (xcb_generic_event_t *event = xcb_wait_for_event(c))
        std::free(event); // every request stays unanswered
    return 0;
}
