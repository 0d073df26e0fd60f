// Starts a program and watches the X server for its top-level window: the time until the
// window is mapped and until the program's first drawing in it reaches the server. Needs a
// display without a window manager, so a top-level window is mapped as soon as it asks.
//
//   bench_xstart PROGRAM [ARGUMENTS...]
//
// Prints "MAPPED_MS PAINTED_MS", both from just before the program is started; then ends the
// program. The client waits for the server's events; it never polls on a timer.

#include <xcb/damage.h>
#include <xcb/xcb.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

double nowMs()
{
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

template <typename T>
using Reply = std::unique_ptr<T, decltype(&std::free)>;

xcb_atom_t atom(xcb_connection_t *c, const char *name)
{
    const Reply<xcb_intern_atom_reply_t> reply(
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr), &std::free);
    return reply ? reply->atom : XCB_NONE;
}

// The process that says it owns window (_NET_WM_PID), or 0.
pid_t windowPid(xcb_connection_t *c, xcb_window_t window, xcb_atom_t netWmPid)
{
    const Reply<xcb_get_property_reply_t> reply(
        xcb_get_property_reply(c, xcb_get_property(c, 0, window, netWmPid, XCB_ATOM_CARDINAL, 0, 1), nullptr), &std::free);
    if (!reply || xcb_get_property_value_length(reply.get()) < 4)
        return 0;
    return static_cast<pid_t>(*static_cast<const uint32_t *>(xcb_get_property_value(reply.get())));
}

void end(pid_t pid)
{
    ::kill(pid, SIGTERM);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) { }
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc < 2) {
        std::fprintf(stderr, "Aufruf: bench_xstart PROGRAMM [ARGUMENTE...]\n");
        return 2;
    }
    xcb_connection_t *c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c)) {
        std::fprintf(stderr, "bench_xstart: keine Verbindung zum X-Server\n");
        return 1;
    }
    const xcb_query_extension_reply_t *damage = xcb_get_extension_data(c, &xcb_damage_id);
    if (!damage || !damage->present) {
        std::fprintf(stderr, "bench_xstart: der X-Server kennt DAMAGE nicht\n");
        return 1;
    }
    std::free(xcb_damage_query_version_reply(c, xcb_damage_query_version(c, 1, 1), nullptr));
    const xcb_atom_t netWmPid = atom(c, "_NET_WM_PID");
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    if (xcb_generic_error_t *error
        = xcb_request_check(c, xcb_change_window_attributes_checked(c, root, XCB_CW_EVENT_MASK, &mask))) {
        std::free(error);
        std::fprintf(stderr, "bench_xstart: das Wurzelfenster lässt sich nicht beobachten\n");
        return 1;
    }

    const double started = nowMs();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::execvp(argv[1], argv + 1);
        std::_Exit(127);
    }
    if (pid < 0) {
        std::perror("bench_xstart: fork");
        return 1;
    }

    // Every top-level window the program creates gets a damage record at once, so its first
    // drawing cannot come before the record does.
    std::map<xcb_window_t, xcb_damage_damage_t> watched;
    xcb_window_t window = XCB_NONE;
    double mapped = -1, painted = -1;
    const int fd = xcb_get_file_descriptor(c);
    while (painted < 0 && !xcb_connection_has_error(c)) {
        xcb_generic_event_t *event = xcb_poll_for_event(c);
        if (!event) {
            pollfd p{fd, POLLIN, 0};
            const int timeout = static_cast<int>(30000 - (nowMs() - started));
            const int ready = timeout > 0 ? ::poll(&p, 1, timeout) : 0;
            if (ready == 0 || (ready < 0 && errno != EINTR))
                break;
            continue;
        }
        const double at = nowMs();
        const uint8_t type = event->response_type & 0x7f;
        if (type == XCB_CREATE_NOTIFY) {
            const auto *e = reinterpret_cast<xcb_create_notify_event_t *>(event);
            if (e->parent == root && !e->override_redirect) {
                const xcb_damage_damage_t id = xcb_generate_id(c);
                xcb_damage_create(c, id, e->window, XCB_DAMAGE_REPORT_LEVEL_NON_EMPTY);
                xcb_flush(c);
                watched[e->window] = id;
            }
        } else if (type == XCB_MAP_NOTIFY) {
            const auto *e = reinterpret_cast<xcb_map_notify_event_t *>(event);
            if (mapped < 0 && watched.count(e->window) && windowPid(c, e->window, netWmPid) == pid) {
                mapped = at - started;
                window = e->window;
            }
        } else if (type == damage->first_event + XCB_DAMAGE_NOTIFY) {
            const auto *e = reinterpret_cast<xcb_damage_notify_event_t *>(event);
            if (mapped >= 0 && e->drawable == window)
                painted = at - started;
        }
        std::free(event);
    }
    end(pid);
    xcb_disconnect(c);
    if (painted < 0) {
        std::fprintf(stderr, "bench_xstart: %s zeigte kein Fenster\n", argv[1]);
        return 1;
    }
    std::printf("%.3f %.3f\n", mapped, painted);
    return 0;
}
