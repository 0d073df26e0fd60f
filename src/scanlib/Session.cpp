#include "Session.h"

#include "BmpAssembler.h"
#include "Catalogue.h"
#include "Guard.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryFile>
#include <QThread>
#include <algorithm>
#include <cmath>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

Session *theSession = nullptr;

constexpr int maxOptions = 10000;
constexpr std::size_t readBufferSize = 256 * 1024;

double fromWord(SANE_Value_Type type, SANE_Word w)
{
    return type == SANE_TYPE_FIXED ? SANE_UNFIX(w) : double(w);
}

SANE_Word toWord(SANE_Value_Type type, double v)
{
    if (type == SANE_TYPE_FIXED)
        return SANE_FIX(v);
    return static_cast<SANE_Word>(std::lround(std::clamp(v, -2147483648.0, 2147483647.0)));
}

// The value the constraint allows that is nearest to v.
double snapToConstraint(const OptionInfo &o, double v)
{
    if (o.constraint == SANE_CONSTRAINT_RANGE) {
        v = std::clamp(v, o.min, o.max);
        if (o.quant > 0)
            v = std::min(o.max, o.min + std::round((v - o.min) / o.quant) * o.quant);
    } else if (o.constraint == SANE_CONSTRAINT_WORD_LIST && !o.words.empty()) {
        v = *std::min_element(o.words.begin(), o.words.end(),
                              [v](double a, double b) { return std::abs(a - v) < std::abs(b - v); });
    }
    return v;
}

// A file written under a unique temporary name beside its destination, which takes the
// destination's place only when complete; otherwise it is removed. Unlike QSaveFile it does
// not force the data to disk first, which would double the time of a large scan.
class StagedFile {
public:
    explicit StagedFile(const QString &path)
        : path_(path), temp_(QFileInfo(path).dir().filePath(QStringLiteral(".%1.XXXXXX.part").arg(QFileInfo(path).fileName())))
    {
    }
    bool open() { return temp_.open(); }
    QIODevice &device() { return temp_; }
    QString errorString() const { return temp_.errorString(); }
    void discard() { temp_.remove(); }
    bool commit(QString &why)
    {
        temp_.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup
                             | QFileDevice::ReadOther);
        if (!temp_.flush()) {
            why = temp_.errorString();
            return false;
        }
        temp_.close();
        // rename(2) replaces an existing file in one step.
        if (std::rename(QFile::encodeName(temp_.fileName()).constData(), QFile::encodeName(path_).constData()) != 0) {
            why = QString::fromLocal8Bit(std::strerror(errno));
            return false;
        }
        temp_.setAutoRemove(false);
        return true;
    }

private:
    QString path_;
    QTemporaryFile temp_; // removes itself unless committed
};

} // namespace

int OptionInfo::count() const
{
    return std::max(1, size / int(sizeof(SANE_Word)));
}

QString statusText(SANE_Status status)
{
    switch (status) {
    case SANE_STATUS_GOOD: return QStringLiteral("Kein Fehler.");
    case SANE_STATUS_UNSUPPORTED: return QStringLiteral("Der Scanner unterstützt diesen Vorgang nicht.");
    case SANE_STATUS_CANCELLED: return QStringLiteral("Der Scanvorgang wurde abgebrochen.");
    case SANE_STATUS_DEVICE_BUSY:
        return QStringLiteral("Der Scanner ist gerade belegt. Bitte versuchen Sie es gleich noch einmal.");
    case SANE_STATUS_INVAL: return QStringLiteral("Der Scanner hat eine Einstellung als ungültig abgelehnt.");
    case SANE_STATUS_EOF: return QStringLiteral("Der Scanner hat keine Bilddaten geliefert.");
    case SANE_STATUS_JAMMED: return QStringLiteral("Im Scanner hat sich das Papier gestaut.");
    case SANE_STATUS_NO_DOCS: return QStringLiteral("Im Vorlageneinzug liegt kein Blatt (mehr).");
    case SANE_STATUS_COVER_OPEN: return QStringLiteral("Die Abdeckung des Scanners ist offen.");
    case SANE_STATUS_IO_ERROR: return QStringLiteral("Die Verbindung zum Scanner ist gestört (Ein-/Ausgabefehler).");
    case SANE_STATUS_NO_MEM: return QStringLiteral("Für den Scanvorgang reicht der Speicher nicht.");
    case SANE_STATUS_ACCESS_DENIED: return QStringLiteral("Der Zugriff auf den Scanner wurde verweigert.");
    }
    return QStringLiteral("Der Scanner meldete einen unbekannten Fehler (Status %1).").arg(int(status));
}

