#include "scanlib/client/Client.h"

#include "base/Errors.h"
#include "base/Paths.h"
#include "scanlib/wire/System.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <optional>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace scanlib {

namespace {

Client *theClient = nullptr;

// The helper lives beside the library that holds this code.
QString helperPath()
{
    Dl_info info{};
    if (::dladdr(reinterpret_cast<void *>(&helperPath), &info) && info.dli_fname)
        return QFileInfo(rt::decodePath(info.dli_fname)).absoluteDir().filePath(QStringLiteral("vistoramo-scanner"));
    return QCoreApplication::applicationDirPath() + QStringLiteral("/vistoramo-scanner");
}

// The time limits' factor from VISTORAMO_SCANNER_TIMEOUT_SCALE, 1 when it is unset or unfit.
double timeoutScale()
{
    static const double scale = [] {
        bool ok = false;
        const double v = qEnvironmentVariable("VISTORAMO_SCANNER_TIMEOUT_SCALE").toDouble(&ok);
        return ok && v > 0 && v <= 1 ? v : 1.0;
    }();
    return scale;
}

qint64 scaled(int ms)
{
    return qint64(ms * timeoutScale());
}

QString crashText(const char *doing, const QString &how)
{
    return QStringLiteral("Der Scannertreiber ist %1 abgestürzt (%2). Der Vorgang wurde abgebrochen; "
                          "Sie können es noch einmal versuchen.")
        .arg(QString::fromUtf8(doing), how);
}

} // namespace

