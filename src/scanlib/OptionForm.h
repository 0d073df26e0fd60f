#pragma once
// The options of a device as widgets: the usual ones (mode, resolution, source, scan
// area) on top, all others in a collapsed "Erweitert" section, grouped as the device
// groups them. Each widget is named after its option. Values the user sets are reported
// through the changed callback and shown again only as the device reports them back.

#include "ScanTypes.h"

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

private:
    QWidget *makeEditor(const OptionInfo &option);

    QVBoxLayout *layout_ = nullptr;
    QWidget *content_ = nullptr; // replaced as a whole on each show()
    bool advancedOpen_ = false;
};

} // namespace scanlib