Session &Session::instance()
{
    if (!theSession)
        theSession = new Session; // lives for the process; shutdown() stops its thread
    return *theSession;
}

Session::Session()
{
    thread_ = new QThread;
    thread_->setObjectName(QStringLiteral("vistoramo-scan"));
    context_ = new QObject;
    context_->moveToThread(thread_);
    thread_->start();
    qAddPostRoutine(&Session::shutdown);
}

void Session::shutdown()
{
    Session *s = theSession;
    if (!s)
        return;
    {
        std::lock_guard lock(s->mutex_);
        if (s->activeCancel_)
            *s->activeCancel_ = true;
    }
    QMetaObject::invokeMethod(
        s->context_,
        [s] {
            runGuarded([s] {
                s->closeHandle();
                if (s->initialised_)
                    sane_exit();
                s->initialised_ = false;
            });
        },
        Qt::BlockingQueuedConnection);
    s->thread_->quit();
    s->thread_->wait();
}

QString Session::chosenDevice() const
{
    std::lock_guard lock(mutex_);
    return chosen_;
}

void Session::choose(const QString &name)
{
    std::lock_guard lock(mutex_);
    chosen_ = name;
}

DeviceInfo Session::describe(const QString &name) const
{
    std::lock_guard lock(mutex_);
    for (const DeviceInfo &d : listed_)
        if (d.name == name)
            return d;
    return {name, {}, {}, {}};
}

void Session::post(std::function<void()> job)
{
    QMetaObject::invokeMethod(context_, [job = std::move(job)] { runGuarded(job); }, Qt::QueuedConnection);
}

void Session::answer(const QPointer<QObject> &target, std::function<void()> job)
{
    if (QCoreApplication *app = QCoreApplication::instance())
        QMetaObject::invokeMethod(
            app, [target, job = std::move(job)] {
                if (target)
                    runGuarded(job);
            },
            Qt::QueuedConnection);
}

static QString initialise(bool &initialised)
{
    if (initialised)
        return {};
    SANE_Int version = 0;
    const SANE_Status status = sane_init(&version, nullptr);
    if (status != SANE_STATUS_GOOD)
        return QStringLiteral("Die Scanner-Schnittstelle SANE lässt sich nicht starten: %1").arg(statusText(status));
    initialised = true;
    return {};
}

static std::vector<DeviceInfo> listDevices()
{
    std::vector<DeviceInfo> devices;
    const SANE_Device **list = nullptr;
    if (sane_get_devices(&list, SANE_FALSE) != SANE_STATUS_GOOD || !list)
        return devices;
    for (const SANE_Device **d = list; *d; ++d) {
        const auto text = [](const char *s) { return QString::fromLocal8Bit(s ? s : ""); };
        devices.push_back({text((*d)->name), text((*d)->vendor), text((*d)->model), text((*d)->type)});
    }
    return devices;
}

std::vector<DeviceInfo> Session::list()
{
    std::vector<DeviceInfo> devices = listDevices();
    std::lock_guard lock(mutex_);
    listed_ = devices;
    return devices;
}

void Session::findDevices(QObject *target, std::function<void(std::vector<DeviceInfo>)> done)
{
    post([this, target = QPointer<QObject>(target), done = std::move(done)] {
        std::vector<DeviceInfo> devices;
        if (initialise(initialised_).isEmpty())
            devices = list();
        answer(target, [done, devices = std::move(devices)] { done(devices); });
    });
}

QString Session::open()
{
    if (QString error = initialise(initialised_); !error.isEmpty())
        return error;
    QString wanted = chosenDevice();
    if (handle_ && (wanted.isEmpty() || wanted == openName_))
        return {};
    closeHandle();
    if (wanted.isEmpty()) {
        const std::vector<DeviceInfo> devices = list();
        if (devices.empty())
            return QStringLiteral("Es wurde kein Scanner gefunden.");
        wanted = devices.front().name;
        choose(wanted);
    }
    SANE_Handle handle = nullptr;
    const SANE_Status status = sane_open(wanted.toLocal8Bit().constData(), &handle);
    if (status != SANE_STATUS_GOOD || !handle)
        return QStringLiteral("Der Scanner „%1“ lässt sich nicht öffnen: %2").arg(wanted, statusText(status));
    handle_ = handle;
    openName_ = wanted;
    options_ = readOptions();
    return {};
}

void Session::closeHandle()
{
    if (handle_)
        sane_close(handle_);
    handle_ = nullptr;
    openName_.clear();
    options_.clear();
}

