#include "runtime/ClipboardHandOff.h"

#include <QAbstractNativeEventFilter>
#include <QClipboard>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QGuiApplication>
#include <QMimeData>
#include <QTimer>
#include <algorithm>
#include <map>
#include <memory>
#include <vector>
#include <xcb/xcb.h>

// Qt's own hand-off at exit refuses every format larger than one X request, and Qt can keep
// only one incremental transfer per receiving window, while a manager fetches all formats
// in one MULTIPLE request. So while the hand-off runs, the clipboard's requests are served
// here, from the clipboard's data, whose bytes each format's encoding shares with every
// request. However the manager behaves (a request every moment, a slow incremental reader,
// a huge MULTIPLE list), the hand-off ends when its one overall bound has passed.

namespace rt {

namespace {

using namespace std::chrono_literals;

// Longest the whole hand-off may take, whatever the manager does; a transfer still under
// way then is dropped.
constexpr auto Longest = 2s;

// A MULTIPLE request may name each format a few times over; a longer list is refused rather
// than served pair by pair.
constexpr size_t PairsPerFormat = 4;

template <class T>
using Reply = std::unique_ptr<T, decltype(&std::free)>;

xcb_atom_t internAtom(xcb_connection_t *c, const char *name)
{
    Reply<xcb_intern_atom_reply_t> reply(
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, static_cast<uint16_t>(qstrlen(name)), name), nullptr), &std::free);
    return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
}

xcb_window_t selectionOwner(xcb_connection_t *c, xcb_atom_t selection)
{
    Reply<xcb_get_selection_owner_reply_t> reply(xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, selection), nullptr),
                                                 &std::free);
    return reply ? reply->owner : xcb_window_t{XCB_NONE};
}

// Serves the clipboard to the manager and watches for its answer to our request.
class HandOffServer : public QAbstractNativeEventFilter {
public:
    HandOffServer(xcb_connection_t *c, const QMimeData &data, xcb_window_t requestor) : c_(c), data_(data), requestor_(requestor)
    {
        clipboard_ = internAtom(c, "CLIPBOARD");
        targets_ = internAtom(c, "TARGETS");
        multiple_ = internAtom(c, "MULTIPLE");
        atomPair_ = internAtom(c, "ATOM_PAIR");
        incr_ = internAtom(c, "INCR");
        for (const QString &format : data.formats())
            if (const xcb_atom_t atom = internAtom(c, format.toLatin1().constData()))
                formats_.emplace_back(atom, format);
        const quint64 maxRequest = quint64{xcb_get_maximum_request_length(c)} * 4;
        chunk_ = static_cast<qsizetype>(std::min<quint64>(maxRequest - 1024, 4u << 20));
        lastSign_.start();
    }

    bool nativeEventFilter(const QByteArray &, void *message, qintptr *) override
    {
        const auto *event = static_cast<const xcb_generic_event_t *>(message);
        switch (event->response_type & 0x7F) {
        case XCB_SELECTION_NOTIFY: {
            const auto *notify = reinterpret_cast<const xcb_selection_notify_event_t *>(event);
            if (notify->requestor != requestor_)
                return false;
            answered_ = true;
            saved_ = notify->property != XCB_NONE;
            return true;
        }
        case XCB_SELECTION_REQUEST: {
            const auto *request = reinterpret_cast<const xcb_selection_request_event_t *>(event);
            if (request->selection != clipboard_)
                return false;
            lastSign_.restart();
            serve(*request);
            return true;
        }
        case XCB_PROPERTY_NOTIFY: {
            const auto *notify = reinterpret_cast<const xcb_property_notify_event_t *>(event);
            const auto it = transfers_.find({notify->window, notify->atom});
            if (it == transfers_.end() || notify->state != XCB_PROPERTY_DELETE)
                return false;
            lastSign_.restart();
            sendNextChunk(it);
            return true;
        }
        default: return false;
        }
    }

