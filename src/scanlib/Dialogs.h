#pragma once
// The two dialogs of the scanner library: choosing the device and scanning one image.

#include "Client.h"

#include <QDialog>

class QDialogButtonBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QTreeWidget;

namespace scanlib {

class OptionForm;

// Shows the normal pointer while a dialog waits for the user, even under a wait cursor the
// program has set.
class ArrowCursor {
public:
    ArrowCursor();
    ~ArrowCursor();
    ArrowCursor(const ArrowCursor &) = delete;
    ArrowCursor &operator=(const ArrowCursor &) = delete;
};

// Lists the devices and makes the one the user takes the device of the session.
class SourceDialog : public QDialog {
    Q_OBJECT
public:
    explicit SourceDialog(QWidget *owner);
    void accept() override;

private:
    void showDevices(const std::vector<DeviceInfo> &devices, const QString &error);

    QLabel *status_;
    QTreeWidget *list_;
    QDialogButtonBox *buttons_;
};

// Shows the options of the session's device and scans one image into a BMP file.
class AcquireDialog : public QDialog {
    Q_OBJECT
public:
    AcquireDialog(QWidget *owner, QString path);
    void reject() override;

private:
    void startScan();
    void finishScan(ScanResult result, const QString &error);
    void showOptions(const OptionList &options, const QString &error);
    void setBusy(bool busy);
    void showMessage(const QString &text);

    QString path_;
    bool open_ = false;
    bool scanning_ = false;
    QLabel *device_;
    OptionForm *form_;
    QLabel *message_;
    QProgressBar *progress_;
    QPushButton *scan_;
    QPushButton *cancelButton_;
};

} // namespace scanlib
