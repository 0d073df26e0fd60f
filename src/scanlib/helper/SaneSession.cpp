#include "scanlib/helper/SaneSession.h"

#include "scanlib/helper/BmpAssembler.h"
#include "scanlib/wire/OptionTitles.h"

#include "scanlib/wire/System.h"

#include <sane/saneopts.h>

#include <QIODevice>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace scanlib {

namespace {

constexpr int maxOptions = 10000;
constexpr std::size_t readBufferSize = std::size_t(256) * 1024;

double fromWord(SANE_Value_Type type, SANE_Word w)
{
    return type == SANE_TYPE_FIXED ? SANE_UNFIX(w) : double(w);
}

SANE_Word toWord(OptionType type, double v)
{
    if (type == OptionType::Fixed)
        return SANE_FIX(v);
    return static_cast<SANE_Word>(std::lround(std::clamp(v, -2147483648.0, 2147483647.0)));
}

OptionType typeOf(SANE_Value_Type t)
{
    switch (t) {
    case SANE_TYPE_BOOL: return OptionType::Bool;
    case SANE_TYPE_INT: return OptionType::Int;
    case SANE_TYPE_FIXED: return OptionType::Fixed;
    case SANE_TYPE_STRING: return OptionType::String;
    case SANE_TYPE_BUTTON: return OptionType::Button;
    case SANE_TYPE_GROUP: return OptionType::Group;
    }
    return OptionType::Group; // unknown types are shown as nothing
}

OptionUnit unitOf(SANE_Unit u)
{
    switch (u) {
    case SANE_UNIT_PIXEL: return OptionUnit::Pixel;
    case SANE_UNIT_BIT: return OptionUnit::Bit;
    case SANE_UNIT_MM: return OptionUnit::Mm;
    case SANE_UNIT_DPI: return OptionUnit::Dpi;
    case SANE_UNIT_PERCENT: return OptionUnit::Percent;
    case SANE_UNIT_MICROSECOND: return OptionUnit::Microsecond;
    default: return OptionUnit::None;
    }
}

// The image file the library made and handed over open: written through its descriptor
// alone (the helper never opens a file of the user's by name), straight to the system
// without a buffer, so that each error is seen with its number and said in German. It does
// not force the data to disk, which would double the time of a large scan.
class ImageFile : public QIODevice {
public:
    explicit ImageFile(int fd) : fd_(fd) { }
    ~ImageFile() override
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    // False, with errorString() set, unless the descriptor is an empty regular file.
    bool begin()
    {
        struct stat st { };
        if (fd_ < 0 || ::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
            setErrorString(QStringLiteral("Das Scannerprogramm hat keine Bilddatei zum Schreiben erhalten."));
            return false;
        }
        if (::ftruncate(fd_, 0) != 0)
            return failed(errno);
        return open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    }
    bool isSequential() const override { return false; }
    bool seek(qint64 pos) override
    {
        if (::lseek(fd_, pos, SEEK_SET) < 0)
            return failed(errno);
        return QIODevice::seek(pos);
    }

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *data, qint64 length) override
    {
        qint64 done = 0;
        while (done < length) {
            const ssize_t n = ::write(fd_, data + done, std::size_t(length - done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                failed(n < 0 ? errno : ENOSPC);
                return -1;
            }
            done += n;
        }
        return done;
    }

private:
    bool failed(int errnum)
    {
        setErrorString(systemError(errnum));
        return false;
    }
    int fd_;
};

// Where the picture goes when it has no file: only its rows are seen, by the observer.
class NoFile : public QIODevice {
public:
    NoFile() { open(QIODevice::WriteOnly | QIODevice::Unbuffered); }
    bool isSequential() const override { return false; }

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *, qint64 length) override { return length; }
};

} // namespace

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

SaneSession::~SaneSession()
{
    closeHandle();
    if (initialised_)
        sane_exit();
}

QString SaneSession::initialise()
{
    if (initialised_)
        return {};
    SANE_Int version = 0;
    const SANE_Status status = sane_init(&version, nullptr);
    if (status != SANE_STATUS_GOOD)
        return QStringLiteral("Die Scanner-Schnittstelle SANE lässt sich nicht starten: %1").arg(statusText(status));
    initialised_ = true;
    return {};
}