    bool answered() const { return answered_; }
    bool saved() const { return saved_; }
    bool silentFor(std::chrono::milliseconds quiet) const { return std::chrono::milliseconds(lastSign_.elapsed()) > quiet; }
    // Time spent serving (encoding) is no silence of the manager.
    void busyUntilNow() { lastSign_.restart(); }

private:
    struct Transfer {
        QByteArray bytes;
        xcb_atom_t type;
        qsizetype sent = 0;
    };
    using Transfers = std::map<std::pair<xcb_window_t, xcb_atom_t>, Transfer>;

    void serve(const xcb_selection_request_event_t &request)
    {
        // Old clients give no property: the target names it.
        const xcb_atom_t property = request.property ? request.property : request.target;
        bool ok;
        if (request.target == multiple_)
            ok = convertMultiple(request.requestor, property);
        else
            ok = convert(request.requestor, request.target, property);
        xcb_selection_notify_event_t notify{};
        notify.response_type = XCB_SELECTION_NOTIFY;
        notify.time = request.time;
        notify.requestor = request.requestor;
        notify.selection = request.selection;
        notify.target = request.target;
        notify.property = ok ? property : xcb_atom_t{XCB_NONE};
        xcb_send_event(c_, 0, request.requestor, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char *>(&notify));
        xcb_flush(c_);
    }

    // Each pair of target and property in the requestor's list; a pair that fails gets None.
    bool convertMultiple(xcb_window_t window, xcb_atom_t property)
    {
        Reply<xcb_get_property_reply_t> reply(
            xcb_get_property_reply(c_, xcb_get_property(c_, 0, window, property, atomPair_, 0, 1 << 20), nullptr), &std::free);
        if (!reply || reply->format != 32)
            return false;
        const auto *begin = static_cast<const xcb_atom_t *>(xcb_get_property_value(reply.get()));
        std::vector<xcb_atom_t> pairs(begin, begin + xcb_get_property_value_length(reply.get()) / 4);
        if (pairs.size() / 2 > (formats_.size() + 2) * PairsPerFormat)
            return false;
        for (size_t i = 0; i + 1 < pairs.size(); i += 2)
            if (!convert(window, pairs[i], pairs[i + 1]))
                pairs[i + 1] = XCB_NONE;
        xcb_change_property(c_, XCB_PROP_MODE_REPLACE, window, property, atomPair_, 32, static_cast<uint32_t>(pairs.size()),
                            pairs.data());
        return true;
    }

    bool convert(xcb_window_t window, xcb_atom_t target, xcb_atom_t property)
    {
        if (target == targets_) {
            std::vector<xcb_atom_t> atoms{targets_, multiple_};
            for (const auto &entry : formats_)
                atoms.push_back(entry.first);
            xcb_change_property(c_, XCB_PROP_MODE_REPLACE, window, property, XCB_ATOM_ATOM, 32,
                                static_cast<uint32_t>(atoms.size()), atoms.data());
            return true;
        }
        const auto format = std::find_if(formats_.begin(), formats_.end(), [&](const auto &f) { return f.first == target; });
        if (format == formats_.end())
            return false;
        const QByteArray bytes = data_.data(format->second);
        if (bytes.isEmpty())
            return false;
        if (bytes.size() <= chunk_) {
            xcb_change_property(c_, XCB_PROP_MODE_REPLACE, window, property, target, 8, static_cast<uint32_t>(bytes.size()),
                                bytes.constData());
            return true;
        }
        // Incremental: announce the size, then one chunk each time the receiver deletes the
        // property, and an empty chunk at the end.
        const uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
        xcb_change_window_attributes(c_, window, XCB_CW_EVENT_MASK, &events);
        const uint32_t size = static_cast<uint32_t>(bytes.size());
        xcb_change_property(c_, XCB_PROP_MODE_REPLACE, window, property, incr_, 32, 1, &size);
        transfers_[{window, property}] = Transfer{bytes, target};
        return true;
    }

