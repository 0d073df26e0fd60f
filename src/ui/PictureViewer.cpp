#include "ui/PictureViewer.h"

#include "base/Errors.h"
#include "base/Rounding.h"
#include "image/Deskew.h"
#include "image/DocumentArea.h"
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
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QStandardPaths>
#include <QTimer>
#include <QWheelEvent>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <future>
#include <optional>
#include <thread>

using rt::skip;

const double PictureViewer::Levels[8] = {0.25, 1.0 / 3, 0.5, 2.0 / 3, 1.0, 1.5, 2.0, 4.0};

namespace {

const QString Copy = QStringLiteral("Kopieren");
const QString SaveAs = QStringLiteral("Speichern unter …");
const QString WholePage = QStringLiteral("Ganze Seite");
const QString ActualSize = QStringLiteral("Originalgröße");
const QString ZoomIn = QStringLiteral("Vergrößern");
const QString ZoomOut = QStringLiteral("Verkleinern");
const QString TurnLeft = QStringLiteral("Nach links drehen");
const QString TurnRight = QStringLiteral("Nach rechts drehen");
const QString TurnHalf = QStringLiteral("Umdrehen");
const QString Straighten = QStringLiteral("Gerade richten");
const QString Trim = QStringLiteral("Vorlage freistellen");
const QString Crop = QStringLiteral("Zuschneiden");
const QString Undo = QStringLiteral("Rückgängig");
const QString Redo = QStringLiteral("Wiederherstellen");

// An edit shorter than this runs without the busy pointer, the window waiting for it.
constexpr std::chrono::milliseconds QuickEdit(150);
// Angles below this leave a page as it is.
constexpr double LeastTurn = 0.05;

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
      overlay_(new widgets::AreaSelectionOverlay(selection_, host_.picture.widget())),
      recognition_(std::make_unique<BackgroundRecognition>(host_.window.clientWidget()))
{
    host_.viewport.widget()->installEventFilter(this);
    host_.picture.widget()->installEventFilter(this);
    host_.picture.widget()->setMouseTracking(true); // the pointer shows what a press would take
    selection_.changed = [this](QRect area) { overlay_->update(area); };

    addAction(Copy, {QKeySequence(Qt::CTRL | Qt::Key_C)}, [this] { host_.copy(); });
    addAction(copyTextMenuText(), {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C)},
              [this] { copyText(*recognition_, host_.picture.picture(), host_.window.clientWidget()); });
    addAction(SaveAs, {QKeySequence(Qt::CTRL | Qt::Key_S)}, [this] { saveAs(); });
    menu_->addSeparator();
    addAction(TurnLeft, {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_R)}, [this] { turn(img::Turn::Left); });
    addAction(TurnRight, {QKeySequence(Qt::CTRL | Qt::Key_R)}, [this] { turn(img::Turn::Right); });
    addAction(TurnHalf, {}, [this] { turn(img::Turn::Half); });
    addAction(Straighten, {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_G)}, [this] { straighten(); });
    addAction(Trim, {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F)}, [this] { trimToDocument(); });
    addAction(Crop, {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_X)}, [this] { crop(); });
    menu_->addSeparator();
    addAction(Undo, {QKeySequence(Qt::CTRL | Qt::Key_Z)}, [this] { undo(); });
    addAction(Redo, {QKeySequence(Qt::CTRL | Qt::Key_Y), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)}, [this] { redo(); });
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
    const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
    if (event->key() == Qt::Key_Escape) {
        if (cancel_)
            cancel_->store(true);
        else if (selection_.isActive())
            selection_.clear();
        else
            return false;
        return true;
    }
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && mods == Qt::NoModifier && selection_.isActive()) {
        crop();
        return true;
    }
    followPicture();
    if (havePicture() && selection_.key(event->key(), mods, firstPixelInView()))
        return true;
    // Ctrl+Shift with an arrow key moves the whole frame (at the picture's edge it stays).
    if (selection_.isActive() && mods == (Qt::ControlModifier | Qt::ShiftModifier)) {
        const int dx = event->key() == Qt::Key_Right ? 1 : event->key() == Qt::Key_Left ? -1 : 0;
        const int dy = event->key() == Qt::Key_Down ? 1 : event->key() == Qt::Key_Up ? -1 : 0;
        if (dx != 0 || dy != 0) {
            selection_.moveBy(dx, dy);
            return true;
        }
    }
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
        followPicture();
        const bool enabled = havePicture();
        for (QAction *a : menu_->actions())
            a->setEnabled(enabled && available(a));
        menu_->exec(static_cast<QContextMenuEvent *>(event)->globalPos());
        for (QAction *a : menu_->actions())
            a->setEnabled(true);
        return true;
    }
    case QEvent::MouseButtonPress: {
        // The left button draws or changes the frame; with Ctrl it drags the picture out.
        const auto *e = static_cast<QMouseEvent *>(event);
        const bool left = overPicture && e->button() == Qt::LeftButton;
        // A press the picture leaves goes on to the viewport, which must not forget it.
        if (overPicture) {
            pressed_ = left && e->modifiers() == Qt::ControlModifier;
            pressedAt_ = e->position().toPoint();
        }
        if (!left || e->modifiers() != Qt::NoModifier)
            return false;
        bool taken = false;
        rt::runHandler("Select", [&] {
            followPicture();
            taken = havePicture() && !editRunning() && selection_.press(e->position());
        });
        return taken;
    }
    case QEvent::MouseButtonRelease: {
        pressed_ = false;
        bool taken = false;
        if (overPicture && selection_.dragging())
            rt::runHandler("Select", [&] { taken = selection_.release(static_cast<QMouseEvent *>(event)->position()); });
        return taken;
    }
    case QEvent::MouseMove: {
        const auto *e = static_cast<QMouseEvent *>(event);
        if (pressed_ && (e->buttons() & Qt::LeftButton)
            && (e->position().toPoint() - pressedAt_).manhattanLength() >= QApplication::startDragDistance()) {
            pressed_ = false;
            rt::runHandler("Drag", [&] { startDrag(); });
            return true;
        }
        if (!overPicture)
            return false;
        bool taken = false;
        rt::runHandler("Select", [&] {
            taken = selection_.move(e->position());
            host_.picture.widget()->setCursor(selection_.cursorAt(e->position()));
        });
        return taken;
    }
    case QEvent::Paint:
    case QEvent::Resize:
        // The frame follows the picture's zoom; a new picture drops it.
        if (overPicture)
            rt::runHandler("Select", [&] { followPicture(); });
        return false;
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