// The file a scan is written to before it replaces its target: made here, beside the target
// so that the replacement is one rename, never following a link and never more open than
// 0600 (the umask applies). The helper gets only its descriptor; renaming and removing go
// through the directory opened when the file was made, and only while the name still
// holds this very file.
class StagedFile {
public:
    ~StagedFile() { discard(); }
    // False with why set when the file cannot be made.
    bool create(const QString &path, QString &why)
    {
        const QFileInfo info(path);
        target_ = rt::encodePath(info.fileName());
        dir_ = ::open(rt::encodePath(info.path()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dir_ < 0 || target_.isEmpty()) {
            why = systemError(dir_ < 0 ? errno : EISDIR);
            return false;
        }
        static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
        for (int attempt = 0; attempt < 100; ++attempt) {
            QByteArray suffix(6, 'x');
            for (char &c : suffix)
                c = letters[QRandomGenerator::global()->bounded(int(sizeof letters - 1))];
            name_ = "." + target_ + "." + suffix + ".part";
            fd_ = ::openat(dir_, name_.constData(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
            if (fd_ >= 0 || errno != EEXIST)
                break;
        }
        struct stat st { };
        if (fd_ < 0 || ::fstat(fd_, &st) != 0) {
            why = systemError(errno);
            name_.clear();
            return false;
        }
        device_ = st.st_dev;
        inode_ = st.st_ino;
        return true;
    }
    int descriptor() const { return fd_; }
    // Puts the finished file in the target's place; false with why set.
    bool commit(QString &why)
    {
        if (!ours()) {
            why = QStringLiteral("Die Zwischendatei wurde während des Scannens ersetzt; das Bild wurde nicht gespeichert.");
            name_.clear();
            return false;
        }
        if (::renameat(dir_, name_.constData(), dir_, target_.constData()) != 0) {
            why = systemError(errno);
            discard();
            return false;
        }
        name_.clear();
        discard();
        return true;
    }
    // Removes the file if it is still there and still this one.
    void discard()
    {
        if (!name_.isEmpty() && ours())
            ::unlinkat(dir_, name_.constData(), 0);
        name_.clear();
        for (int *fd : {&fd_, &dir_})
            if (*fd >= 0)
                ::close(std::exchange(*fd, -1));
    }

private:
    bool ours() const
    {
        struct stat st { };
        return dir_ >= 0 && !name_.isEmpty() && ::fstatat(dir_, name_.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0
            && S_ISREG(st.st_mode) && st.st_dev == device_ && st.st_ino == inode_;
    }

    int dir_ = -1, fd_ = -1;
    QByteArray target_, name_;
    dev_t device_ = 0;
    ino_t inode_ = 0;
};

namespace {

// A preview is small: a quarter of a gigabyte is far beyond any.
constexpr qint64 previewLimitBytes = qint64(256) << 20;

// The preview's picture, put together from its bands (every row and column) as they arrive:
// no file is written for it and none read back.
class BandPicture {
public:
    void add(const Band &b)
    {
        if (!why_.isEmpty())
            return;
        const qint64 stride = qint64(b.width) * 3;
        if (b.width <= 0 || b.rows <= 0 || b.firstRow < 0 || (width_ > 0 && b.width != width_)
            || qint64(b.rgb.size()) != stride * b.rows) {
            why_ = QStringLiteral("Die Vorschau kam nicht vollständig an.");
            return;
        }
        const qint64 end = qint64(b.firstRow) + b.rows, most = previewLimitBytes / stride;
        if (std::max<qint64>(end, b.fullHeight) > most) {
            why_ = QStringLiteral("Die Vorschau ist zu groß, um sie zu zeigen.");
            return;
        }
        width_ = b.width;
        if (end > image_.height()) { // the whole height when the device tells it, else room to grow
            QImage larger(width_, int(std::min(most, std::max<qint64>({end, b.fullHeight, qint64(image_.height()) * 2}))),
                          QImage::Format_RGB888);
            if (larger.isNull()) {
                why_ = QStringLiteral("Für die Vorschau reicht der Speicher nicht.");
                return;
            }
            for (int y = 0; y < rows_; ++y)
                std::memcpy(larger.scanLine(y), image_.constScanLine(y), std::size_t(stride));
            image_ = std::move(larger);
        }
        for (int y = 0; y < b.rows; ++y)
            std::memcpy(image_.scanLine(b.firstRow + y), b.rgb.constData() + stride * y, std::size_t(stride));
        if (b.firstRow <= rows_) // rows come in order; a three-pass scan sends them again
            rows_ = std::max(rows_, int(end));
        fullHeight_ = b.fullHeight;
    }
    // The picture once every row is in; null with why set otherwise.
    QImage take(QString &why)
    {
        if (why_.isEmpty() && (rows_ == 0 || (fullHeight_ > 0 && rows_ != fullHeight_)))
            why_ = QStringLiteral("Die Vorschau kam nicht vollständig an.");
        why = why_;
        if (!why_.isEmpty())
            return {};
        return rows_ == image_.height() ? std::move(image_) : image_.copy(0, 0, width_, rows_);
    }

private:
    QImage image_;
    int width_ = 0, rows_ = 0, fullHeight_ = -1;
    QString why_;
};

// Ends the decoding of an answer: hands it on through f when it was read whole and someone
// still waits for it; false when it was malformed.
template <typename F>
bool finish(const wire::Reader &in, bool deliver, F &&f)
{
    if (!in.complete())
        return false;
    if (deliver)
        rt::attempt("vistoramo-scan", std::forward<F>(f));
    return true;
}

} // namespace

Client &Client::instance()
{
    if (!theClient)
        theClient = new Client; // lives for the process; shutdown() ends its helper
    return *theClient;
}

Client::Client()
{
    watchdog_.setInterval(250);
    connect(&watchdog_, &QTimer::timeout, this, rt::guarded([this] { watch(); }));
    qAddPostRoutine(&Client::shutdown);
}

void Client::shutdown()
{
    if (theClient)
        theClient->endHelper(theClient->inFlight_.empty());
}

void Client::later(const QPointer<QObject> &target, std::function<void()> job)
{
    QTimer::singleShot(0, QCoreApplication::instance(), [target, job = std::move(job)] {
        if (target)
            rt::attempt("vistoramo-scan", job);
    });
}

void Client::startHelper()
{
    framer_ = {};
    greeted_ = false;
    process_ = new QProcess(this);
    process_->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // The scans' files go to the helper open, over a socket of their own; the helper's end
    // stays open across its exec under the same number.
    int sockets[2] = {-1, -1};
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sockets) != 0)
        sockets[0] = sockets[1] = -1;
    files_ = sockets[0];
    const int helperEnd = sockets[1];
    // The helper must not outlive the program, also when the program is killed.
    process_->setChildProcessModifier([helperEnd] {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (helperEnd >= 0)
            ::fcntl(helperEnd, F_SETFD, 0);
    });
    QProcess *process = process_;
    connect(process, &QProcess::readyReadStandardOutput, this, rt::guarded([this, process] {
                if (process == process_)
                    readAnswers();
            }));
    connect(process, &QProcess::finished, this, rt::guarded([this, process](int code, QProcess::ExitStatus status) {
                if (process != process_)
                    return;
                readAnswers();
                helperDied(status == QProcess::CrashExit ? QStringLiteral("Signal %1").arg(code)
                                                         : QStringLiteral("Ende mit Code %1").arg(code));
            }));
    connect(process, &QProcess::errorOccurred, this, rt::guarded([this, process](QProcess::ProcessError error) {
                if (process != process_ || error != QProcess::FailedToStart)
                    return;
                QString why = QStringLiteral("Das Scannerprogramm „%1“ lässt sich nicht starten: %2")
                                  .arg(helperPath(), process->errorString());
                abandonHelper(ScanResult::Failed, [&why](const Request &) { return why; });
            }));
    // QProcess passes the program's name as text; one that is not (a Latin-1 "ä" in the
    // directory's name) is started through a descriptor of the file, which lives until the
    // start has happened.
    const QByteArray helper = rt::encodePath(helperPath());
    const int fd = QFile::encodeName(QFile::decodeName(helper)) == helper ? -1 : ::open(helper.constData(), O_PATH | O_CLOEXEC);
    process_->start(fd < 0 ? helperPath() : QStringLiteral("/proc/self/fd/%1").arg(fd),
                    {QString::number(::getpid()), QString::number(helperEnd)});
    if (fd >= 0)
        ::close(fd);
    if (helperEnd >= 0)
        ::close(helperEnd);
}

void Client::send(Request request)
{
    if (!process_) {
        startHelper();
        replaySettings();
    }
    request.waiting.start();
    inFlight_.push_back(std::move(request));
    watchdog_.start();
    QProcess *process = process_;
    // A file that cannot go makes the helper find none and say so.
    if (const Request &r = inFlight_.back(); r.staged && files_ >= 0)
        sendDescriptor(files_, r.staged->descriptor());
    process->write(inFlight_.back().message);
    // Out at once rather than when the event loop next comes round, after the dialog has been
    // repainted: a scan starts a millisecond or two sooner. (Should the pipe be full, answers
    // read meanwhile are handled as usual; the process is only ever deleted later.)
    process->waitForBytesWritten(0);
}

void Client::replaySettings()
{
    if (settings_.empty() || settingsDevice_ != chosen_)
        return;
    // Asked by the client itself, so never given up; the answers are of no interest.
    const auto replay = [this](wire::Kind kind, QByteArray message, int before) {
        Request r;
        r.kind = kind;
        r.message = std::move(message);
        r.target = this;
        r.replayed = before;
        r.doing = "beim Wiederherstellen der Einstellungen";
        r.answer = [kind](wire::Reader &in, bool) {
            in.text(); // the device when opened, else the error
            if (kind == wire::Kind::Open)
                in.text();
            in.options();
            return in.complete();
        };
        r.fail = [](ScanResult, const QString &) {};
        send(std::move(r));
    };
    replay(wire::Kind::Open, wire::Writer(wire::Kind::Open).text(settingsDevice_).take(), 0);
    // A copy: a failing replay shortens the list.
    const std::vector<QByteArray> settings = settings_;
    for (std::size_t i = 0; i < settings.size(); ++i)
        replay(wire::Kind::SetOption, settings[i], int(i));
}

void Client::readAnswers()
{
    const QByteArray bytes = process_->readAllStandardOutput();
    framer_.append(bytes.constData(), std::size_t(bytes.size()));
    QByteArray message;
    for (;;) {
        const wire::Framer::Next next = framer_.next(message);
        if (next == wire::Framer::Next::NeedMore)
            return;
        if (next == wire::Framer::Next::Bad || !handle(message)) {
            helperDied(QStringLiteral("unverständliche Antwort"));
            return;
        }
        if (!process_)
            return; // an answer's receiver ended the helper
    }
}

bool Client::handle(const QByteArray &message)
{
    wire::Reader in(message);
    if (!greeted_) {
        const std::uint32_t magic = in.u32(), version = in.u32();
        greeted_ = in.kind() == wire::Kind::Hello && in.complete() && magic == wire::magic && version == wire::version;
        return greeted_;
    }
    if (inFlight_.empty())
        return false;
    Request &front = inFlight_.front();
    if (front.answered) { // a scan whose outcome is out, until the driver has ended it
        if (in.kind() != wire::Kind::Settled || !in.complete())
            return false;
        inFlight_.pop_front();
        if (!inFlight_.empty())
            inFlight_.front().waiting.start();
        return true;
    }
    if (in.kind() == wire::Kind::Progress && front.kind == wire::Kind::Scan) {
        const double fraction = in.f64();
        if (!in.complete())
            return false;
        heardData(front);
        if (front.target && front.progress)
            rt::attempt("vistoramo-scan", [&] { front.progress(fraction); });
        return true;
    }
    if (in.kind() == wire::Kind::Band && front.kind == wire::Kind::Scan) {
        wire::Band b = in.band();
        if (!in.complete())
            return false;
        heardData(front);
        const Band band{int(b.firstRow), int(b.width), int(b.rows), int(b.fullHeight), std::move(b.rgb)};
        if (front.target && front.band)
            rt::attempt("vistoramo-scan", [&] { front.band(band); });
        return true;
    }
    const auto expected = [](wire::Kind asked) {
        switch (asked) {
        case wire::Kind::ListDevices: return wire::Kind::Devices;
        case wire::Kind::Open: return wire::Kind::Opened;
        case wire::Kind::SetOption: return wire::Kind::Options;
        default: return wire::Kind::ScanEnded;
        }
    };
    if (in.kind() != expected(front.kind))
        return false; // fails with the others
    if (front.kind == wire::Kind::Scan) {
        // Stays first until the driver has ended the scan, which may hang.
        const auto answer = front.answer;
        front.answered = true;
        front.waiting.restart();
        if (answer(in, bool(front.target)))
            return true;
        front.answered = false; // malformed, so nothing was delivered
        return false;
    }
    Request request = std::move(front);
    inFlight_.pop_front();
    if (!inFlight_.empty())
        inFlight_.front().waiting.start();
    if (!request.answer(in, bool(request.target))) {
        inFlight_.push_front(std::move(request));
        return false;
    }
    return true;
}

void Client::heardData(Request &scan)
{
    scan.waiting.restart();
    if (scan.silenceShown && scan.target && !scan.cancelling && scan.notice)
        rt::attempt("vistoramo-scan", [&] { scan.notice({}); });
    scan.silenceShown = false;
}

void Client::watch()
{
    if (inFlight_.empty()) {
        watchdog_.stop();
        return;
    }
    Request &front = inFlight_.front();
    if (front.answered) {
        // The driver hangs in ending a scan that has answered: its process goes, and what
        // waits goes to a fresh one.
        if (front.waiting.elapsed() >= cancelGraceMs)
            restartHelper();
        return;
    }
    if (front.kind == wire::Kind::Scan) {
        if (front.cancelling && front.cancelledAt.elapsed() >= cancelGraceMs) {
            // The driver ignores the cancel: its process goes, and the scan with it.
            abandonHelper(ScanResult::Cancelled, [](const Request &) {
                return QStringLiteral("Der Scanner antwortet nicht; der Scanvorgang wurde abgebrochen.");
            });
            return;
        }
        const qint64 silent = front.waiting.elapsed();
        if (!front.cancelling && silent >= silenceNoticeMs && front.target && front.notice) {
            front.silenceShown = true;
            const QString text = QStringLiteral("Seit %1 s keine Daten vom Scanner … Der Scanvorgang läuft weiter; "
                                                "„Abbrechen“ beendet ihn.")
                                     .arg(silent / 1000);
            rt::attempt("vistoramo-scan", [&] { front.notice(text); });
        }
        return;
    }
    // Every other request has its time limit; until then the asker is told that the program
    // waits.
    const qint64 waited = front.waiting.elapsed();
    const qint64 limit = scaled(front.kind == wire::Kind::SetOption ? optionLimitMs : openLimitMs);
    if (waited >= limit) {
        restartHelper(QStringLiteral("Der Scanner hat %1 nicht rechtzeitig geantwortet (nach %2 s). Das Scannerprogramm "
                                     "wurde beendet; beim nächsten Versuch wird es neu gestartet.")
                          .arg(QString::fromUtf8(front.doing))
                          .arg(double(limit) / 1000.0, 0, 'g', 3));
        return;
    }
    if (!front.stallShown && waited >= scaled(stallNoticeMs) && front.target && front.target != this) {
        front.stallShown = true;
        emit stalled(front.target, QStringLiteral("Das Programm wartet auf den Scanner … „Abbrechen“ beendet das Warten."));
    }
    // Nobody waits for the first request any more, but another waits behind it.
    if (front.target || inFlight_.size() < 2) {
        front.abandoned.invalidate();
        return;
    }
    if (!front.abandoned.isValid())
        front.abandoned.start();
    if (front.abandoned.elapsed() >= abandonedGraceMs && inFlight_[1].waiting.elapsed() >= abandonedGraceMs)
        restartHelper();
}

void Client::restartHelper(const QString &why)
{
    endHelper();
    std::deque<Request> waiting = std::exchange(inFlight_, {});
    Request dropped = std::move(waiting.front());
    waiting.pop_front();
    forgetReplay(dropped);
    if (dropped.staged)
        dropped.staged->discard();
    if (!why.isEmpty() && dropped.target && dropped.fail)
        rt::attempt("vistoramo-scan", [&] { dropped.fail(ScanResult::Failed, why); });
    // The fresh helper gets the settings replayed anew.
    for (Request &r : waiting)
        if (r.replayed < 0)
            send(std::move(r));
}

void Client::forgetReplay(const Request &failed)
{
    if (failed.replayed >= 0 && std::size_t(failed.replayed) < settings_.size())
        settings_.resize(std::size_t(failed.replayed));
}

void Client::helperDied(const QString &how)
{
    abandonHelper(ScanResult::Failed, [&how](const Request &r) { return crashText(r.doing, how); });
}

void Client::abandonHelper(ScanResult outcome, const std::function<QString(const Request &)> &why)
{
    std::deque<Request> failed = std::exchange(inFlight_, {});
    endHelper();
    if (!failed.empty())
        forgetReplay(failed.front());
    for (Request &r : failed) {
        if (r.staged)
            r.staged->discard();
        if (r.target && !r.answered)
            rt::attempt("vistoramo-scan", [&] { r.fail(outcome, why(r)); });
    }
}

void Client::endHelper(bool gently)
{
    QProcess *process = std::exchange(process_, nullptr);
    if (files_ >= 0)
        ::close(std::exchange(files_, -1));
    if (!process)
        return;
    process->disconnect(this);
    if (process->state() != QProcess::NotRunning) {
        // Gently, the helper closes its device when its input closes; else it is killed.
        process->closeWriteChannel();
        if (!gently || !process->waitForFinished(300)) {
            process->kill();
            process->waitForFinished(1000);
        }
    }
    process->deleteLater();
}

Client::Request Client::request(wire::Writer &&message, wire::Kind kind, QObject *target, const char *doing)
{
    Request r;
    r.kind = kind;
    r.message = message.take();
    r.target = target;
    r.doing = doing;
    return r;
}

DeviceInfo Client::describe(const QString &name) const
{
    for (const DeviceInfo &d : listed_)
        if (d.name == name)
            return d;
    return {name, {}, {}, {}};
}

void Client::findDevices(QObject *target, std::function<void(std::vector<DeviceInfo>, QString)> done)
{
    const auto kind = wire::Kind::ListDevices;
    Request r = request(wire::Writer(kind), kind, target, "bei der Gerätesuche");
    r.answer = [this, done](wire::Reader &in, bool deliver) {
        const QString error = in.text();
        const std::vector<DeviceInfo> devices = in.devices();
        return finish(in, deliver, [&] {
            if (error.isEmpty())
                listed_ = devices;
            done(devices, error);
        });
    };
    r.fail = [done](ScanResult, const QString &why) { done({}, why); };
    send(std::move(r));
}

void Client::openDevice(QObject *target, std::function<void(QString, OptionList, QString, bool)> done)
{
    const auto kind = wire::Kind::Open;
    Request r = request(std::move(wire::Writer(kind).text(chosen_)), kind, target, "beim Öffnen des Scanners");
    r.answer = [this, done](wire::Reader &in, bool deliver) {
        const QString device = in.text(), error = in.text();
        const OptionList options = in.options();
        if (in.complete() && error.isEmpty()) {
            if (chosen_.isEmpty())
                chosen_ = device;
            if (device != settingsDevice_)
                settings_.clear();
            settingsDevice_ = device;
        }
        return finish(in, deliver, [&] { done(device, options, error, false); });
    };
    r.fail = [done](ScanResult, const QString &why) { done({}, {}, why, true); };
    send(std::move(r));
}

void Client::setOption(QObject *target, int index, const QVariant &value, std::function<void(OptionList, QString, bool)> done)
{
    wire::OptionValue v;
    v.index = index;
    if (!value.isValid()) {
        v.kind = wire::OptionValue::Kind::Press;
    } else if (value.typeId() == QMetaType::Bool) {
        v.kind = wire::OptionValue::Kind::Bool;
        v.number = value.toBool() ? 1 : 0;
    } else if (value.typeId() == QMetaType::QByteArray || value.typeId() == QMetaType::QString) {
        v.kind = wire::OptionValue::Kind::Text;
        v.text = value.toByteArray();
    } else {
        v.kind = wire::OptionValue::Kind::Number;
        v.number = value.toDouble();
    }
    const auto kind = wire::Kind::SetOption;
    Request r = request(std::move(wire::Writer(kind).value(v)), kind, target, "beim Einstellen");
    r.answer
        = [this, done, setting = r.message, press = v.kind == wire::OptionValue::Kind::Press](wire::Reader &in, bool deliver) {
              const QString error = in.text();
              const OptionList options = in.options();
              if (in.complete() && error.isEmpty() && !press)
                  settings_.push_back(setting);
              return finish(in, deliver, [&] { done(options, error, false); });
          };
    r.fail = [done](ScanResult, const QString &why) { done({}, why, true); };
    send(std::move(r));
}

void Client::scan(QObject *target, const QString &path, std::function<void(double)> progress, std::function<void(QString)> notice,
                  std::function<void(ScanResult, QString)> done)
{
    scan(target, path, ScanView{}, std::move(progress), std::move(notice), std::move(done));
}

void Client::scan(QObject *target, const QString &path, ScanView view, std::function<void(double)> progress,
                  std::function<void(QString)> notice, std::function<void(ScanResult, QString)> done)
{
    const wire::ScanRequest request{chosen_, {}, view.sample};
    sendScan(target, path, request, std::move(view), std::move(progress), std::move(notice), done,
             [done, path](wire::ScanOutcome outcome, StagedFile *staged, bool deliver) {
                 if (QString failure; outcome.result == ScanResult::Done && !staged->commit(failure)) {
                     outcome.result = ScanResult::Failed;
                     outcome.text = QStringLiteral("Die Datei „%1“ lässt sich nicht speichern: %2").arg(path, failure);
                 }
                 if (deliver)
                     rt::attempt("vistoramo-scan", [&] { done(outcome.result, outcome.text); });
             });
}

void Client::preview(QObject *target, std::vector<wire::OptionValue> overrides, std::function<void(const Band &)> shown,
                     std::function<void(double)> progress, std::function<void(QString)> notice,
                     std::function<void(ScanResult, QString, QImage)> done)
{
    const wire::ScanRequest request{chosen_, std::move(overrides), 1, false};
    auto picture = std::make_shared<BandPicture>();
    ScanView view{1, [picture, shown = std::move(shown)](const Band &band) {
                      picture->add(band);
                      if (shown)
                          shown(band);
                  }};
    sendScan(
        target, {}, request, std::move(view), std::move(progress), std::move(notice),
        [done](ScanResult result, const QString &why) { done(result, why, {}); },
        [done, picture](wire::ScanOutcome outcome, StagedFile *, bool deliver) {
            if (!deliver)
                return;
            QImage image;
            if (QString why; outcome.result == ScanResult::Done && (image = picture->take(why)).isNull()) {
                outcome.result = ScanResult::Failed;
                outcome.text = why;
            }
            rt::attempt("vistoramo-scan", [&] { done(outcome.result, outcome.text, std::move(image)); });
        });
}

void Client::sendScan(QObject *target, const QString &path, const wire::ScanRequest &asked, ScanView view,
                      std::function<void(double)> progress, std::function<void(QString)> notice,
                      std::function<void(ScanResult, QString)> fail,
                      std::function<void(wire::ScanOutcome, StagedFile *, bool)> ended)
{
    // The staged file is made here and stays the library's, whatever becomes of the helper.
    std::shared_ptr<StagedFile> staged;
    if (QString why; asked.toFile && !(staged = std::make_shared<StagedFile>())->create(path, why)) {
        why = QStringLiteral("Die Datei „%1“ lässt sich nicht anlegen: %2").arg(path, why);
        later(target, [fail, why] { fail(ScanResult::Failed, why); });
        return;
    }
    const auto kind = wire::Kind::Scan;
    Request r = request(std::move(wire::Writer(kind).scan(asked)), kind, target, "beim Scannen");
    r.staged = staged;
    r.progress = std::move(progress);
    r.notice = std::move(notice);
    if (view.sample > 0)
        r.band = std::move(view.band);
    r.answer = [staged, ended = std::move(ended)](wire::Reader &in, bool deliver) {
        const wire::ScanOutcome outcome = in.outcome();
        if (!in.complete())
            return false;
        ended(outcome, staged.get(), deliver);
        if (staged)
            staged->discard();
        return true;
    };
    r.fail = std::move(fail);
    send(std::move(r));
}

void Client::cancelScan()
{
    for (Request &r : inFlight_)
        if (r.kind == wire::Kind::Scan && !r.cancelling && !r.answered) {
            r.cancelling = true;
            r.cancelledAt.start();
            if (process_)
                process_->write(wire::Writer(wire::Kind::Cancel).take());
        }
}

} // namespace scanlib
