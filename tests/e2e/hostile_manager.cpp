// hostile_manager MODE: a clipboard manager that takes the program's hand-off at exit and
// never finishes it, printing what it did to standard output:
//   targets   asks for the clipboard's TARGETS every half second and prints them in order;
//   incr      fetches image/bmp and reads the incremental transfer a chunk every 0.4 s;
//   multiple  sends one MULTIPLE request of 20,000 pairs.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <poll.h>
#include <string>
#include <vector>
#include <xcb/xcb.h>

namespace {
template <class T>
using Reply = std::unique_ptr<T, decltype(&std::free)>;

xcb_connection_t *c;

xcb_atom_t atom(const char *name)
{
    Reply<xcb_intern_atom_reply_t> r(
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr), &std::free);
    return r ? r->atom : xcb_atom_t{XCB_NONE};
}

void say(const char *what)
{
    std::printf("%s\n", what);
    std::fflush(stdout);
}
} // namespace

int main(int argc, char **argv)
{
    const char *mode = argc == 2 ? argv[1] : "";
    if (std::strcmp(mode, "targets") != 0 && std::strcmp(mode, "incr") != 0 && std::strcmp(mode, "multiple") != 0) {
        std::fprintf(stderr, "usage: hostile_manager targets|incr|multiple\n");
        return 2;
    }
    c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c))
        return 1;
    const xcb_atom_t manager = atom("CLIPBOARD_MANAGER"), clipboard = atom("CLIPBOARD"), targets = atom("TARGETS"),
                     multiple = atom("MULTIPLE"), atomPair = atom("ATOM_PAIR"), bmp = atom("image/bmp"), incr = atom("INCR"),
                     property = atom("_HOSTILE");
    const xcb_window_t window = xcb_generate_id(c);
    const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_create_window(c, XCB_COPY_FROM_PARENT, window, screen->root, 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                      XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK, &events);
    xcb_set_selection_owner(c, window, manager, XCB_CURRENT_TIME);
    xcb_flush(c);

    bool handedOff = false, incremental = false;
    int period = 0; // milliseconds between actions, once the hand-off began
    pollfd fd{xcb_get_file_descriptor(c), POLLIN, 0};
    for (;;) {
        xcb_generic_event_t *event = xcb_poll_for_event(c);
        if (!event) {
            if (xcb_connection_has_error(c))
                return 1;
            if (poll(&fd, 1, period ? period : -1) == 0) {
                // Quiet for a period: time for the next step.
                if (std::strcmp(mode, "targets") == 0) {
                    xcb_convert_selection(c, window, clipboard, targets, property, XCB_CURRENT_TIME);
                    say("asked for TARGETS");
                } else if (incremental) {
                    xcb_delete_property(c, window, property); // asks for the next chunk
                    say("read a chunk");
                }
                xcb_flush(c);
            }
            continue;
        }
        const int type = event->response_type & 0x7F;
        if (type == XCB_SELECTION_REQUEST && !handedOff) {
            // The program's request to save the clipboard: never answered.
            handedOff = true;
            say("hand-off requested");
            if (std::strcmp(mode, "targets") == 0) {
                period = 500;
            } else if (std::strcmp(mode, "incr") == 0) {
                xcb_convert_selection(c, window, clipboard, bmp, property, XCB_CURRENT_TIME);
            } else {
                std::vector<xcb_atom_t> pairs;
                for (int i = 0; i < 20000; ++i)
                    pairs.insert(pairs.end(), {bmp, property});
                xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, multiple, atomPair, 32, static_cast<uint32_t>(pairs.size()),
                                    pairs.data());
                xcb_convert_selection(c, window, clipboard, multiple, multiple, XCB_CURRENT_TIME);
                say("sent MULTIPLE");
            }
            xcb_flush(c);
        } else if (type == XCB_SELECTION_NOTIFY && std::strcmp(mode, "incr") == 0 && !incremental) {
            Reply<xcb_get_property_reply_t> r(
                xcb_get_property_reply(c, xcb_get_property(c, 0, window, property, XCB_GET_PROPERTY_TYPE_ANY, 0, 1), nullptr),
                &std::free);
            if (r && r->type == incr) {
                incremental = true;
                period = 400;
                say("incremental transfer");
                // The first chunk is asked for when the announcement is deleted, 0.4 s later.
            }
        } else if (type == XCB_SELECTION_NOTIFY && std::strcmp(mode, "targets") == 0) {
            Reply<xcb_get_property_reply_t> r(
                xcb_get_property_reply(c, xcb_get_property(c, 1, window, property, XCB_ATOM_ATOM, 0, 1024), nullptr), &std::free);
            std::string names = "targets:";
            const auto *atoms = r ? static_cast<const xcb_atom_t *>(xcb_get_property_value(r.get())) : nullptr;
            for (int i = 0; atoms && i < xcb_get_property_value_length(r.get()) / 4; ++i) {
                Reply<xcb_get_atom_name_reply_t> n(xcb_get_atom_name_reply(c, xcb_get_atom_name(c, atoms[i]), nullptr),
                                                   &std::free);
                if (n)
                    names += " "
                        + std::string(xcb_get_atom_name_name(n.get()),
                                      static_cast<size_t>(xcb_get_atom_name_name_length(n.get())));
            }
            say(names.c_str());
        } else if (type == XCB_SELECTION_NOTIFY && std::strcmp(mode, "multiple") == 0) {
            say(reinterpret_cast<xcb_selection_notify_event_t *>(event)->property == XCB_NONE ? "MULTIPLE refused"
                                                                                              : "MULTIPLE served");
        }
        std::free(event);
    }
}
