#include "ui/PictureViewer.h"

#include "base/Errors.h"
#include "base/Rounding.h"
#include "image/PictureFiles.h"
#include "runtime/FocusMark.h"
#include "runtime/PictureBox.h"
#include "runtime/ScrollBar.h"
#include "runtime/System.h"
#include "runtime/Translations.h"
#include "runtime/Units.h"
#include "ui/DragData.h"
#include "ui/TextCommands.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDateTime>
#include <QDrag>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QStandardPaths>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <optional>

using rt::skip;

const double PictureViewer::Levels[8] = {0.25, 1.0 / 3, 0.5, 2.0 / 3, 1.0, 1.5, 2.0, 4.0};

namespace {

const QString Copy = QStringLiteral("Kopieren");
const QString SaveAs = QStringLiteral("Speichern unter …");
const QString WholePage = QStringLiteral("Ganze Seite");
const QString ActualSize = QStringLiteral("Originalgröße");
const QString ZoomIn = QStringLiteral("Vergrößern");
const QString ZoomOut = QStringLiteral("Verkleinern");

struct SaveType {
    QString filter;
    QString suffix;
};
const SaveType SaveTypes[] = {
    {QStringLiteral("PNG-Bild (*.png)"), QStringLiteral("png")},
    {QStringLiteral("JPEG-Bild (*.jpg *.jpeg)"), QStringLiteral("jpg")},
    {QStringLiteral("TIFF-Bild (*.tif *.tiff)"), QStringLiteral("tif")},
    {QStringLiteral("PDF-Dokument (*.pdf)"), QStringLiteral("pdf")},
    {QStringLiteral("PDF mit Text (durchsuchbar) (*.pdf)"), QStringLiteral("pdf")},
};
const QString &SearchablePdf = SaveTypes[4].filter;

} // namespace

PictureViewer::PictureViewer(ViewHost host)
    : host_(std::move(host)), menu_(new QMenu(host_.window.clientWidget())),
      focusMark_(new rt::FocusMark(host_.window.clientWidget())),
      recognition_(std::make_unique<BackgroundRecognition>(host_.window.clientWidget()))
{
    host_.viewport.widget()->installEventFilter(this);
    host_.picture.widget()->installEventFilter(this);

    addAction(Copy, {QKeySequence(Qt::CTRL | Qt::Key_C)}, [this] { host_.copy(); });
    addAction(copyTextMenuText(), {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C)},
              [this] { copyText(*recognition_, host_.picture.picture(), host_.window.clientWidget()); });
    addAction(SaveAs, {QKeySequence(Qt::CTRL | Qt::Key_S)}, [this] { saveAs(); });
    menu_->addSeparator();
    addAction(WholePage, {QKeySequence(Qt::CTRL | Qt::Key_0)}, [this] { fitPage(); });
    addAction(ActualSize, {QKeySequence(Qt::CTRL | Qt::Key_1)}, [this] { zoomTo(1.0); });
    addAction(ZoomIn, {QKeySequence(Qt::CTRL | Qt::Key_Plus), QKeySequence(Qt::CTRL | Qt::Key_Equal)}, [this] { zoomIn(); });
    addAction(ZoomOut, {QKeySequence(Qt::CTRL | Qt::Key_Minus)}, [this] { zoomOut(); });
}

PictureViewer::~PictureViewer() = default;

void PictureViewer::addAction(const QString &text, const QList<QKeySequence> &keys, std::function<void()> run)
{
    auto *action = new QAction(text, menu_);
    action->setShortcuts(keys);
    action->setShortcutContext(Qt::WindowShortcut);
    action->setShortcutVisibleInContextMenu(true);
    connect(action, &QAction::triggered, this, [this, run = std::move(run)] {
        if (havePicture())
            rt::runHandler("Menu", run);
    });
    menu_->addAction(action);
    host_.window.clientWidget()->addAction(action);
}

