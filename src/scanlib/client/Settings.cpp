#include "scanlib/client/Settings.h"

#include "base/Paths.h"
#include "scanlib/wire/System.h"

#include <QFile>
#include <QLockFile>
#include <QRandomGenerator>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace scanlib {

namespace {

// A '/' in a device's name ("escl:https://…") makes groups within the group, the same ones
// on reading as on writing, and QSettings escapes every other character that has a meaning
// in the file.
QString optionsGroup(const QString &device)
{
    return QStringLiteral("Optionen/") + device;
}

bool rememberable(const OptionInfo &o)
{
    return o.hasValue && o.isActive && o.isSettable && o.type != OptionType::Button && o.type != OptionType::Group
        && (o.type == OptionType::String || o.count() == 1);
}

QString numberText(double v)
{
    return QString::number(v, 'g', 17);
}

bool sameNumber(double a, double b)
{
    return std::abs(a - b) <= 1e-9 * std::max(1.0, std::abs(a));
}

constexpr char fileName[] = "vistoramo.ini";
constexpr qint64 largestFile = 4 << 20;

QString shownPath()
{
    return rt::decodePath(Settings::directory() + '/' + fileName);
}

QString refused(const QString &why)
{
    return QStringLiteral("Die gespeicherten Einstellungen „%1“ wurden nicht verwendet: %2 Es gelten die Vorgaben.")
        .arg(shownPath(), why);
}

QString notRegular()
{
    return QStringLiteral("Das ist keine gewöhnliche Datei.");
}

// Reads the file as bytes; a missing one is empty. Opening does not wait for a pipe's writer.
QByteArray readFile(QString &problem)
{
    const QByteArray path = Settings::directory() + '/' + fileName;
    const int fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        if (errno != ENOENT && errno != ENOTDIR)
            problem = refused(systemError(errno));
        return {};
    }
    QByteArray bytes;
    struct stat st { };
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        problem = refused(notRegular());
    } else if (st.st_size > largestFile) {
        problem = refused(QStringLiteral("Die Datei ist zu groß."));
    } else {
        bytes.resize(qsizetype(st.st_size));
        qsizetype got = 0;
        while (got < bytes.size()) {
            const ssize_t n = ::read(fd, bytes.data() + got, std::size_t(bytes.size() - got));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            got += n;
        }
        bytes.truncate(got);
    }
    ::close(fd);
    return bytes;
}

