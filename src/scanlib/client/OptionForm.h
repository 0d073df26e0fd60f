#pragma once
// The options of a device as widgets: the usual ones (mode, resolution, source, scan
// area) on top, all others in a collapsed "Erweitert" section, grouped as the device
// groups them. Each widget is named after its option. Values the user sets are reported
// through the changed callback and shown again only as the device reports them back.

#include "scanlib/wire/ScanTypes.h"

#include <QWidget>
#include <functional>

class QVBoxLayout;

namespace scanlib {

class OptionForm : public QWidget {
    Q_OBJECT
public:
    explicit OptionForm(QWidget *parent = nullptr);

    // Shows options; widgets are rebuilt, the focus stays with the option that had it.
    void showOptions(const OptionList &options);
    // A new value for the option with the given index; an invalid value presses a button.
    std::function<void(int index, QVariant value)> changed;

    bool advancedVisible() const;
    // Whether "Erweitert" is open, also while no options are shown.
    bool advancedOpen() const { return advancedOpen_; }
    void setAdvancedOpen(bool open) { advancedOpen_ = open; }

protected:
    // The wheel over a spin box or drop-down that has no focus scrolls the form instead.
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *makeEditor(const OptionInfo &option);
    QWidget *resolutionEditor(const OptionInfo &option, const std::function<void(QVariant)> &report);

    QVBoxLayout *layout_ = nullptr;
    QWidget *content_ = nullptr; // replaced as a whole on each show()
    bool advancedOpen_ = false;
};

} // namespace scanlib
