#pragma once
// What the scanner library remembers between runs: the chosen source, each device's option
// values by option name, the dialogs' sizes and whether "Erweitert" is open. They live in an
// INI file under the user's configuration directory, which the user may delete or edit by
// hand: whatever in it cannot be used is passed over without a word.

#include "scanlib/wire/ScanTypes.h"

#include <QHash>
#include <QSettings>
#include <QSize>

namespace scanlib {

class Settings {
public:
    // $XDG_CONFIG_HOME/vistoramo/vistoramo.ini (~/.config when the variable is unset).
    static QString filePath();

    // Reads the file; a missing, unreadable or damaged one gives empty settings.
    Settings();

    // The source the user chose last, with maker and model as they were listed then.
    DeviceInfo source() const;
    void setSource(const DeviceInfo &device);

    // The remembered values of a device's options by option name, as text.
    QHash<QByteArray, QString> optionValues(const QString &device) const;
    // Remembers the current values of the options that have one; others keep theirs.
    void rememberOptions(const QString &device, const OptionList &options);
    // Forgets the remembered value of one option.
    void forgetOption(const QString &device, const QByteArray &name);

    // A remembered dialog size, invalid when there is none fit to use.
    QSize dialogSize(const QString &dialog) const;
    void setDialogSize(const QString &dialog, QSize size);
    bool advancedOpen() const;
    void setAdvancedOpen(bool open);

    // Writes the file: the new one replaces the old in one step. Silent when it cannot.
    void save();

private:
    void set(const QString &key, const QVariant &value);

    mutable QSettings file_; // reading a group moves its cursor, not its contents
};

// The value an option should get from its remembered text, or an invalid QVariant when the
// option cannot take it (inactive, read-only, a list it no longer offers, out of range) or
// already has it.
QVariant restorableValue(const OptionInfo &option, const QString &text);

} // namespace scanlib
