#pragma once
// The options of a device as widgets: the usual ones (mode, resolution, source, scan
// area) on top, all others in a collapsed "Erweitert" section, grouped as the device
// groups them. Each widget is named after its option. Values the user sets are reported
// through the changed callback and shown again only as the device reports them back.

#include "scanlib/wire/ScanTypes.h"

#include <QWidget>
#include <functional>
#include <map>

class QComboBox;
class QFormLayout;
class QLabel;
class QVBoxLayout;

namespace scanlib {

// A drop-down that screen readers name by its accessible name rather than by its value.
QComboBox *newNamedComboBox();

// One option's field; it shows the option again in place as the device reports it.
class OptionEditor {
public:
    virtual ~OptionEditor() = default;
    virtual QWidget *widget() const = 0;
    // Shows the option's value, range or list as the device reports them now.
    virtual void update(const OptionInfo &option) = 0;
};

class OptionForm : public QWidget {
    Q_OBJECT
public:
    explicit OptionForm(QWidget *parent = nullptr);

    // Shows options. While the device offers the same options as before, the fields stay and
    // show the new values, ranges and states; else they are rebuilt and the focus stays with
    // the option that had it.
    void showOptions(const OptionList &options);
    // A new value for the option with the given index; an invalid value presses a button.
    std::function<void(int index, QVariant value)> changed;

signals:
    // The options given to showOptions are on screen.
    void shown();

public:
    // A row of the dialog's own above the scan area's fields, kept when the form is rebuilt;
    // hidden while the device shows no area.
    void setAreaRow(QLabel *label, QWidget *field);
    // Shows a number in an option's field without reporting it (a frame being dragged).
    void showNumber(const QByteArray &name, double value);

    // Whether "Erweitert" is open, also while no options are shown.
    bool advancedOpen() const { return advancedOpen_; }
    void setAdvancedOpen(bool open) { advancedOpen_ = open; }

protected:
    // The wheel over a spin box or drop-down that has no focus scrolls the form instead.
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct Row {
        OptionEditor *editor = nullptr; // lives as long as its widget
        QLabel *label = nullptr;
    };
    void rebuild(const OptionList &options);
    void buildAdvanced(QVBoxLayout *outer, const OptionList &options);
    void addRow(QFormLayout *form, const OptionInfo &option);
    static void showState(const Row &row, const OptionInfo &option);

    QVBoxLayout *layout_ = nullptr;
    QWidget *content_ = nullptr; // replaced as a whole when the options change
    std::map<int, Row> rows_; // by option index
    std::vector<QByteArray> shape_; // what makes the fields: rebuilt when it changes
    bool advancedOpen_ = false;
    QLabel *areaLabel_ = nullptr;
    QWidget *areaField_ = nullptr;
};

} // namespace scanlib