std::vector<DeviceInfo> SaneSession::devices(QString &error)
{
    std::vector<DeviceInfo> devices;
    if (error = initialise(); !error.isEmpty())
        return devices;
    const SANE_Device **list = nullptr;
    if (sane_get_devices(&list, SANE_FALSE) != SANE_STATUS_GOOD || !list)
        return devices;
    for (const SANE_Device **d = list; *d; ++d) {
        const auto text = [](const char *s) { return QString::fromLocal8Bit(s ? s : ""); };
        devices.push_back({text((*d)->name), text((*d)->vendor), text((*d)->model), text((*d)->type)});
    }
    return devices;
}

QString SaneSession::open(const QString &requested)
{
    if (QString error = initialise(); !error.isEmpty())
        return error;
    QString wanted = requested;
    if (handle_ && (wanted.isEmpty() || wanted == openName_))
        return {};
    closeHandle();
    if (wanted.isEmpty()) {
        QString error;
        const std::vector<DeviceInfo> found = devices(error);
        if (found.empty())
            return error.isEmpty() ? QStringLiteral("Es wurde kein Scanner gefunden.") : error;
        wanted = found.front().name;
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

void SaneSession::closeHandle()
{
    if (handle_)
        sane_close(handle_);
    handle_ = nullptr;
    openName_.clear();
    options_.clear();
}

OptionList SaneSession::readOptions()
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
        o.type = typeOf(d->type);
        o.unit = unitOf(d->unit);
        o.size = std::max(0, d->size);
        o.isActive = SANE_OPTION_IS_ACTIVE(d->cap);
        o.isSettable = SANE_OPTION_IS_SETTABLE(d->cap);
        if (d->constraint_type == SANE_CONSTRAINT_RANGE && d->constraint.range) {
            o.constraint = Constraint::Range;
            o.min = fromWord(d->type, d->constraint.range->min);
            o.max = fromWord(d->type, d->constraint.range->max);
            o.quant = fromWord(d->type, d->constraint.range->quant);
        } else if (d->constraint_type == SANE_CONSTRAINT_WORD_LIST && d->constraint.word_list) {
            o.constraint = Constraint::WordList;
            const SANE_Word n = std::clamp(d->constraint.word_list[0], 0, maxOptions);
            for (SANE_Word k = 1; k <= n; ++k)
                o.words.push_back(fromWord(d->type, d->constraint.word_list[k]));
        } else if (d->constraint_type == SANE_CONSTRAINT_STRING_LIST && d->constraint.string_list) {
            o.constraint = Constraint::StringList;
            for (const SANE_String_Const *s = d->constraint.string_list; *s; ++s)
                o.strings.emplace_back(*s);
        }
        readValue(o);
        list.push_back(std::move(o));
    }
    return list;
}

void SaneSession::readValue(OptionInfo &o)
{
    o.hasValue = false;
    o.numbers.clear();
    o.text.clear();
    const SANE_Option_Descriptor *d = sane_get_option_descriptor(handle_, o.index);
    if (!d || o.type == OptionType::Group || o.type == OptionType::Button || !o.isActive || !(d->cap & SANE_CAP_SOFT_DETECT))
        return;
    std::vector<char> buffer(std::max<std::size_t>(std::size_t(o.size), sizeof(SANE_Word)) + 1, 0);
    if (sane_control_option(handle_, o.index, SANE_ACTION_GET_VALUE, buffer.data(), nullptr) != SANE_STATUS_GOOD)
        return;
    if (o.type == OptionType::String) {
        o.text = QByteArray(buffer.data(), qsizetype(strnlen(buffer.data(), std::size_t(o.size))));
    } else {
        for (int k = 0; k < o.count(); ++k) {
            SANE_Word w;
            std::memcpy(&w, buffer.data() + std::size_t(k) * sizeof w, sizeof w);
            o.numbers.push_back(fromWord(d->type, w));
        }
    }
    o.hasValue = true;
}