QAction *PictureViewer::action(const QString &text) const
{
    for (QAction *a : menu_->actions())
        if (a->text() == text)
            return a;
    return nullptr;
}

bool PictureViewer::havePicture() const
{
    return !host_.picture.picture().isEmpty();
}

// ---- Scrolling -------------------------------------------------------------------------

void PictureViewer::scrollBy(rt::ScrollBar &bar, double steps, bool large)
{
    if (!bar.isVisible())
        return;
    const double amount = steps * (large ? bar.largeChange() : bar.smallChange());
    const double towardsMax = bar.max() < bar.min() ? -1.0 : 1.0;
    const double target = std::clamp(bar.value() + towardsMax * amount, double(std::min(bar.min(), bar.max())),
                                     double(std::max(bar.min(), bar.max())));
    bar.setValue(rt::to32(target));
}

void PictureViewer::scrollToEnd(rt::ScrollBar &bar, bool farEnd)
{
    if (bar.isVisible())
        bar.setValue(farEnd ? bar.max() : bar.min());
}

bool PictureViewer::wheel(QWheelEvent *event, bool overPicture)
{
    QPoint delta = event->angleDelta();
    const Qt::KeyboardModifiers mods = event->modifiers();
    if (mods & Qt::ControlModifier) {
        // One zoom level per notch, around the pointer.
        wheelRemainder_ += delta;
        const int notches = wheelRemainder_.y() / 120;
        wheelRemainder_.setY(wheelRemainder_.y() % 120);
        QPoint at = event->position().toPoint();
        if (overPicture)
            at = host_.picture.widget()->mapTo(host_.viewport.widget(), at);
        for (int i = 0; i < std::abs(notches); ++i) {
            const double z = host_.picture.zoom();
            const double next = nextLevel(z, notches);
            if (next != z)
                zoomTo(next, at);
        }
        return true;
    }
    if ((mods & Qt::ShiftModifier) && delta.x() == 0)
        delta = QPoint(delta.y(), 0);
    // A notch (120) moves by SmallChange; the finer steps of a touchpad move by their share of it.
    if (delta.y() != 0)
        scrollBy(host_.vertical, -delta.y() / 120.0);
    if (delta.x() != 0)
        scrollBy(host_.horizontal, -delta.x() / 120.0);
    return true;
}

bool PictureViewer::key(QKeyEvent *event)
{
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    switch (event->key()) {
    case Qt::Key_Up: scrollBy(host_.vertical, -1); return true;
    case Qt::Key_Down: scrollBy(host_.vertical, 1); return true;
    case Qt::Key_Left: scrollBy(host_.horizontal, -1); return true;
    case Qt::Key_Right: scrollBy(host_.horizontal, 1); return true;
    case Qt::Key_PageUp: scrollBy(host_.vertical, -1, true); return true;
    case Qt::Key_PageDown: scrollBy(host_.vertical, 1, true); return true;
    case Qt::Key_Home:
    case Qt::Key_End:
        scrollToEnd(host_.vertical, event->key() == Qt::Key_End);
        if (ctrl)
            scrollToEnd(host_.horizontal, event->key() == Qt::Key_End);
        return true;
    default: return false;
    }
}

