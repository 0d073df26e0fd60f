#include "scanlib/client/Dialogs.h"

#include "base/Errors.h"
#include "image/DocumentArea.h"
#include "scanlib/client/OptionForm.h"
#include "scanlib/client/PreviewPane.h"
#include "scanlib/wire/OptionTitles.h"

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QTextDocumentFragment>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <cmath>
#include <memory>

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

// The last preview of each device in this run, with the source it was made from.
struct KeptPreview {
    QImage picture;
    QRectF mm;
    QByteArray source;
};
QHash<QString, KeptPreview> &keptPreviews()
{
    static QHash<QString, KeptPreview> kept;
    return kept;
}

constexpr int wideDialog = 760; // pixels from which the pane stands beside the form

const QString sourceDialogKey = QStringLiteral("Quellenauswahl");
const QString acquireDialogKey = QStringLiteral("Scannen");
constexpr int busyLookDelayMs = 100;

// Shows text in a label that has an accessible name of its own: screen readers read the
// text, as plain text, as the label's description.
void showText(QLabel *label, const QString &text)
{
    label->setText(text);
    label->setAccessibleDescription(label->textFormat() == Qt::RichText ? QTextDocumentFragment::fromHtml(text).toPlainText()
                                                                        : text);
}

// A remembered size, else the given one.
void resizeAsRemembered(QDialog &dialog, const Settings &settings, const QString &key, QSize fallback)
{
    const QSize size = settings.dialogSize(key);
    dialog.resize(size.isValid() ? size : fallback);
}

} // namespace

QString deviceTitle(const DeviceInfo &device)
{
    const QString title = QStringList{device.vendor.trimmed(), device.model.trimmed()}.join(QLatin1Char(' ')).trimmed();
    return title.isEmpty() ? device.name : title;
}

bool restoreSource(const Settings &settings)
{
    if (!Client::instance().chosenDevice().isEmpty())
        return false;
    const QString remembered = settings.source().name;
    if (remembered.isEmpty())
        return false;
    Client::instance().choose(remembered);
    return true;
}

SourceDialog::SourceDialog(QWidget *owner)
    : QDialog(owner), status_(new QLabel), searching_(busyBar(QStringLiteral("searching"))), list_(new QTreeWidget),
      buttons_(new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel)),
      searchAgain_(new QPushButton(QStringLiteral("Neu suchen")))
{
    setWindowTitle(QStringLiteral("Scanner auswählen"));
    setModal(true);
    restoreSource(settings_);
    status_->setObjectName(QStringLiteral("status"));
    status_->setWordWrap(true);
    list_->setObjectName(QStringLiteral("devices"));
    list_->setHeaderLabels({QStringLiteral("Scanner"), QStringLiteral("Gerät")});
    list_->setRootIsDecorated(false);
    list_->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    status_->setAccessibleName(QStringLiteral("Status"));
    searching_->setAccessibleName(QStringLiteral("Suche nach Geräten"));
    list_->setAccessibleName(QStringLiteral("Gefundene Scanner"));
    list_->setAccessibleDescription(QStringLiteral("Der gewählte Scanner wird mit OK übernommen."));
    QPushButton *ok = buttons_->button(QDialogButtonBox::Ok);
    ok->setText(QStringLiteral("OK"));
    ok->setEnabled(false);
    buttons_->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Abbrechen"));
    searchAgain_->setObjectName(QStringLiteral("searchAgain"));
    searchAgain_->setAutoDefault(false);
    buttons_->addButton(searchAgain_, QDialogButtonBox::ActionRole);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(status_);
    layout->addWidget(searching_);
    layout->addWidget(list_);
    layout->addWidget(buttons_);
    ok->setDefault(true); // only now that the button belongs to the dialog
    resizeAsRemembered(*this, settings_, sourceDialogKey, QSize(520, 320));

    connect(buttons_, &QDialogButtonBox::accepted, this, rt::guarded([this] { accept(); }));
    connect(buttons_, &QDialogButtonBox::rejected, this, rt::guarded([this] { reject(); }));
    connect(list_, &QTreeWidget::itemDoubleClicked, this, rt::guarded([this] { accept(); }));
    connect(searchAgain_, &QPushButton::clicked, this, rt::guarded([this] { search(); }));
    connect(&Client::instance(), &Client::stalled, this, rt::guarded([this](QObject *target, const QString &notice) {
        if (target == this)
            showText(status_, QStringLiteral("Suche nach Geräten … ") + notice);
    }));
    search();
}

