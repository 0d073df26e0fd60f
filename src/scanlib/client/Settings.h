#pragma once
// What the scanner library remembers between runs: the chosen source, each device's option
// values by option name, the dialogs' sizes and whether "Erweitert" is open. They live in an
// INI file under the user's configuration directory, which the user may delete or edit by
// hand: whatever in it cannot be used is passed over without a word. The file is read and
// written only as a regular file (a pipe, a directory or a device in its place is left alone
// and said so), through its directory's bytes whatever they hold, and its lock is waited for
// a few seconds at most.

#include "scanlib/wire/ScanTypes.h"

#include <QByteArray>
#include <QHash>
#include <QSettings>
#include <QSize>
#include <QTemporaryDir>

namespace scanlib {

class Settings {
public:
    // $XDG_CONFIG_HOME/vistoramo (~/.config/vistoramo when the variable is unset), as bytes.
    static QByteArray directory();
    static constexpr int lockWaitMs = 3000;

    // Reads the file; a missing, unreadable or damaged one gives empty settings.
    Settings();
    // Why the file could not be used, for the dialog to say; empty when it could.
    const QString &problem() const { return problem_; }

    // The source the user chose last, with maker and model as they were listed then.
    DeviceInfo source() const;
    void setSource(const DeviceInfo &device);

    // The remembered values of a device's options by option name, as text.
    QHash<QByteArray, QString> optionValues(const QString &device) const;
    // Remembers the current values of the options that have one; others keep theirs.
    void rememberOptions(const QString &device, const OptionList &options);
    // Forgets the remembered value of one option.
    void forgetOption(const QString &device, const QByteArray &name);

    // The paper size ("Format") chosen for a device, by its key; empty when none was.
    QString format(const QString &device) const;
    void setFormat(const QString &device, const QString &key);

    // A remembered dialog size, invalid when there is none fit to use.
    QSize dialogSize(const QString &dialog) const;
    void setDialogSize(const QString &dialog, QSize size);
    bool advancedOpen() const;
    void setAdvancedOpen(bool open);

    // Writes the file when something changed: the new one replaces the old in one step.
    // Silent when it cannot (the dialog is closing); problem() says why.
    void save();

private:
    void set(const QString &key, const QVariant &value);
    // QSettings works on a private copy of the file, which only this class reads and writes.
    QByteArray copy() const;
    static QByteArray stage(const QTemporaryDir &scratch, QString &problem);

    QTemporaryDir scratch_;
    QString problem_;
    QByteArray written_; // the file as last read or written
    mutable QSettings file_; // reading a group moves its cursor, not its contents
};

// The value an option should get from its remembered text, or an invalid QVariant when the
// option cannot take it (inactive, read-only, a list it no longer offers, out of range) or
// already has it.
QVariant restorableValue(const OptionInfo &option, const QString &text);

} // namespace scanlib