bool PictureViewer::eventFilter(QObject *watched, QEvent *event)
{
    const bool overPicture = watched == host_.picture.widget();
    switch (event->type()) {
    case QEvent::Wheel: {
        bool handled = false;
        rt::runHandler("Wheel", [&] { handled = wheel(static_cast<QWheelEvent *>(event), overPicture); });
        return handled;
    }
    case QEvent::KeyPress: {
        bool handled = false;
        rt::runHandler("KeyPress", [&] { handled = key(static_cast<QKeyEvent *>(event)); });
        return handled;
    }
    case QEvent::ContextMenu: {
        const bool enabled = havePicture();
        for (QAction *a : menu_->actions())
            a->setEnabled(enabled);
        menu_->exec(static_cast<QContextMenuEvent *>(event)->globalPos());
        for (QAction *a : menu_->actions())
            a->setEnabled(true);
        return true;
    }
    case QEvent::MouseButtonPress: {
        const auto *e = static_cast<QMouseEvent *>(event);
        pressed_ = overPicture && e->button() == Qt::LeftButton && e->modifiers() == Qt::NoModifier;
        pressedAt_ = e->position().toPoint();
        return false;
    }
    case QEvent::MouseButtonRelease: pressed_ = false; return false;
    case QEvent::MouseMove: {
        const auto *e = static_cast<QMouseEvent *>(event);
        if (pressed_ && (e->buttons() & Qt::LeftButton)
            && (e->position().toPoint() - pressedAt_).manhattanLength() >= QApplication::startDragDistance()) {
            pressed_ = false;
            rt::runHandler("Drag", [&] { startDrag(); });
            return true;
        }
        return false;
    }
    default: return false;
    }
}

// ---- Zoom ------------------------------------------------------------------------------

QPoint PictureViewer::viewportCentre() const
{
    return host_.viewport.widget()->rect().center();
}

QSizeF PictureViewer::fitBox() const
{
    // The viewport with room for both bars, so that a fitted page needs neither.
    return {host_.window.width() - 500.0, host_.window.height() - 1250.0};
}

void PictureViewer::zoomTo(double zoom)
{
    zoomTo(zoom, viewportCentre());
}

void PictureViewer::zoomTo(double zoom, QPoint anchor)
{
    if (!havePicture())
        return;
    rt::PictureBox &picture = host_.picture;
    const double tpp = rt::twipsPerPixel();
    const double ax = anchor.x() * tpp, ay = anchor.y() * tpp;
    const double old = picture.zoom();
    // The point of the picture under the anchor, in twips at 1:1.
    const double px = (ax - picture.left()) / old, py = (ay - picture.top()) / old;
    if (zoom > 0) {
        picture.setZoom(zoom);
    } else {
        const QSizeF box = fitBox();
        if (box.isEmpty())
            return;
        picture.setZoomToFit(box);
    }
    host_.relayout();
    const auto place = [](rt::ScrollBar &bar, double position) {
        if (!bar.isVisible())
            return;
        const double lo = std::min(bar.min(), bar.max()), hi = std::max(bar.min(), bar.max());
        bar.setValue(rt::to32(std::clamp(position, lo, hi)));
    };
    place(host_.horizontal, ax - px * picture.zoom());
    place(host_.vertical, ay - py * picture.zoom());
}

double PictureViewer::nextLevel(double zoom, int direction)
{
    // A level within a thousandth of the zoom counts as the zoom itself.
    if (direction > 0) {
        const auto next = std::upper_bound(std::begin(Levels), std::end(Levels), zoom * 1.001);
        return next != std::end(Levels) ? *next : zoom;
    }
    const auto next = std::lower_bound(std::begin(Levels), std::end(Levels), zoom * 0.999);
    return next != std::begin(Levels) ? *(next - 1) : zoom;
}

void PictureViewer::zoomIn()
{
    const double z = host_.picture.zoom();
    if (const double next = nextLevel(z, 1); next != z)
        zoomTo(next);
}

void PictureViewer::zoomOut()
{
    const double z = host_.picture.zoom();
    if (const double next = nextLevel(z, -1); next != z)
        zoomTo(next);
}

void PictureViewer::fitPage()
{
    zoomTo(0.0);
}

void PictureViewer::windowResized()
{
    if (refitting_ || !host_.picture.zoomsToFit() || !havePicture() || fitBox().isEmpty())
        return;
    refitting_ = true;
    skip([&] { host_.picture.setZoomToFit(fitBox()); });
    host_.relayout();
    refitting_ = false;
}

// ---- Saving ----------------------------------------------------------------------------

QString PictureViewer::suggestedName()
{
    const QString now = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd-HHmmss"));
    return QStringLiteral("Scan-%1.png").arg(now);
}