OptionList Session::readOptions()
{
    OptionList list;
    SANE_Int count = 0;
    if (sane_control_option(handle_, 0, SANE_ACTION_GET_VALUE, &count, nullptr) != SANE_STATUS_GOOD)
        return list;
    count = std::clamp(count, 0, maxOptions);
    for (SANE_Int i = 1; i < count; ++i) {
        const SANE_Option_Descriptor *d = sane_get_option_descriptor(handle_, i);
        if (!d)
            continue;
        OptionInfo o;
        o.index = i;
        o.name = d->name;
        o.title = d->title;
        o.description = d->desc;
        o.type = d->type;
        o.unit = d->unit;
        o.size = std::max(0, d->size);
        o.cap = d->cap;
        o.constraint = d->constraint_type;
        if (d->constraint_type == SANE_CONSTRAINT_RANGE && d->constraint.range) {
            o.min = fromWord(d->type, d->constraint.range->min);
            o.max = fromWord(d->type, d->constraint.range->max);
            o.quant = fromWord(d->type, d->constraint.range->quant);
        } else if (d->constraint_type == SANE_CONSTRAINT_WORD_LIST && d->constraint.word_list) {
            const SANE_Word n = std::clamp(d->constraint.word_list[0], 0, maxOptions);
            for (SANE_Word k = 1; k <= n; ++k)
                o.words.push_back(fromWord(d->type, d->constraint.word_list[k]));
        } else if (d->constraint_type == SANE_CONSTRAINT_STRING_LIST && d->constraint.string_list) {
            for (const SANE_String_Const *s = d->constraint.string_list; *s; ++s)
                o.strings.emplace_back(*s);
        }
        readValue(o);
        list.push_back(std::move(o));
    }
    return list;
}

void Session::readValue(OptionInfo &o)
{
    o.hasValue = false;
    o.numbers.clear();
    o.text.clear();
    if (o.type == SANE_TYPE_GROUP || o.type == SANE_TYPE_BUTTON || !o.active() || !(o.cap & SANE_CAP_SOFT_DETECT))
        return;
    std::vector<char> buffer(std::max<std::size_t>(std::size_t(o.size), sizeof(SANE_Word)) + 1, 0);
    if (sane_control_option(handle_, o.index, SANE_ACTION_GET_VALUE, buffer.data(), nullptr) != SANE_STATUS_GOOD)
        return;
    if (o.type == SANE_TYPE_STRING) {
        o.text = QByteArray(buffer.data(), qsizetype(strnlen(buffer.data(), std::size_t(o.size))));
    } else {
        for (int k = 0; k < o.count(); ++k) {
            SANE_Word w;
            std::memcpy(&w, buffer.data() + std::size_t(k) * sizeof w, sizeof w);
            o.numbers.push_back(fromWord(o.type, w));
        }
    }
    o.hasValue = true;
}

void Session::openDevice(QObject *target, std::function<void(QString, OptionList, QString)> done)
{
    post([this, target = QPointer<QObject>(target), done = std::move(done)] {
        const QString error = open();
        answer(target, [done, error, device = openName_, options = options_] {
            done(device, error.isEmpty() ? options : OptionList{}, error);
        });
    });
}

void Session::setOption(QObject *target, int index, QVariant value,
                        std::function<void(OptionList, QString)> done)
{
    post([this, target = QPointer<QObject>(target), index, value = std::move(value), done = std::move(done)] {
        QString error;
        auto option = std::find_if(options_.begin(), options_.end(),
                                   [index](const OptionInfo &o) { return o.index == index; });
        if (!handle_ || option == options_.end()) {
            error = QStringLiteral("Der Scanner ist nicht mehr geöffnet.");
        } else {
            SANE_Int info = 0;
            SANE_Status status;
            if (option->type == SANE_TYPE_BUTTON) {
                status = sane_control_option(handle_, index, SANE_ACTION_SET_VALUE, nullptr, &info);
            } else if (option->type == SANE_TYPE_STRING) {
                std::vector<char> buffer(std::size_t(std::max(option->size, 1)), 0);
                const QByteArray text = value.toByteArray();
                std::memcpy(buffer.data(), text.constData(), std::min(buffer.size() - 1, std::size_t(text.size())));
                status = sane_control_option(handle_, index, SANE_ACTION_SET_VALUE, buffer.data(), &info);
            } else {
                SANE_Word word = option->type == SANE_TYPE_BOOL
                                     ? (value.toBool() ? SANE_TRUE : SANE_FALSE)
                                     : toWord(option->type, snapToConstraint(*option, value.toDouble()));
                status = sane_control_option(handle_, index, SANE_ACTION_SET_VALUE, &word, &info);
            }
            if (status != SANE_STATUS_GOOD)
                error = QStringLiteral("„%1“ wurde nicht übernommen: %2")
                            .arg(tr_sane(option->title.constData()), statusText(status));
            if (status != SANE_STATUS_GOOD || (info & SANE_INFO_RELOAD_OPTIONS))
                options_ = readOptions();
            else
                readValue(*option);
        }
        answer(target, [done, options = options_, error] { done(options, error); });
    });
}