// ---- Editing ---------------------------------------------------------------------------

bool PictureViewer::available(const QAction *action) const
{
    if (action->text() == Crop)
        return selection_.isActive();
    if (action->text() == Undo)
        return history_.canUndo();
    if (action->text() == Redo)
        return history_.canRedo();
    return true;
}

void PictureViewer::followPicture()
{
    const img::Picture &shown = host_.picture.picture();
    const img::Picture &known = history_.current();
    if (shown.image().cacheKey() != known.image().cacheKey() || shown.dotsPerMeter() != known.dotsPerMeter()) {
        history_.reset(shown);
        selection_.clear();
    }
    placeSelection();
}

void PictureViewer::placeSelection()
{
    const QImage &image = host_.picture.picture().image();
    const QWidget *widget = host_.picture.widget();
    if (image.isNull()) {
        selection_.setBounds({});
        return;
    }
    // The picture fills its box at every zoom: the box's pixels per picture pixel.
    selection_.setMapping(QSizeF(double(widget->width()) / image.width(), double(widget->height()) / image.height()), {});
    selection_.setBounds(image.size());
}

QPoint PictureViewer::firstPixelInView() const
{
    return selection_.pixelAt(host_.picture.widget()->mapFrom(host_.viewport.widget(), QPoint(0, 0)));
}

void PictureViewer::showEdited(const img::Picture &picture)
{
    selection_.clear();
    host_.picture.setPicture(picture);
    host_.relayout();
    placeSelection();
}