// Makes the directory and those above it that are missing; its descriptor, or -1.
int openDirectory(const QByteArray &dir)
{
    for (qsizetype slash = dir.indexOf('/', 1); slash != -1; slash = dir.indexOf('/', slash + 1))
        ::mkdir(dir.left(slash).constData(), 0700);
    ::mkdir(dir.constData(), 0700);
    return ::open(dir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

// Writes bytes as the file, a new one renamed over the old; false with why set.
bool writeFile(int dir, const QByteArray &bytes, QString &why)
{
    struct stat st { };
    if (::fstatat(dir, fileName, &st, 0) == 0 && !S_ISREG(st.st_mode)) {
        why = notRegular();
        return false;
    }
    QByteArray temporary;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temporary = QByteArray(".") + fileName + "." + QByteArray::number(QRandomGenerator::global()->generate(), 36);
        fd = ::openat(dir, temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0) {
        why = systemError(errno);
        return false;
    }
    qsizetype put = 0;
    int error = 0;
    while (put < bytes.size() && !error) {
        const ssize_t n = ::write(fd, bytes.constData() + put, std::size_t(bytes.size() - put));
        if (n > 0)
            put += n;
        else if (n < 0 && errno != EINTR)
            error = errno;
    }
    if (::close(fd) != 0 && !error)
        error = errno;
    if (!error && ::renameat(dir, temporary.constData(), dir, fileName) != 0)
        error = errno;
    if (error) {
        ::unlinkat(dir, temporary.constData(), 0);
        why = systemError(error);
        return false;
    }
    return true;
}

} // namespace

QByteArray Settings::directory()
{
    QByteArray base = qgetenv("XDG_CONFIG_HOME");
    if (!base.startsWith('/'))
        base = qgetenv("HOME") + "/.config";
    return base + "/vistoramo";
}

// The file's bytes, also put in the private copy for QSettings.
QByteArray Settings::stage(const QTemporaryDir &scratch, QString &problem)
{
    QByteArray bytes = readFile(problem);
    QFile mine(scratch.filePath(QString::fromLatin1(fileName)));
    if (scratch.isValid() && mine.open(QIODevice::WriteOnly))
        mine.write(bytes);
    return bytes;
}

Settings::Settings()
    : written_(stage(scratch_, problem_)), file_(scratch_.filePath(QString::fromLatin1(fileName)), QSettings::IniFormat)
{
    if (file_.status() != QSettings::NoError)
        file_.clear();
}

QByteArray Settings::copy() const
{
    QFile mine(file_.fileName());
    return mine.open(QIODevice::ReadOnly) ? mine.readAll() : QByteArray();
}

void Settings::set(const QString &key, const QVariant &value)
{
    // Only a change makes the file be written: writing waits for the disk, which right after a
    // large scan takes a tenth of a second.
    const QVariant old = file_.value(key);
    // What the file holds is read as text, except sizes.
    if (!old.isValid() || (old.metaType() == value.metaType() ? old != value : old.toString() != value.toString()))
        file_.setValue(key, value);
}

DeviceInfo Settings::source() const
{
    return {file_.value(QStringLiteral("Quelle/Name")).toString(),
            file_.value(QStringLiteral("Quelle/Hersteller")).toString(),
            file_.value(QStringLiteral("Quelle/Modell")).toString(),
            {}};
}

void Settings::setSource(const DeviceInfo &device)
{
    set(QStringLiteral("Quelle/Name"), device.name);
    set(QStringLiteral("Quelle/Hersteller"), device.vendor);
    set(QStringLiteral("Quelle/Modell"), device.model);
}

QHash<QByteArray, QString> Settings::optionValues(const QString &device) const
{
    QHash<QByteArray, QString> values;
    file_.beginGroup(optionsGroup(device));
    for (const QString &key : file_.childKeys()) {
        const QVariant value = file_.value(key);
        if (value.canConvert<QString>())
            values.insert(key.toLatin1(), value.toString());
    }
    file_.endGroup();
    return values;
}

void Settings::rememberOptions(const QString &device, const OptionList &options)
{
    file_.beginGroup(optionsGroup(device));
    for (const OptionInfo &o : options) {
        if (!rememberable(o))
            continue;
        const QString key = QString::fromLatin1(o.name);
        if (o.type == OptionType::String)
            set(key, QString::fromUtf8(o.text));
        else
            set(key, numberText(o.firstNumber()));
    }
    file_.endGroup();
}

void Settings::forgetOption(const QString &device, const QByteArray &name)
{
    file_.remove(optionsGroup(device) + QLatin1Char('/') + QString::fromLatin1(name));
}

QString Settings::format(const QString &device) const
{
    return file_.value(QStringLiteral("Formate/") + device).toString();
}

void Settings::setFormat(const QString &device, const QString &key)
{
    set(QStringLiteral("Formate/") + device, key);
}

QSize Settings::dialogSize(const QString &dialog) const
{
    const QSize size = file_.value(dialog + QStringLiteral("/Groesse")).toSize();
    const bool sane = size.width() >= 200 && size.height() >= 150 && size.width() <= 10000 && size.height() <= 10000;
    return sane ? size : QSize();
}

void Settings::setDialogSize(const QString &dialog, QSize size)
{
    set(dialog + QStringLiteral("/Groesse"), size);
}

bool Settings::advancedOpen() const
{
    return file_.value(QStringLiteral("Scannen/Erweitert"), false).toBool();
}

void Settings::setAdvancedOpen(bool open)
{
    set(QStringLiteral("Scannen/Erweitert"), open);
}

void Settings::save()
{
    file_.sync();
    const QByteArray bytes = copy();
    if (!scratch_.isValid() || bytes.isEmpty() || bytes == written_ || !problem_.isEmpty())
        return;
    const int dir = openDirectory(directory());
    if (dir < 0) {
        problem_ = systemError(errno);
        return;
    }
    // The lock's name goes through the descriptor, so that it holds whatever bytes the
    // directory's name holds.
    QLockFile lock(QStringLiteral("/proc/self/fd/%1/%2.lock").arg(dir).arg(QLatin1String(fileName)));
    QString why;
    if (!lock.tryLock(lockWaitMs))
        problem_ = QStringLiteral("Die Einstellungen sind gerade gesperrt.");
    else if (writeFile(dir, bytes, why))
        written_ = bytes;
    else
        problem_ = why;
    lock.unlock();
    ::close(dir);
}

QVariant restorableValue(const OptionInfo &o, const QString &text)
{
    if (!rememberable(o))
        return {};
    if (o.type == OptionType::String) {
        const QByteArray value = text.toUtf8();
        if (value == o.text || value.size() >= o.size)
            return {};
        if (o.constraint == Constraint::StringList && std::find(o.strings.begin(), o.strings.end(), value) == o.strings.end())
            return {};
        return value;
    }
    bool ok = false;
    const double v = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(v) || sameNumber(v, o.firstNumber()))
        return {};
    if (o.type == OptionType::Bool)
        return v == 0 || v == 1 ? QVariant(v != 0) : QVariant();
    if (o.constraint == Constraint::Range && (v < o.min || v > o.max))
        return {};
    if (o.constraint == Constraint::WordList
        && std::none_of(o.words.begin(), o.words.end(), [v](double w) { return sameNumber(v, w); }))
        return {};
    return v;
}

} // namespace scanlib