    void sendNextChunk(Transfers::iterator it)
    {
        Transfer &t = it->second;
        const qsizetype n = std::min(chunk_, t.bytes.size() - t.sent);
        xcb_change_property(c_, XCB_PROP_MODE_REPLACE, it->first.first, it->first.second, t.type, 8, static_cast<uint32_t>(n),
                            t.bytes.constData() + t.sent);
        t.sent += n;
        if (n == 0)
            transfers_.erase(it);
        xcb_flush(c_);
    }

    xcb_connection_t *c_;
    const QMimeData &data_;
    xcb_window_t requestor_;
    xcb_atom_t clipboard_, targets_, multiple_, atomPair_, incr_;
    // In the clipboard's order, which TARGETS keeps: a manager that saves one format takes the first.
    std::vector<std::pair<xcb_atom_t, QString>> formats_;
    Transfers transfers_;
    qsizetype chunk_;
    QElapsedTimer lastSign_;
    bool answered_ = false;
    bool saved_ = false;
};

// Runs the event loop until done() holds or the deadline has passed.
template <class Done>
void runEventsUntil(Done &&done, const QDeadlineTimer &deadline, HandOffServer *server = nullptr)
{
    QEventLoop loop;
    QTimer tick;
    QElapsedTimer sinceTick;
    sinceTick.start();
    QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
        if (server && sinceTick.elapsed() > 200)
            server->busyUntilNow();
        sinceTick.restart();
        if (done() || deadline.hasExpired())
            loop.quit();
    });
    tick.start(20);
    if (!done() && !deadline.hasExpired())
        loop.exec();
}

} // namespace

void handClipboardToManager(std::chrono::milliseconds quiet)
{
    QClipboard *clipboard = QGuiApplication::clipboard();
    auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    const QMimeData *data = clipboard->mimeData();
    if (!x11 || !data || !clipboard->ownsClipboard())
        return;
    xcb_connection_t *c = x11->connection();
    const xcb_atom_t manager = internAtom(c, "CLIPBOARD_MANAGER");
    const xcb_atom_t saveTargets = internAtom(c, "SAVE_TARGETS");
    const xcb_atom_t property = internAtom(c, "_VISTORAMO_SAVE_TARGETS");
    if (!manager || !saveTargets || !property || selectionOwner(c, manager) == XCB_NONE) {
        // No one to take the clipboard: given up at once, so that Qt's own hand-off at exit
        // has nothing to offer and the program ends with its window.
        clipboard->clear();
        return;
    }

    const QDeadlineTimer deadline(Longest);
    const xcb_window_t requestor = xcb_generate_id(c);
    const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    xcb_create_window(c, XCB_COPY_FROM_PARENT, requestor, screen->root, 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                      XCB_COPY_FROM_PARENT, 0, nullptr);
    HandOffServer server(c, *data, requestor);
    qGuiApp->installNativeEventFilter(&server);
    // No list of targets: the manager saves every format the clipboard offers.
    xcb_delete_property(c, requestor, property);
    xcb_convert_selection(c, requestor, manager, saveTargets, property, XCB_CURRENT_TIME);
    xcb_flush(c);
    runEventsUntil([&] { return server.answered() || server.silentFor(quiet); }, deadline, &server);

    // A manager that saved the formats takes the clipboard over (the request for its own
    // formats is served above); whatever it did, this program gives the clipboard up now,
    // so that nothing waits for the manager at exit.
    if (server.saved())
        runEventsUntil([&] { return !clipboard->ownsClipboard(); }, std::min(deadline, QDeadlineTimer(300ms)));
    qGuiApp->removeNativeEventFilter(&server);
    xcb_destroy_window(c, requestor);
    xcb_flush(c);
    if (clipboard->ownsClipboard())
        clipboard->clear();
}

} // namespace rt
