// vistoramo-scanner: the helper process of the scanner library. It makes every SANE call,
// so that a driver that hangs or crashes takes only this process with it. It talks to the
// library over its standard input and output (see Protocol.h); the file a scan is written
// to comes open over a local socket, whose descriptor number is its second argument. It ends
// with the program: when its input closes, and through the kernel when the program dies.

#include "scanlib/helper/BandSampler.h"
#include "scanlib/helper/SaneSession.h"
#include "scanlib/wire/Protocol.h"
#include "scanlib/wire/System.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <fcntl.h>
#include <malloc.h>
#include <optional>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace scanlib;

namespace {

// The library's end of the conversation.
class Channel {
public:
    Channel(int in, int out) : in_(in), out_(out) { }

    void send(const QByteArray &message)
    {
        const char *p = message.constData();
        std::size_t left = std::size_t(message.size());
        while (left > 0) {
            const ssize_t n = ::write(out_, p, left);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                std::_Exit(0); // the library is gone
            p += n;
            left -= std::size_t(n);
        }
    }

    // The next request; false once the library has closed its end.
    bool receive(QByteArray &message)
    {
        while (pending_.empty()) {
            if (closed_ || !fill())
                return false;
        }
        message = std::move(pending_.front());
        pending_.pop_front();
        return true;
    }

    // True once a cancel arrived after the request being served; reads what is there
    // without waiting and keeps other requests for later. A closed input counts as a cancel.
    bool cancelRequested()
    {
        pollfd p{in_, POLLIN, 0};
        while (!closed_ && ::poll(&p, 1, 0) > 0)
            if (!fill())
                break;
        for (auto it = pending_.begin(); it != pending_.end(); ++it)
            if (wire::Reader(*it).kind() == wire::Kind::Cancel) {
                pending_.erase(it);
                cancel_ = true;
                break;
            }
        return cancel_ || closed_;
    }
    void resetCancel() { cancel_ = false; }

private:
    // Reads once (blocking) and queues the whole messages; false at the end of the input.
    bool fill()
    {
        char buffer[4096];
        ssize_t n;
        do
            n = ::read(in_, buffer, sizeof buffer);
        while (n < 0 && errno == EINTR);
        if (n <= 0) {
            closed_ = true;
            return false;
        }
        framer_.append(buffer, std::size_t(n));
        QByteArray message;
        for (;;) {
            const wire::Framer::Next next = framer_.next(message);
            if (next == wire::Framer::Next::NeedMore)
                break;
            if (next == wire::Framer::Next::Bad) {
                std::fputs("vistoramo-scanner: unverständliche Nachricht der Bibliothek\n", stderr);
                std::_Exit(2);
            }
            pending_.push_back(std::move(message));
        }
        return true;
    }