void SourceDialog::search()
{
    showText(status_, QStringLiteral("Suche nach Geräten …"));
    searching_->show();
    searchAgain_->setEnabled(false);
    buttons_->button(QDialogButtonBox::Ok)->setEnabled(false);
    Client::instance().findDevices(this, [this](const std::vector<DeviceInfo> &devices, const QString &error) {
        searching_->hide();
        searchAgain_->setEnabled(true);
        showDevices(devices, error);
    });
}

void SourceDialog::showDevices(const std::vector<DeviceInfo> &devices, const QString &error)
{
    if (!settings_.problem().isEmpty())
        showText(status_, settings_.problem());
    const QTreeWidgetItem *before = list_->currentItem();
    const QString current = before ? before->data(0, Qt::UserRole).toString() : Client::instance().chosenDevice();
    list_->clear();
    devices_ = devices;
    if (!error.isEmpty()) {
        showText(status_, error);
        return;
    }
    if (devices.empty()) {
        showText(status_, QStringLiteral("Es wurde kein Scanner gefunden. Ist er eingeschaltet und angeschlossen?"));
        return;
    }
    showText(status_,
             QStringList{settings_.problem(), QStringLiteral("Bitte wählen Sie den Scanner, mit dem gescannt werden soll.")}
                 .join(QLatin1Char('\n'))
                 .trimmed());
    QFont small = list_->font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    for (const DeviceInfo &d : devices) {
        auto *item = new QTreeWidgetItem(list_, {deviceTitle(d), d.name});
        item->setFont(1, small);
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
    const QString name = item->data(0, Qt::UserRole).toString();
    Client::instance().choose(name);
    const auto listed = std::find_if(devices_.begin(), devices_.end(), [&](const DeviceInfo &d) { return d.name == name; });
    settings_.setSource(listed != devices_.end() ? *listed : DeviceInfo{name, {}, {}, {}});
    QDialog::accept();
}

void SourceDialog::done(int result)
{
    settings_.setDialogSize(sourceDialogKey, size());
    settings_.save();
    QDialog::done(result);
}

AcquireDialog::AcquireDialog(QWidget *owner, QString path)
    : QDialog(owner), path_(std::move(path)), device_(new QLabel(QStringLiteral("Verbindung zum Scanner wird hergestellt …"))),
      form_(new OptionForm), message_(new QLabel), progress_(busyBar(QStringLiteral("progress"))),
      scan_(new QPushButton(QStringLiteral("Scannen"))), cancelButton_(new QPushButton(QStringLiteral("Abbrechen"))),
      pane_(new PreviewPane), paneColumn_(new QWidget), areaSize_(new QLabel), format_(newNamedComboBox()),
      previewButton_(new QPushButton(QStringLiteral("&Vorschau"))), body_(new QBoxLayout(QBoxLayout::LeftToRight))
{
    setWindowTitle(QStringLiteral("Bild scannen"));
    setModal(true);
    sourceFromSettings_ = restoreSource(settings_);
    if (!settings_.problem().isEmpty())
        notes_ << settings_.problem();
    form_->setAdvancedOpen(settings_.advancedOpen());
    device_->setObjectName(QStringLiteral("device"));
    device_->setTextFormat(Qt::RichText);
    device_->setWordWrap(true);
    message_->setObjectName(QStringLiteral("message"));
    message_->setWordWrap(true);
    message_->setStyleSheet(QStringLiteral("color: #a00000; font-weight: bold;"));
    message_->hide();
    // The bar keeps its place while hidden, so that nothing moves when a scan starts.
    QSizePolicy barPolicy = progress_->sizePolicy();
    barPolicy.setRetainSizeWhenHidden(true);
    progress_->setSizePolicy(barPolicy);
    progress_->hide();
    scan_->setObjectName(QStringLiteral("scan"));
    scan_->setEnabled(false);
    cancelButton_->setObjectName(QStringLiteral("cancel"));
    cancelButton_->setAutoDefault(false);
    device_->setAccessibleName(QStringLiteral("Scanner"));
    device_->setAccessibleDescription(device_->text());
    message_->setAccessibleName(QStringLiteral("Meldung"));
    progress_->setAccessibleName(QStringLiteral("Fortschritt"));

    previewButton_->setObjectName(QStringLiteral("previewButton"));
    previewButton_->setAutoDefault(false);
    previewButton_->hide();
    format_->setObjectName(QStringLiteral("format"));
    format_->setAccessibleName(QStringLiteral("Format"));
    auto *formatLabel = new QLabel(QStringLiteral("&Format"));
    form_->setAreaRow(formatLabel, format_);
    areaSize_->setObjectName(QStringLiteral("areaSize"));
    areaSize_->setAccessibleName(QStringLiteral("Größe des Scanbereichs"));
    areaSize_->setAlignment(Qt::AlignCenter);
    auto *paneLayout = new QVBoxLayout(paneColumn_);
    paneLayout->setContentsMargins(0, 0, 0, 0);
    paneLayout->addWidget(pane_, 1);
    paneLayout->addWidget(areaSize_);
    paneColumn_->hide();

    auto *scroll = new QScrollArea;
    scroll->setObjectName(QStringLiteral("optionsArea"));
    scroll->setAccessibleName(QStringLiteral("Einstellungen"));
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidget(form_);
    auto *buttons = new QDialogButtonBox;
    buttons->addButton(previewButton_, QDialogButtonBox::ActionRole);
    buttons->addButton(scan_, QDialogButtonBox::AcceptRole);
    buttons->addButton(cancelButton_, QDialogButtonBox::RejectRole);
    auto *bottom = new QHBoxLayout;
    bottom->addWidget(progress_, 1);
    bottom->addWidget(buttons);
    body_->addWidget(paneColumn_, 1);
    body_->addWidget(scroll, 1);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(device_);
    layout->addLayout(body_, 1);
    layout->addWidget(message_);
    layout->addLayout(bottom);
    // Made default only now that it belongs to the dialog: the dialog then comes back to it
    // whenever the focus leaves a button, so Return scans from every field.
    scan_->setDefault(true);
    resizeAsRemembered(*this, settings_, acquireDialogKey, QSize(560, 520));

    form_->changed = [this](int index, const QVariant &value) {
        if (scanning_ || restoring_)
            return;
        Client::instance().setOption(this, index, value, [this](const OptionList &options, const QString &error, bool lost) {
            if (lost)
                reopen(error);
            else
                showOptions(options, error);
        });
    };
    connect(&Client::instance(), &Client::stalled, this, rt::guarded([this](QObject *target, const QString &notice) {
        if (target == this && !scanning_)
            showMessage(notice);
    }));
    connect(scan_, &QPushButton::clicked, this, rt::guarded([this] { startScan(); }));
    connect(previewButton_, &QPushButton::clicked, this, rt::guarded([this] { startPreview(); }));
    connect(format_, &QComboBox::activated, this, rt::guarded([this](int i) { chooseFormat(format_->itemData(i).toString()); }));
    pane_->areaChanged = [this](QRectF mm, bool final) { rt::attempt("vistoramo-scan", [&] { dragged(mm, final); }); };
    connect(cancelButton_, &QPushButton::clicked, this, rt::guarded([this] { reject(); }));
    startScan(); // opens the device; the scan itself waits for the user
}

void AcquireDialog::showMessage(const QString &text)
{
    showText(message_, text);
    message_->setVisible(!text.isEmpty());
}

void AcquireDialog::showOptions(const OptionList &options, const QString &error)
{
    options_ = options;
    form_->showOptions(options);
    showArea();
    showMessage(error);
}

void AcquireDialog::resizeEvent(QResizeEvent *event)
{
    // Beside the form where the dialog is wide enough for both, above it where not.
    body_->setDirection(width() >= wideDialog ? QBoxLayout::LeftToRight : QBoxLayout::TopToBottom);
    QDialog::resizeEvent(event);
}

QByteArray AcquireDialog::sourceValue() const
{
    for (const OptionInfo &o : options_)
        if (o.name == names::source)
            return o.hasValue ? o.text : QByteArray();
    return {};
}

void AcquireDialog::showArea()
{
    const bool had = geometry_.has_value();
    geometry_ = open_ ? ScanArea::of(options_) : std::nullopt;
    paneColumn_->setVisible(bool(geometry_));
    previewButton_->setVisible(bool(geometry_));
    if (!geometry_)
        return;
    if (!had && settings_.dialogSize(acquireDialogKey).isEmpty() && width() < wideDialog)
        resize(wideDialog + 140, std::max(height(), 560)); // room for the pane beside the form
    pane_->setGlass(geometry_->glass());
    pane_->setArea(geometry_->area());
    // The preview belongs to the device and the source it was made from.
    const auto kept = keptPreviews().constFind(deviceName_);
    if (kept != keptPreviews().constEnd() && kept->source != sourceValue()) {
        keptPreviews().remove(deviceName_);
        pane_->setPreview({}, {});
    } else if (kept != keptPreviews().constEnd() && pane_->preview().isNull()) {
        pane_->setPreview(kept->picture, kept->mm);
    }
    // The area set otherwise than by the chosen format (a field edited) is the user's own.
    if (!restoring_ && !settingArea_ && !formatKey_.isEmpty() && formatKey_ != QLatin1String("frei") && !formatArea_.isEmpty()
        && differ(geometry_->area(), formatArea_)) {
        formatKey_ = QStringLiteral("frei");
        userArea_ = true;
    }
    fillFormats();
    const QString size = sizeText(geometry_->area(), geometry_->resolution());
    showText(areaSize_, size);
    pane_->setAccessibleDescription(QStringLiteral("Scanbereich %1").arg(size));
}

void AcquireDialog::fillFormats()
{
    const std::vector<PaperSize> sizes = geometry_->formats();
    const QSignalBlocker quiet(format_);
    format_->clear();
    for (const PaperSize &p : sizes)
        format_->addItem(p.title, p.key);
    if (format_->findData(formatKey_) < 0) // a size this glass does not hold
        formatKey_ = QStringLiteral("frei");
    format_->setCurrentIndex(format_->findData(formatKey_));
}

void AcquireDialog::chooseFormat(const QString &key)
{
    if (!geometry_ || scanning_)
        return;
    formatKey_ = key;
    userArea_ = key != QLatin1String("auto");
    if (key == QLatin1String("frei"))
        return;
    if (key == QLatin1String("auto")) {
        if (pane_->preview().isNull())
            startPreview(); // what lies on the glass is seen first
        else
            findDocument();
        return;
    }
    for (const PaperSize &p : geometry_->formats())
        if (p.key == key)
            applyArea(geometry_->placed(p));
}

void AcquireDialog::findDocument()
{
    const QImage &picture = pane_->preview();
    if (!geometry_ || picture.isNull())
        return;
    const QRectF mm = pane_->previewArea();
    const double perMm = picture.width() / mm.width();
    const QRect found = img::documentArea(picture, QSize(int(perMm * 1000), int(perMm * 1000)));
    applyArea(QRectF(mm.left() + found.x() / perMm, mm.top() + found.y() / perMm, found.width() / perMm, found.height() / perMm));
}

void AcquireDialog::applyArea(QRectF mm)
{
    if (!geometry_)
        return;
    formatArea_ = geometry_->snapped(mm);
    pane_->setArea(formatArea_);
    if (settingArea_) {
        nextArea_ = mm;
        return;
    }
    const std::vector<std::pair<int, double>> steps = geometry_->settingsFor(mm);
    if (steps.empty()) {
        showArea();
        return;
    }
    // All edges go out at once: the device takes them in this order, before any field the user
    // edits meanwhile, and the answer to the last one shows the area as the device holds it.
    settingArea_ = true;
    auto answered = std::make_shared<std::size_t>(0);
    auto failed = std::make_shared<bool>(false);
    for (const auto &[index, value] : steps)
        Client::instance().setOption(
            this, index, value,
            [this, answered, failed, count = steps.size()](const OptionList &options, const QString &error, bool lost) {
                if (*failed)
                    return;
                if (lost || ++*answered == count || !error.isEmpty()) {
                    *failed = lost || *answered < count;
                    areaSet(options, error, lost);
                }
            });
}

void AcquireDialog::areaSet(const OptionList &options, const QString &error, bool lost)
{
    settingArea_ = false;
    if (lost) {
        nextArea_.reset();
        reopen(error);
        return;
    }
    showOptions(options, error);
    if (nextArea_) {
        const QRectF wish = *nextArea_;
        nextArea_.reset();
        applyArea(wish);
    }
}

void AcquireDialog::dragged(QRectF mm, bool final)
{
    if (!geometry_ || scanning_)
        return;
    const QRectF to = geometry_->snapped(mm);
    showText(areaSize_, sizeText(to, geometry_->resolution()));
    if (!final) {
        // The fields follow the frame while it is dragged; the device gets it when it is let go.
        form_->showNumber(names::tlX, to.left());
        form_->showNumber(names::tlY, to.top());
        form_->showNumber(names::brX, to.right());
        form_->showNumber(names::brY, to.bottom());
        return;
    }
    formatKey_ = QStringLiteral("frei");
    userArea_ = true;
    format_->setCurrentIndex(format_->findData(formatKey_));
    applyArea(mm);
}

void AcquireDialog::startPreview()
{
    if (!geometry_ || scanning_ || restoring_ || !open_)
        return;
    const std::vector<wire::OptionValue> settings = geometry_->previewSettings(options_, pane_->pixelsPerMm());
    double dpi = 0;
    for (const wire::OptionValue &v : settings)
        for (const OptionInfo &o : options_)
            if (o.index == v.index && o.name == names::resolution)
                dpi = v.number;
    showMessage({});
    previewing_ = true;
    setBusy(true);
    ScanView view = showPage(geometry_->glass(), dpi, 1);
    Client::instance().preview(
        this, settings, std::move(view.band), [this](double fraction) { showProgress(fraction); },
        [this](const QString &notice) { showMessage(notice); },
        [this](ScanResult result, const QString &error, const QImage &picture) { finishPreview(result, error, picture); });
}

ScanView AcquireDialog::showPage(QRectF mm, double dpi, int sample)
{
    pane_->beginPage(mm, dpi, sample);
    ScanView view;
    view.sample = sample;
    view.band = [this](const Band &band) { pane_->addRows(band.firstRow, band.width, band.rows, band.rgb); };
    return view;
}

void AcquireDialog::showProgress(double fraction)
{
    if (fraction < 0) {
        progress_->setRange(0, 0);
    } else {
        progress_->setRange(0, 1000);
        progress_->setValue(int(fraction * 1000));
    }
}

void AcquireDialog::finishPreview(ScanResult result, const QString &error, const QImage &picture)
{
    previewing_ = false;
    setBusy(false);
    pane_->endPage();
    previewButton_->setFocus();
    if (result != ScanResult::Done || picture.isNull()) {
        showMessage(error);
        return;
    }
    keptPreviews().insert(deviceName_, {picture, geometry_->glass(), sourceValue()});
    pane_->setPreview(picture, geometry_->glass());
    // Until the user chooses the area, the document on the glass is it; it is looked for once
    // the preview is on the screen.
    if (!userArea_ || formatKey_ == QLatin1String("auto")) {
        formatKey_ = QStringLiteral("auto");
        fillFormats();
        QTimer::singleShot(0, this, [this] {
            if (formatKey_ == QLatin1String("auto") && !scanning_)
                findDocument();
        });
    }
}

void AcquireDialog::setBusy(bool busy)
{
    scanning_ = busy;
    // A short scan is over before anyone could see the dialog change: its busy look is painted
    // only after a moment, which keeps the several milliseconds of that repaint off the way
    // of a short scan to the screen.
    setUpdatesEnabled(!busy);
    if (busy) {
        QTimer::singleShot(busyLookDelayMs, this, [this] { setUpdatesEnabled(true); });
        cancelButton_->setFocus(); // the form keeps its place and its scroll position
    }
    form_->setEnabled(!busy);
    scan_->setEnabled(!busy);
    previewButton_->setEnabled(!busy);
    pane_->setEnabled(!busy);
    progress_->setRange(0, 0);
    progress_->setTextVisible(false);
    progress_->setVisible(busy);
}

void AcquireDialog::deviceOpened(const QString &device, const OptionList &options)
{
    open_ = true;
    deviceName_ = device;
    DeviceInfo info = Client::instance().describe(device);
    if (info.vendor.isEmpty() && info.model.isEmpty() && settings_.source().name == device)
        info = settings_.source(); // not listed in this run; as it was listed when chosen
    showDevice(info);
    if (info.vendor.isEmpty() && info.model.isEmpty()) // maker and model come with a listing
        Client::instance().findDevices(this, [this, device](const std::vector<DeviceInfo> &, const QString &) {
            showDevice(Client::instance().describe(device));
        });
    pending_ = settings_.optionValues(device);
    formatKey_ = settings_.format(device);
    userArea_ = formatKey_ == QLatin1String("frei"); // drawn by the user in an earlier run
    if (formatKey_.isEmpty())
        formatKey_ = QStringLiteral("frei");
    formatArea_ = {};
    restoring_ = true;
    restoreOptions(options);
}

void AcquireDialog::showDevice(const DeviceInfo &info)
{
    const QString title = deviceTitle(info).toHtmlEscaped();
    const QString name = info.name.toHtmlEscaped();
    showText(device_, title == name ? name : QStringLiteral("%1 <small>(%2)</small>").arg(title, name));
    device_->setToolTip(info.name);
}

void AcquireDialog::restoreOptions(const OptionList &options)
{
    // From the first option on each time: a value given may have enabled an earlier option.
    for (const OptionInfo &o : options) {
        const auto remembered = pending_.constFind(o.name);
        if (remembered == pending_.constEnd())
            continue;
        QVariant value = restorableValue(o, remembered.value());
        if (!value.isValid())
            continue;
        pending_.erase(remembered);
        Client::instance().setOption(this, o.index, value, [this, o](const OptionList &now, const QString &error, bool lost) {
            if (!error.isEmpty())
                dropRemembered(o, error);
            if (lost)
                reopen({});
            else
                restoreOptions(now);
        });
        return;
    }
    pending_.clear();
    restoring_ = false;
    showOptions(options, notes_.join(QLatin1Char('\n')));
    if (geometry_)
        formatArea_ = geometry_->area(); // as the format left it when it was remembered
    notes_.clear();
    scan_->setEnabled(true);
    scan_->setFocus();
}

void AcquireDialog::dropRemembered(const OptionInfo &option, const QString &why)
{
    settings_.forgetOption(deviceName_, option.name);
    settings_.save();
    const QString title = optionTitle(option);
    notes_ << QStringLiteral("Die gespeicherte Einstellung „%1“ wurde zurückgesetzt, weil der Scanner sie nicht annahm: %2")
                  .arg(title, why);
}

void AcquireDialog::reopen(const QString &why)
{
    if (!why.isEmpty())
        notes_ << why;
    open_ = false;
    restoring_ = false;
    pending_.clear();
    startScan();
}

void AcquireDialog::startScan()
{
    if (scanning_ || restoring_)
        return;
    if (!open_) {
        scan_->setEnabled(false);
        Client::instance().openDevice(
            this, [this](const QString &device, const OptionList &options, const QString &error, bool lost) {
                if (error.isEmpty()) {
                    deviceOpened(device, options);
                    return;
                }
                if (sourceFromSettings_) {
                    // The scanner of an earlier run is gone: the first one, as without a choice;
                    // said only when it hung or crashed, not when it is merely no longer there.
                    sourceFromSettings_ = false;
                    if (lost)
                        notes_ << error + QStringLiteral(" Stattdessen wird der erste gefundene Scanner verwendet.");
                    Client::instance().choose({});
                    startScan();
                    return;
                }
                scan_->setEnabled(true);
                showText(device_, QStringLiteral("Kein Scanner bereit."));
                notes_ << error;
                showMessage(notes_.join(QLatin1Char('\n')));
                notes_.clear();
            });
        return;
    }
    // Before the scan, while the disk is idle: after it, the file would wait for the scan's
    // data to reach the disk before the picture is shown.
    remember();
    showMessage({});
    setBusy(true);
    ScanView view;
    if (geometry_ && paneColumn_->isVisible() && geometry_->resolution() > 0 && pane_->pixelsPerMm() > 0) {
        // Every sample-th row and column: about one pixel of the pane each.
        const double dpi = geometry_->resolution();
        view = showPage(geometry_->area(), dpi, std::max(1, int(std::ceil(dpi / (pane_->pixelsPerMm() * 25.4)))));
    }
    Client::instance().scan(
        this, path_, std::move(view), [this](double fraction) { showProgress(fraction); },
        [this](const QString &notice) { showMessage(notice); },
        [this](ScanResult result, const QString &error) { finishScan(result, error); });
}

void AcquireDialog::finishScan(ScanResult result, const QString &error)
{
    setBusy(false);
    pane_->endPage();
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
        // In the bar, not above it: the form stays where it is until the scan has stopped.
        progress_->setFormat(QStringLiteral("Der Scanvorgang wird abgebrochen …"));
        progress_->setTextVisible(true);
        return;
    }
    QDialog::reject();
}

void AcquireDialog::remember()
{
    settings_.setDialogSize(acquireDialogKey, size());
    settings_.setAdvancedOpen(form_->advancedOpen());
    if (open_ && !restoring_) {
        settings_.rememberOptions(deviceName_, options_);
        if (userArea_ || formatKey_ != QLatin1String("frei"))
            settings_.setFormat(deviceName_, formatKey_);
    }
    settings_.save();
}

void AcquireDialog::done(int result)
{
    remember();
    QDialog::done(result);
}

} // namespace scanlib
