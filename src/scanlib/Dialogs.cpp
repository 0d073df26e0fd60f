#include "Dialogs.h"

#include "Guard.h"
#include "OptionForm.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace scanlib {

ArrowCursor::ArrowCursor()
{
    QApplication::setOverrideCursor(Qt::ArrowCursor);
}

ArrowCursor::~ArrowCursor()
{
    QApplication::restoreOverrideCursor();
}

namespace {

QProgressBar *busyBar(const QString &name)
{
    auto *bar = new QProgressBar;
    bar->setObjectName(name);
    bar->setRange(0, 0);
    bar->setTextVisible(false);
    return bar;
}

} // namespace

SourceDialog::SourceDialog(QWidget *owner)
    : QDialog(owner), status_(new QLabel(QStringLiteral("Suche nach Geräten …"))), list_(new QTreeWidget),
      buttons_(new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel))
{
    setWindowTitle(QStringLiteral("Scanner auswählen"));
    setModal(true);
    status_->setObjectName(QStringLiteral("status"));
    status_->setWordWrap(true);
    list_->setObjectName(QStringLiteral("devices"));
    list_->setHeaderLabels({QStringLiteral("Hersteller"), QStringLiteral("Modell"), QStringLiteral("Gerät")});
    list_->setRootIsDecorated(false);
    list_->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    QPushButton *ok = buttons_->button(QDialogButtonBox::Ok);
    ok->setText(QStringLiteral("OK"));
    ok->setDefault(true);
    ok->setEnabled(false);
    buttons_->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Abbrechen"));
    QProgressBar *searching = busyBar(QStringLiteral("searching"));

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(status_);
    layout->addWidget(searching);
    layout->addWidget(list_);
    layout->addWidget(buttons_);
    resize(520, 320);

    connect(buttons_, &QDialogButtonBox::accepted, this, guarded([this] { accept(); }));
    connect(buttons_, &QDialogButtonBox::rejected, this, guarded([this] { reject(); }));
    connect(list_, &QTreeWidget::itemDoubleClicked, this, guarded([this] { accept(); }));
    Client::instance().findDevices(this, [this, searching](const std::vector<DeviceInfo> &devices,
                                                            const QString &error) {
        searching->hide();
        showDevices(devices, error);
    });
}

void SourceDialog::showDevices(const std::vector<DeviceInfo> &devices, const QString &error)
{
    if (!error.isEmpty()) {
        status_->setText(error);
        return;
    }
    if (devices.empty()) {
        status_->setText(QStringLiteral("Es wurde kein Scanner gefunden. Ist er eingeschaltet und angeschlossen?"));
        return;
    }
    status_->setText(QStringLiteral("Bitte wählen Sie den Scanner, mit dem gescannt werden soll."));
    const QString current = Client::instance().chosenDevice();
    for (const DeviceInfo &d : devices) {
        auto *item = new QTreeWidgetItem(list_, {d.vendor, d.model, d.name});
        item->setData(0, Qt::UserRole, d.name);
        if (d.name == current || !list_->currentItem())
            list_->setCurrentItem(item);
    }
    buttons_->button(QDialogButtonBox::Ok)->setEnabled(true);
    list_->setFocus();
}

void SourceDialog::accept()
{
    const QTreeWidgetItem *item = list_->currentItem();
    if (!item)
        return;
    Client::instance().choose(item->data(0, Qt::UserRole).toString());
    QDialog::accept();
}

AcquireDialog::AcquireDialog(QWidget *owner, QString path)
    : QDialog(owner), path_(std::move(path)),
      device_(new QLabel(QStringLiteral("Verbindung zum Scanner wird hergestellt …"))), form_(new OptionForm),
      message_(new QLabel), progress_(busyBar(QStringLiteral("progress"))),
      scan_(new QPushButton(QStringLiteral("Scannen"))), cancelButton_(new QPushButton(QStringLiteral("Abbrechen")))
{
    setWindowTitle(QStringLiteral("Bild scannen"));
    setModal(true);
    device_->setObjectName(QStringLiteral("device"));
    message_->setObjectName(QStringLiteral("message"));
    message_->setWordWrap(true);
    message_->setStyleSheet(QStringLiteral("color: #a00000; font-weight: bold;"));
    message_->hide();
    progress_->hide();
    scan_->setObjectName(QStringLiteral("scan"));
    scan_->setDefault(true);
    scan_->setEnabled(false);
    cancelButton_->setObjectName(QStringLiteral("cancel"));
    cancelButton_->setAutoDefault(false);

    auto *scroll = new QScrollArea;
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidget(form_);
    auto *buttons = new QDialogButtonBox;
    buttons->addButton(scan_, QDialogButtonBox::AcceptRole);
    buttons->addButton(cancelButton_, QDialogButtonBox::RejectRole);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(device_);
    layout->addWidget(scroll, 1);
    layout->addWidget(message_);
    layout->addWidget(progress_);
    layout->addWidget(buttons);
    resize(560, 520);

    form_->changed = [this](int index, QVariant value) {
        if (scanning_)
            return;
        Client::instance().setOption(this, index, std::move(value),
                                      [this](const OptionList &options, const QString &error) {
                                          showOptions(options, error);
                                      });
    };
    connect(scan_, &QPushButton::clicked, this, guarded([this] { startScan(); }));
    connect(cancelButton_, &QPushButton::clicked, this, guarded([this] { reject(); }));
    startScan(); // opens the device; the scan itself waits for the user
}

void AcquireDialog::showMessage(const QString &text)
{
    message_->setText(text);
    message_->setVisible(!text.isEmpty());
}

void AcquireDialog::showOptions(const OptionList &options, const QString &error)
{
    form_->showOptions(options);
    showMessage(error);
}

void AcquireDialog::setBusy(bool busy)
{
    scanning_ = busy;
    form_->setEnabled(!busy);
    scan_->setEnabled(!busy);
    progress_->setRange(0, 0);
    progress_->setVisible(busy);
}

void AcquireDialog::startScan()
{
    if (scanning_)
        return;
    if (!open_) {
        scan_->setEnabled(false);
        Client::instance().openDevice(this, [this](const QString &device, const OptionList &options,
                                                    const QString &error) {
            scan_->setEnabled(true);
            if (!error.isEmpty()) {
                device_->setText(QStringLiteral("Kein Scanner bereit."));
                showMessage(error);
                return;
            }
            open_ = true;
            device_->setText(QStringLiteral("Scanner: %1").arg(device));
            showOptions(options, {});
            scan_->setFocus();
        });
        return;
    }
    showMessage({});
    setBusy(true);
    Client::instance().scan(
        this, path_,
        [this](double fraction) {
            if (fraction < 0) {
                progress_->setRange(0, 0);
            } else {
                progress_->setRange(0, 1000);
                progress_->setValue(int(fraction * 1000));
            }
        },
        [this](const QString &notice) { showMessage(notice); },
        [this](ScanResult result, const QString &error) { finishScan(result, error); });
}

void AcquireDialog::finishScan(ScanResult result, const QString &error)
{
    setBusy(false);
    if (result == ScanResult::Done) {
        QDialog::accept();
        return;
    }
    showMessage(error);
    scan_->setFocus();
}

void AcquireDialog::reject()
{
    if (scanning_) {
        Client::instance().cancelScan();
        showMessage(QStringLiteral("Der Scanvorgang wird abgebrochen …"));
        return;
    }
    QDialog::reject();
}

} // namespace scanlib