    int in_, out_;
    wire::Framer framer_;
    std::deque<QByteArray> pending_;
    bool cancel_ = false;
    bool closed_ = false;
};

// Answers one request; false for a request it does not understand.
bool serve(const QByteArray &message, SaneSession &session, Channel &channel, int files)
{
    wire::Reader in(message);
    using wire::Kind;
    using wire::Writer;
    switch (in.kind()) {
    case Kind::Cancel: // for a scan that has ended already
        return in.complete();
    case Kind::ListDevices: {
        if (!in.complete())
            return false;
        QString error;
        const std::vector<DeviceInfo> devices = session.devices(error);
        channel.send(Writer(Kind::Devices).text(error).devices(devices).take());
        return true;
    }
    case Kind::Open: {
        const QString device = in.text();
        if (!in.complete())
            return false;
        const QString error = session.open(device);
        channel.send(Writer(Kind::Opened)
                         .text(session.openName())
                         .text(error)
                         .options(error.isEmpty() ? session.options() : OptionList{})
                         .take());
        return true;
    }
    case Kind::SetOption: {
        const wire::OptionValue v = in.value();
        if (!in.complete())
            return false;
        const QString error = session.setOption(v);
        channel.send(Writer(Kind::Options).text(error).options(session.options()).take());
        return true;
    }
    case Kind::Scan: {
        const wire::ScanRequest request = in.scan();
        if (!in.complete())
            return false;
        // Sent by the library just before the request; nothing else comes on that socket.
        const int fd = !request.toFile ? SaneSession::noFile : files >= 0 ? receiveDescriptor(files) : -1;
        channel.resetCancel();
        using Clock = std::chrono::steady_clock;
        Clock::time_point lastReport = Clock::now(), lastBand = Clock::now();
        std::optional<BandSampler> sampler;
        if (request.sample > 0)
            sampler.emplace(request.sample);
        // The changed rows of the picture go out every 50 ms, or sooner once 64 wait.
        const auto sendBands = [&](bool all) {
            if (!sampler || sampler->waiting() == 0
                || (!all && sampler->waiting() < 64 && Clock::now() - lastBand < std::chrono::milliseconds(50)))
                return;
            lastBand = Clock::now();
            for (wire::Band band; sampler->take(band);)
                channel.send(Writer(Kind::Band).band(band).take());
        };
        const auto progress = [&](double fraction) {
            sendBands(false);
            if (Clock::now() - lastReport < std::chrono::milliseconds(100))
                return;
            lastReport = Clock::now();
            channel.send(Writer(Kind::Progress).f64(fraction).take());
        };
        wire::ScanOutcome outcome;
        outcome.result = session.scan(
            request.device, request.overrides, fd, [&] { return channel.cancelRequested(); }, progress,
            sampler ? &*sampler : nullptr, outcome.text);
        sendBands(true);
        channel.send(Writer(Kind::ScanEnded).outcome(outcome).take());
        // A driver may hang here; the library is told when it is over. The overridden
        // options have their values back by then.
        session.endScan();
        channel.send(Writer(Kind::Settled).take());
        return true;
    }
    default: return false;
    }
}

} // namespace

int main(int argc, char **argv)
{
    // End with the program, even when it is killed; if it died before this line, end now.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (argc > 1 && ::getppid() != std::atoi(argv[1]))
        return 0;
    // SANE reads its configuration from the working directory first when SANE_CONFIG_DIR
    // is unset, so the program's directory, which someone else may control, must not decide
    // which drivers run.
    if (::chdir("/") != 0)
        return 1;
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN); // a file grown too large is a write error, not the end

    // The conversation moves to descriptors of its own; what drivers print goes to stderr.
    const int in = ::fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 3);
    const int out = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
    if (in < 0 || out < 0)
        return 1;
    // Room in the pipe for the bands of a page: a scan never waits for the dialog to read
    // them while it paints. A pipe that cannot grow keeps its size.
    ::fcntl(out, F_SETPIPE_SZ, 1 << 20);
    ::dup2(STDERR_FILENO, STDOUT_FILENO);
    if (const int null = ::open("/dev/null", O_RDONLY | O_CLOEXEC); null >= 0)
        ::dup2(null, STDIN_FILENO);

    // The socket for the image files, if it is one; kept from the drivers' children.
    int files = argc > 2 ? std::atoi(argv[2]) : -1;
    struct stat st { };
    if (files < 3 || ::fstat(files, &st) != 0 || !S_ISSOCK(st.st_mode) || ::fcntl(files, F_SETFD, FD_CLOEXEC) != 0)
        files = -1;

    // A scan's buffers are taken anew each time: memory given back stays with the process up
    // to a few megabytes, so that the next scan does not fault in fresh pages.
    ::mallopt(M_MMAP_THRESHOLD, 8 << 20);
    ::mallopt(M_TRIM_THRESHOLD, 16 << 20);

    Channel channel(in, out);
    channel.send(wire::Writer(wire::Kind::Hello).u32(wire::magic).u32(wire::version).take());
    SaneSession session;
    QByteArray message;
    while (channel.receive(message))
        if (!serve(message, session, channel, files)) {
            std::fputs("vistoramo-scanner: unbekannte Anfrage der Bibliothek\n", stderr);
            return 2;
        }
    return 0;
}