void PictureViewer::saveAs()
{
    if (!havePicture())
        return;
    rt::installGermanQtTexts(); // the file dialog's own texts (views, the question before replacing)
    QFileDialog dialog(host_.window.clientWidget(), QStringLiteral("Bild speichern"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setLabelText(QFileDialog::LookIn, QStringLiteral("Suchen in:"));
    dialog.setLabelText(QFileDialog::FileName, QStringLiteral("Dateiname:"));
    dialog.setLabelText(QFileDialog::FileType, QStringLiteral("Dateityp:"));
    dialog.setLabelText(QFileDialog::Accept, QStringLiteral("&Speichern"));
    dialog.setLabelText(QFileDialog::Reject, QStringLiteral("Abbrechen"));
    QStringList filters;
    for (const SaveType &t : SaveTypes)
        filters << t.filter;
    dialog.setNameFilters(filters);
    dialog.setDefaultSuffix(SaveTypes[0].suffix);
    const QString start
        = lastFolder_.isEmpty() ? QStandardPaths::writableLocation(QStandardPaths::PicturesLocation) : lastFolder_;
    dialog.setDirectory(QFileInfo(start).isDir() ? start : QDir::homePath());
    dialog.selectFile(suggestedName());
    // Choosing another type changes the suffix of the name in the dialog.
    connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog](const QString &filter) {
        for (const SaveType &t : SaveTypes) {
            if (t.filter != filter)
                continue;
            dialog.setDefaultSuffix(t.suffix);
            if (auto *edit = dialog.findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))) {
                const QFileInfo name(edit->text());
                if (!name.completeBaseName().isEmpty())
                    edit->setText(name.completeBaseName() + '.' + t.suffix);
            }
        }
    });
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    const QString path = dialog.selectedFiles().constFirst();
    lastFolder_ = QFileInfo(path).absolutePath();
    if (dialog.selectedNameFilter() == SearchablePdf)
        saveSearchableTo(path);
    else
        saveTo(path);
}

bool PictureViewer::saveTo(const QString &path)
{
    std::optional<rt::RuntimeError> failure;
    bool saved = false;
    {
        const rt::HourglassPointer hourglass; // until the picture is written or has failed
        saved = rt::attempt(
            "saveTo",
            [&] { img::savePicture(host_.picture.picture(), path, img::formatForName(path), 1440.0 / rt::twipsPerPixel()); },
            &failure);
    }
    if (saved)
        return true;
    const QString problem = failure ? failure->text() : QStringLiteral("Nicht genügend Speicher.");
    rt::showInformation(host_.window.clientWidget(), QStringLiteral("Das Bild wurde nicht gespeichert.\n\n%1  ").arg(problem),
                        QStringLiteral(" Speichern"));
    return false;
}

void PictureViewer::saveSearchableTo(const QString &path)
{
    saveSearchablePdf(*recognition_, host_.picture.picture(), path, 1440.0 / rt::twipsPerPixel(), host_.window.clientWidget());
}

// ---- Dragging out ----------------------------------------------------------------------

void PictureViewer::startDrag()
{
    if (!havePicture())
        return;
    if (!dragDir_ || !dragDir_->isValid()) {
        const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
        const QString base = runtime.isEmpty() ? QDir::tempPath() : runtime;
        dragDir_ = std::make_unique<QTemporaryDir>(base + QStringLiteral("/vistoramo-drag-XXXXXX"));
    }
    const QString file = dragDir_->isValid() ? dragDir_->filePath(suggestedName()) : QString();
    const rt::Picture &picture = host_.picture.picture();
    auto *data = new DragData(picture, file); // the PNG is made on a worker thread meanwhile
    QDrag drag(host_.picture.widget());
    drag.setMimeData(data);
    const QImage &image = picture.image();
    drag.setPixmap(QPixmap::fromImage(
        image.scaled(std::min(image.width(), 160), std::min(image.height(), 160), Qt::KeepAspectRatio, Qt::FastTransformation)));
    drag.exec(Qt::CopyAction);
}