QString SaneSession::setOption(int index, Value kind, double number, const QByteArray &text)
{
    auto option = std::find_if(options_.begin(), options_.end(), [index](const OptionInfo &o) { return o.index == index; });
    if (!handle_ || option == options_.end())
        return QStringLiteral("Der Scanner ist nicht mehr geöffnet.");
    SANE_Int info = 0;
    SANE_Status status;
    if (option->type == OptionType::Button) {
        status = sane_control_option(handle_, index, SANE_ACTION_SET_VALUE, nullptr, &info);
    } else if (option->type == OptionType::String) {
        std::vector<char> buffer(std::size_t(std::max(option->size, 1)), 0);
        std::memcpy(buffer.data(), text.constData(), std::min(buffer.size() - 1, std::size_t(text.size())));
        status = sane_control_option(handle_, index, SANE_ACTION_SET_VALUE, buffer.data(), &info);
    } else {
        const bool on = kind == Value::Text ? !text.isEmpty() : number != 0;
        SANE_Word word = option->type == OptionType::Bool ? (on ? SANE_TRUE : SANE_FALSE)
                                                          : toWord(option->type, snapToConstraint(*option, number));
        status = sane_control_option(handle_, index, SANE_ACTION_SET_VALUE, &word, &info);
    }
    QString error;
    if (status != SANE_STATUS_GOOD)
        error = QStringLiteral("„%1“ wurde nicht übernommen: %2").arg(optionTitle(*option), statusText(status));
    if (status != SANE_STATUS_GOOD || (info & SANE_INFO_RELOAD_OPTIONS))
        options_ = readOptions();
    else
        readValue(*option);
    return error;
}

QString SaneSession::setOption(const wire::OptionValue &v)
{
    switch (v.kind) {
    case wire::OptionValue::Kind::Press: return setOption(v.index, Value::Press, v.number, v.text);
    case wire::OptionValue::Kind::Bool: return setOption(v.index, Value::Bool, v.number, v.text);
    case wire::OptionValue::Kind::Number: return setOption(v.index, Value::Number, v.number, v.text);
    case wire::OptionValue::Kind::Text: return setOption(v.index, Value::Text, v.number, v.text);
    }
    return setOption(v.index, Value::Press, v.number, v.text);
}

void SaneSession::override(const std::vector<wire::OptionValue> &overrides)
{
    // All values are kept before the first is set: a new mode may change the others.
    kept_.clear();
    for (const wire::OptionValue &v : overrides) {
        const SANE_Option_Descriptor *d = sane_get_option_descriptor(handle_, v.index);
        if (!d || !SANE_OPTION_IS_ACTIVE(d->cap) || d->type == SANE_TYPE_BUTTON || d->type == SANE_TYPE_GROUP)
            continue;
        Kept k{v.index, std::vector<char>(std::max<std::size_t>(std::size_t(std::max(d->size, 0)), sizeof(SANE_Word)) + 1, 0)};
        if (sane_control_option(handle_, v.index, SANE_ACTION_GET_VALUE, k.raw.data(), nullptr) == SANE_STATUS_GOOD)
            kept_.push_back(std::move(k));
    }
    // An override the device refuses leaves that option as it was; the scan goes on.
    for (const wire::OptionValue &v : overrides)
        setOption(v);
}

void SaneSession::restore()
{
    if (kept_.empty() || !handle_)
        return;
    for (Kept &k : kept_) {
        const SANE_Option_Descriptor *d = sane_get_option_descriptor(handle_, k.index);
        if (!d)
            continue;
        if (k.raw.size() < std::size_t(std::max(d->size, 0)))
            k.raw.resize(std::size_t(d->size), 0);
        sane_control_option(handle_, k.index, SANE_ACTION_SET_VALUE, k.raw.data(), nullptr);
    }
    kept_.clear();
    options_ = readOptions();
}