std::optional<img::Picture> PictureViewer::runEdit(const std::function<img::Picture(img::CancelFlag)> &work)
{
    if (editRunning())
        return std::nullopt;
    const qint64 shown = host_.picture.picture().image().cacheKey();
    std::atomic<bool> cancel{false};
    cancel_ = &cancel;
    std::optional<rt::RuntimeError> failure;
    img::Picture result;
    bool ok = false;
    std::promise<void> finished;
    std::future<void> done = finished.get_future();
    // The view's halved copies of the picture being replaced would stand beside the new one:
    // they go first, the picture is painted scaled on the fly meanwhile, and copies are made
    // again for whatever is shown afterwards.
    host_.picture.holdScaledCopies(true);
    {
        std::jthread worker([&] {
            ok = rt::attempt(
                "edit", [&] { result = work(&cancel); }, &failure);
            finished.set_value();
        });
        if (done.wait_for(QuickEdit) != std::future_status::ready) {
            // The window goes on painting behind the busy pointer; Escape stops the edit.
            const rt::HourglassPointer hourglass;
            QEventLoop loop;
            QTimer poll;
            connect(&poll, &QTimer::timeout, &loop, [&] {
                if (done.wait_for(std::chrono::seconds(0)) == std::future_status::ready)
                    loop.quit();
            });
            poll.start(10);
            loop.exec();
        }
    }
    cancel_ = nullptr;
    host_.picture.holdScaledCopies(false);
    // A picture that arrived meanwhile (a scan) stays; the edit of the old one is dropped.
    if (host_.picture.picture().image().cacheKey() != shown)
        return std::nullopt;
    if (ok)
        return result;
    if (!cancel.load()) {
        const QString problem = failure ? failure->text() : QStringLiteral("Nicht genügend Speicher.");
        rt::showInformation(host_.window.clientWidget(), QStringLiteral("Das Bild wurde nicht geändert.\n\n%1  ").arg(problem),
                            QStringLiteral(" Bild bearbeiten"));
    }
    return std::nullopt;
}

bool PictureViewer::record(const std::function<std::optional<img::Edit>(const img::Picture &, img::CancelFlag)> &decide)
{
    followPicture();
    if (!havePicture() || editRunning())
        return false;
    std::optional<img::Edit> edit;
    img::Picture kept;
    std::optional<img::Picture> result;
    {
        const img::Picture from = history_.current();
        const img::Picture scan = history_.scanKept() ? img::Picture() : history_.scan();
        result = runEdit([&](img::CancelFlag cancel) -> img::Picture {
            edit = decide(from, cancel);
            if (!edit)
                return {}; // nothing to do: the picture stays
            img::Picture edited = img::applied(from, *edit, cancel);
            // The scan goes to a file once it is no longer shown (where that fails, it stays).
            kept = EditHistory::keptInFile(scan);
            return edited;
        });
    }
    if (!result || !edit)
        return false;
    history_.push(*edit, *result);
    history_.keepScan(kept);
    showEdited(*result);
    return true;
}

bool PictureViewer::turn(img::Turn turn)
{
    return record([turn](const img::Picture &, img::CancelFlag) { return img::Edit{turn, 0, 0, {}}; });
}

namespace {
// The turn that straightens a page, none where it is straight.
img::Edit straightening(const QImage &image, img::CancelFlag cancel)
{
    const double skew = img::skewAngle(image, cancel);
    if (std::abs(skew) < LeastTurn)
        return {};
    return {std::nullopt, -skew, img::borderColour(image), {}};
}
} // namespace

bool PictureViewer::straighten()
{
    return record([](const img::Picture &picture, img::CancelFlag cancel) -> std::optional<img::Edit> {
        const img::Edit edit = straightening(picture.image(), cancel);
        return edit.degrees != 0 ? std::optional(edit) : std::nullopt;
    });
}

bool PictureViewer::trimToDocument()
{
    return record([](const img::Picture &picture, img::CancelFlag cancel) -> std::optional<img::Edit> {
        img::Edit edit = straightening(picture.image(), cancel);
        const QImage straight = img::rotated(picture.image(), edit.degrees, edit.fill, cancel);
        const QRect area = img::documentArea(straight, picture.dotsPerMeter(), cancel);
        if (area != straight.rect())
            edit.area = area;
        return edit.degrees != 0 || !edit.area.isEmpty() ? std::optional(edit) : std::nullopt;
    });
}

bool PictureViewer::crop()
{
    followPicture();
    if (!selection_.isActive())
        return false;
    const QRect area = selection_.area();
    return record([area](const img::Picture &, img::CancelFlag) { return img::Edit{std::nullopt, 0, 0, area}; });
}

bool PictureViewer::stepTo(int position)
{
    followPicture();
    if (editRunning() || position < 0 || position > history_.count() || position == history_.position())
        return false;
    const EditHistory history = history_;
    const std::optional<img::Picture> result
        = runEdit([&](img::CancelFlag cancel) { return history.pictureAt(position, cancel); });
    if (!result)
        return false;
    history_.moveTo(position, *result);
    showEdited(*result);
    return true;
}

bool PictureViewer::undo()
{
    return stepTo(history_.position() - 1);
}

bool PictureViewer::redo()
{
    return stepTo(history_.position() + 1);
}
