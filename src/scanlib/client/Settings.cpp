#include "scanlib/client/Settings.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <algorithm>
#include <cmath>

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

} // namespace

QString Settings::filePath()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation))
        .filePath(QStringLiteral("vistoramo/vistoramo.ini"));
}

Settings::Settings() : file_(filePath(), QSettings::IniFormat)
{
    if (file_.status() != QSettings::NoError)
        file_.clear();
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
    QDir().mkpath(QFileInfo(file_.fileName()).path());
    file_.sync(); // QSettings writes a new file and renames it over the old one
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