void Session::scan(QObject *target, QString path, std::shared_ptr<std::atomic_bool> cancel,
                   std::function<void(double)> progress, std::function<void(ScanResult, QString)> done)
{
    {
        std::lock_guard lock(mutex_);
        activeCancel_ = cancel;
    }
    post([this, target = QPointer<QObject>(target), path = std::move(path), cancel, progress = std::move(progress),
          done = std::move(done)] {
        QElapsedTimer sinceReport;
        sinceReport.start();
        const auto report = [&](double fraction) {
            if (sinceReport.elapsed() < 100)
                return;
            sinceReport.restart();
            answer(target, [progress, fraction] { progress(fraction); });
        };
        QString error;
        const ScanResult result = runScan(path, *cancel, report, error);
        {
            std::lock_guard lock(mutex_);
            activeCancel_.reset();
        }
        answer(target, [done, result, error] { done(result, error); });
    });
}

ScanResult Session::runScan(const QString &path, const std::atomic_bool &cancel,
                            const std::function<void(double)> &progress, QString &error)
{
    if (error = open(); !error.isEmpty())
        return ScanResult::Failed;

    int dpi = 0;
    for (const OptionInfo &o : options_)
        if (o.name == SANE_NAME_SCAN_RESOLUTION && o.hasValue && !o.numbers.empty())
            dpi = int(std::lround(o.numbers.front()));

    // The image goes to a temporary file beside path that replaces path only when complete.
    StagedFile file(path);
    if (!file.open()) {
        error = QStringLiteral("Die Datei „%1“ lässt sich nicht anlegen: %2").arg(path, file.errorString());
        return ScanResult::Failed;
    }
    BmpAssembler image(file.device(), dpi);
    std::vector<unsigned char> buffer(readBufferSize);
    const auto stop = [&](ScanResult result, const QString &why) {
        sane_cancel(handle_);
        file.discard();
        error = why;
        return result;
    };
    const auto failed = [](SANE_Status s) { return s == SANE_STATUS_CANCELLED ? ScanResult::Cancelled : ScanResult::Failed; };
    const QString cancelled = statusText(SANE_STATUS_CANCELLED);

    for (;;) {
        if (cancel)
            return stop(ScanResult::Cancelled, cancelled);
        SANE_Status status = sane_start(handle_);
        if (status != SANE_STATUS_GOOD)
            return stop(failed(status), statusText(status));
        // Only the parameters read after sane_start describe the frame that follows.
        SANE_Parameters parameters{};
        status = sane_get_parameters(handle_, &parameters);
        if (status != SANE_STATUS_GOOD)
            return stop(failed(status), statusText(status));
        if (!image.beginFrame(parameters))
            return stop(ScanResult::Failed, image.error());
        for (;;) {
            if (cancel)
                return stop(ScanResult::Cancelled, cancelled);
            SANE_Int length = 0;
            status = sane_read(handle_, buffer.data(), SANE_Int(buffer.size()), &length);
            if (status == SANE_STATUS_EOF)
                break;
            if (status != SANE_STATUS_GOOD)
                return stop(failed(status), statusText(status));
            if (length > SANE_Int(buffer.size()))
                return stop(ScanResult::Failed, QStringLiteral("Der Scanner meldete mehr Daten, als er liefern durfte."));
            if (!image.addData(buffer.data(), length))
                return stop(ScanResult::Failed, image.error());
            const long long expected = image.bytesExpected();
            progress(expected > 0 ? std::min(1.0, double(image.bytesReceived()) / double(expected)) : -1.0);
        }
        if (!image.endFrame())
            return stop(ScanResult::Failed, image.error());
        if (parameters.last_frame || image.complete())
            break;
    }
    sane_cancel(handle_);
    if (!image.finish()) {
        file.discard();
        error = image.error();
        return ScanResult::Failed;
    }
    if (QString why; !file.commit(why)) {
        file.discard();
        error = QStringLiteral("Die Datei „%1“ lässt sich nicht speichern: %2").arg(path, why);
        return ScanResult::Failed;
    }
    return ScanResult::Done;
}