ScanResult SaneSession::scan(const QString &device, const std::vector<wire::OptionValue> &overrides, int fd,
                             const std::function<bool()> &cancelled, const std::function<void(double)> &progress,
                             RowObserver *rows, QString &error)
{
    ImageFile file(fd);
    NoFile none;
    if (error = open(device); !error.isEmpty())
        return ScanResult::Failed;
    override(overrides);
    keepToOneProcessor();
    if (fd != noFile && !file.begin()) {
        error = QStringLiteral("Die Bilddatei lässt sich nicht beschreiben: %1").arg(file.errorString());
        return ScanResult::Failed;
    }
    BmpAssembler image(fd == noFile ? static_cast<QIODevice &>(none) : file, resolution());
    image.observe(rows);
    // The scan ends with endScan(), after the outcome is known; only a cancel by the user
    // reaches the driver before, since the scan has not ended until the driver says so.
    for (bool last = false; !last;)
        if (const ScanResult frame = readFrame(image, cancelled, progress, last, error); frame != ScanResult::Done)
            return frame;
    if (!image.finish()) {
        error = image.error();
        return ScanResult::Failed;
    }
    return ScanResult::Done;
}

int SaneSession::resolution() const
{
    for (const OptionInfo &o : options_)
        if (o.name == SANE_NAME_SCAN_RESOLUTION && o.hasNumber())
            return int(std::lround(o.firstNumber()));
    return 0;
}

ScanResult SaneSession::readFrame(BmpAssembler &image, const std::function<bool()> &cancelled,
                                  const std::function<void(double)> &progress, bool &last, QString &error)
{
    const auto stop = [&](ScanResult result, const QString &why) {
        error = why;
        return result;
    };
    const auto failed = [&](SANE_Status s) {
        return stop(s == SANE_STATUS_CANCELLED ? ScanResult::Cancelled : ScanResult::Failed, statusText(s));
    };
    const auto stopForUser = [&] {
        sane_cancel(handle_);
        return failed(SANE_STATUS_CANCELLED);
    };
    if (cancelled())
        return stopForUser();
    SANE_Status status = sane_start(handle_);
    if (status != SANE_STATUS_GOOD)
        return failed(status);
    // Only the parameters read after sane_start describe the frame that follows.
    SANE_Parameters parameters{};
    if (status = sane_get_parameters(handle_, &parameters); status != SANE_STATUS_GOOD)
        return failed(status);
    if (!image.beginFrame(parameters))
        return stop(ScanResult::Failed, image.error());
    buffer_.resize(readBufferSize);
    for (;;) {
        if (cancelled())
            return stopForUser();
        SANE_Int length = 0;
        status = sane_read(handle_, buffer_.data(), SANE_Int(buffer_.size()), &length);
        if (status == SANE_STATUS_EOF)
            break;
        if (status != SANE_STATUS_GOOD)
            return failed(status);
        if (length > SANE_Int(buffer_.size()))
            return stop(ScanResult::Failed, QStringLiteral("Der Scanner meldete mehr Daten, als er liefern durfte."));
        if (!image.addData(buffer_.data(), length))
            return stop(ScanResult::Failed, image.error());
        const long long expected = image.bytesExpected();
        progress(expected > 0 ? std::min(1.0, double(image.bytesReceived()) / double(expected)) : -1.0);
    }
    if (!image.endFrame())
        return stop(ScanResult::Failed, image.error());
    last = parameters.last_frame || image.complete();
    return ScanResult::Done;
}

void SaneSession::endScan()
{
    if (handle_)
        sane_cancel(handle_);
    releaseProcessor();
    restore();
}

void SaneSession::keepToOneProcessor()
{
    // Many drivers read the device in a thread of their own, started by sane_start, and hand
    // the data over through a pipe of 64 KB. On two processors every handover wakes the other
    // one, which costs more than the data's copying: a page of 100 MB took three times as
    // long so. A scanner's data rate is far below what one processor moves.
    cpu_set_t all, one;
    const int here = sched_getcpu();
    if (processors_ || here < 0 || sched_getaffinity(0, sizeof all, &all) != 0)
        return;
    CPU_ZERO(&one);
    CPU_SET(std::size_t(here), &one);
    if (sched_setaffinity(0, sizeof one, &one) == 0)
        processors_ = all;
}

void SaneSession::releaseProcessor()
{
    if (processors_)
        sched_setaffinity(0, sizeof *processors_, &*processors_);
    processors_.reset();
}

} // namespace scanlib
