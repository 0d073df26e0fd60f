#pragma once
// The two dialogs of the scanner library: choosing the device and scanning one image.

#include "scanlib/client/Client.h"
#include "scanlib/client/ScanArea.h"
#include "scanlib/client/Settings.h"

#include <QDialog>
#include <QHash>
#include <optional>

class QBoxLayout;
class QComboBox;
class QDialogButtonBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QTreeWidget;

namespace scanlib {

class OptionForm;
class PreviewPane;

// Shows the normal pointer while a dialog waits for the user, even under a wait cursor the
// program has set.
class ArrowCursor {
public:
    ArrowCursor();
    ~ArrowCursor();
    ArrowCursor(const ArrowCursor &) = delete;
    ArrowCursor &operator=(const ArrowCursor &) = delete;
};

// Maker and model of a device, or its name when the backend gives neither.
QString deviceTitle(const DeviceInfo &device);

// The device the session will use: the one chosen in this run, else the one the user chose
// in an earlier run. True when it came from the earlier run.
bool restoreSource(const Settings &settings);

// Lists the devices and makes the one the user takes the device of the session, also for
// later runs.
class SourceDialog : public QDialog {
    Q_OBJECT
public:
    explicit SourceDialog(QWidget *owner);
    void accept() override;
    void done(int result) override;

private:
    void search();
    void showDevices(const std::vector<DeviceInfo> &devices, const QString &error);

    std::vector<DeviceInfo> devices_; // as last listed

    Settings settings_;
    QLabel *status_;
    QProgressBar *searching_;
    QTreeWidget *list_;
    QDialogButtonBox *buttons_;
    QPushButton *searchAgain_;
};

// Shows the options of the session's device and scans one image into a BMP file.
class AcquireDialog : public QDialog {
    Q_OBJECT
public:
    AcquireDialog(QWidget *owner, QString path);
    void reject() override;
    void done(int result) override;

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void deviceOpened(const QString &device, const OptionList &options);
    // Gives the device the remembered values it accepts, one at a time, each after the
    // options it depends on, then shows the options.
    void restoreOptions(const OptionList &options);
    // A remembered value the device did not take (it failed, hung or crashed on it) is
    // dropped from the settings, and the dialog says so once the options are shown.
    void dropRemembered(const OptionInfo &option, const QString &why);
    // After the helper was lost: the device again, from a fresh helper.
    void reopen(const QString &why);
    void startScan();
    void finishScan(ScanResult result, const QString &error);
    void remember(); // the dialog's size, "Erweitert" and the options, into the settings file
    void showOptions(const OptionList &options, const QString &error);
    void setBusy(bool busy);
    void showMessage(const QString &text);
    void showDevice(const DeviceInfo &info);

    // The scan area on the preview pane and in "Format", as the device holds it now.
    void showArea();
    void fillFormats();
    void chooseFormat(const QString &key);
    // Gives the device an area, one edge at a time; a wish that comes meanwhile follows.
    void applyArea(QRectF mm);
    void areaSet(const OptionList &options, const QString &error, bool lost);
    void dragged(QRectF mm, bool final);
    void startPreview();
    // The pane shows the page that a scan of mm at dpi delivers, every sample-th row and column.
    ScanView showPage(QRectF mm, double dpi, int sample);
    void showProgress(double fraction);
    void finishPreview(ScanResult result, const QString &error, const QImage &picture);
    // The document on the preview, selected.
    void findDocument();
    QByteArray sourceValue() const;

    QString path_;
    Settings settings_;
    bool sourceFromSettings_ = false;
    bool open_ = false;
    bool scanning_ = false;
    bool restoring_ = false;
    QString deviceName_;
    OptionList options_; // as last shown
    QHash<QByteArray, QString> pending_; // remembered values not yet given to the device
    QStringList notes_; // to show with the options, once they are restored
    QLabel *device_;
    OptionForm *form_;
    QLabel *message_;
    QProgressBar *progress_;
    QPushButton *scan_;
    QPushButton *cancelButton_;

    std::optional<ScanArea> geometry_; // none while the device shows no area
    PreviewPane *pane_;
    QWidget *paneColumn_;
    QLabel *areaSize_;
    QComboBox *format_;
    QPushButton *previewButton_;
    QBoxLayout *body_;
    bool previewing_ = false;
    QString formatKey_; // the "Format" chosen; empty until the device is open
    bool userArea_ = false; // the user chose the area: a preview leaves it alone
    QRectF formatArea_; // what the chosen format made of the area
    bool settingArea_ = false;
    std::optional<QRectF> nextArea_; // wished while an area was being set
};

} // namespace scanlib
