#include "ui/PictureViewer.h"

#include "base/Errors.h"
#include "base/Rounding.h"
#include "image/PictureFiles.h"
#include "runtime/FocusMark.h"
#include "runtime/System.h"
#include "runtime/Translations.h"
#include "runtime/Units.h"
#include "ui/DragData.h"
#include "ui/Root.h"

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
};

} // namespace

PictureViewer::PictureViewer(Root &root)
    : root_(root), menu_(new QMenu(root.clientWidget())), focusMark_(new rt::FocusMark(root.clientWidget()))
{
    root_.Picture1.widget()->installEventFilter(this);
    root_.Picture2.widget()->installEventFilter(this);

    addAction(Copy, {QKeySequence(Qt::CTRL | Qt::Key_C)}, [this] { root_.BAblage_Click(); });
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
    root_.clientWidget()->addAction(action);
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
    return !root_.Picture2.picture().isEmpty();
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
            at = root_.Picture2.widget()->mapTo(root_.Picture1.widget(), at);
        for (int i = 0; i < std::abs(notches); ++i) {
            const double z = root_.Picture2.Zoom();
            const auto next = notches > 0 ? std::upper_bound(std::begin(Levels), std::end(Levels), z * 1.001)
                                          : std::lower_bound(std::begin(Levels), std::end(Levels), z * 0.999);
            if (notches > 0 && next != std::end(Levels))
                zoomTo(*next, at);
            else if (notches < 0 && next != std::begin(Levels))
                zoomTo(*(next - 1), at);
        }
        return true;
    }
    if ((mods & Qt::ShiftModifier) && delta.x() == 0)
        delta = QPoint(delta.y(), 0);
    // A notch (120) moves by SmallChange; the finer steps of a touchpad move by their share of it.
    if (delta.y() != 0)
        scrollBy(root_.VScroll1, -delta.y() / 120.0);
    if (delta.x() != 0)
        scrollBy(root_.HScroll1, -delta.x() / 120.0);
    return true;
}

bool PictureViewer::key(QKeyEvent *event)
{
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    switch (event->key()) {
    case Qt::Key_Up: scrollBy(root_.VScroll1, -1); return true;
    case Qt::Key_Down: scrollBy(root_.VScroll1, 1); return true;
    case Qt::Key_Left: scrollBy(root_.HScroll1, -1); return true;
    case Qt::Key_Right: scrollBy(root_.HScroll1, 1); return true;
    case Qt::Key_PageUp: scrollBy(root_.VScroll1, -1, true); return true;
    case Qt::Key_PageDown: scrollBy(root_.VScroll1, 1, true); return true;
    case Qt::Key_Home:
    case Qt::Key_End:
        scrollToEnd(root_.VScroll1, event->key() == Qt::Key_End);
        if (ctrl)
            scrollToEnd(root_.HScroll1, event->key() == Qt::Key_End);
        return true;
    default: return false;
    }
}

bool PictureViewer::eventFilter(QObject *watched, QEvent *event)
{
    const bool overPicture = watched == root_.Picture2.widget();
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
    return root_.Picture1.widget()->rect().center();
}

QSizeF PictureViewer::fitBox() const
{
    // The viewport with room for both bars, so that a fitted page needs neither.
    return {root_.width() - 500.0, root_.height() - 1250.0};
}

void PictureViewer::zoomTo(double zoom)
{
    zoomTo(zoom, viewportCentre());
}

void PictureViewer::zoomTo(double zoom, QPoint anchor)
{
    if (!havePicture())
        return;
    rt::PictureBox &picture = root_.Picture2;
    const double tpp = rt::twipsPerPixel();
    const double ax = anchor.x() * tpp, ay = anchor.y() * tpp;
    const double old = picture.Zoom();
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
    skip([&] { root_.Scroll_Reading(); });
    root_.Form_Resize();
    const auto place = [](rt::ScrollBar &bar, double position) {
        if (!bar.isVisible())
            return;
        const double lo = std::min(bar.min(), bar.max()), hi = std::max(bar.min(), bar.max());
        bar.setValue(rt::to32(std::clamp(position, lo, hi)));
    };
    place(root_.HScroll1, ax - px * picture.Zoom());
    place(root_.VScroll1, ay - py * picture.Zoom());
}

void PictureViewer::zoomIn()
{
    const double z = root_.Picture2.Zoom();
    const auto next = std::upper_bound(std::begin(Levels), std::end(Levels), z * 1.001);
    if (next != std::end(Levels))
        zoomTo(*next);
}

void PictureViewer::zoomOut()
{
    const double z = root_.Picture2.Zoom();
    const auto next = std::lower_bound(std::begin(Levels), std::end(Levels), z * 0.999);
    if (next != std::begin(Levels))
        zoomTo(*(next - 1));
}

void PictureViewer::fitPage()
{
    zoomTo(0.0);
}

void PictureViewer::windowResized()
{
    if (refitting_ || !root_.Picture2.ZoomsToFit() || !havePicture() || fitBox().isEmpty())
        return;
    refitting_ = true;
    skip([&] { root_.Picture2.setZoomToFit(fitBox()); });
    skip([&] { root_.Scroll_Reading(); });
    root_.Form_Resize();
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
    rt::InstallGermanQtTexts(); // the file dialog's own texts (views, the question before replacing)
    QFileDialog dialog(root_.clientWidget(), QStringLiteral("Bild speichern"));
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
    saveTo(path);
}

bool PictureViewer::saveTo(const QString &path)
{
    QString problem;
    rt::setMousePointer(rt::Hourglass);
    try {
        img::savePicture(root_.Picture2.picture(), path, img::formatForName(path), 1440.0 / rt::twipsPerPixel());
    } catch (const rt::RuntimeError &e) {
        problem = e.text();
    } catch (const std::bad_alloc &) {
        problem = QStringLiteral("Nicht genügend Speicher.");
    } catch (const std::exception &e) {
        problem = QString::fromLocal8Bit(e.what());
    }
    rt::setMousePointer(rt::Default);
    if (problem.isEmpty())
        return true;
    rt::showInformation(root_.clientWidget(), QStringLiteral("Das Bild wurde nicht gespeichert.\n\n%1  ").arg(problem),
                        QStringLiteral(" Speichern"));
    return false;
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
    const rt::Picture &picture = root_.Picture2.picture();
    auto *data = new DragData(picture, file); // the PNG is made on a worker thread meanwhile
    QDrag drag(root_.Picture2.widget());
    drag.setMimeData(data);
    const QImage &image = picture.image();
    drag.setPixmap(QPixmap::fromImage(
        image.scaled(std::min(image.width(), 160), std::min(image.height(), 160), Qt::KeepAspectRatio, Qt::FastTransformation)));
    drag.exec(Qt::CopyAction);
}
