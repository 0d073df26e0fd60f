#pragma once
// How the user looks at the scan: the wheel and the keys scroll the view through the bars,
// the zoom, the picture's context menu, saving it to a file and dragging it out; turning,
// straightening and cropping it, with undo and redo. Every move
// goes through a bar's Value, so the bars' Change handlers move the picture as ever; the
// zoom changes only the picture box's size, so the layout and the scroll ranges follow
// through the window's own routines.

#include "image/Geometry.h"
#include "ui/EditHistory.h"
#include "ui/ViewHost.h"
#include "widgets/AreaSelection.h"

#include <QKeySequence>
#include <QList>
#include <QObject>
#include <QPoint>
#include <QSizeF>
#include <QString>
#include <QTemporaryDir>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>

class BackgroundRecognition;
class QAction;
class QMenu;
namespace rt {
class FocusMark;
} // namespace rt

class PictureViewer : public QObject {
public:
    explicit PictureViewer(ViewHost host);
    ~PictureViewer() override;

    // The zoom levels that Vergrößern and Verkleinern step through.
    static const double Levels[8];
    // The level one step from zoom towards larger (direction > 0) or smaller pictures; zoom
    // itself where there is none.
    static double nextLevel(double zoom, int direction);

    // Zoom to a level (1 = 100 %), keeping the point under anchor (pixels in the viewport)
    // where it is; without an anchor, the viewport's centre.
    void zoomTo(double zoom, QPoint anchor);
    void zoomTo(double zoom);
    void zoomIn();
    void zoomOut();
    void fitPage();
    // After the window's layout: a fitted page is fitted again to the new size.
    void windowResized();

    // Steps for the wheel and the keys: positive moves towards the bar's far end.
    void scrollBy(rt::ScrollBar &bar, double steps, bool large = false);
    void scrollToEnd(rt::ScrollBar &bar, bool farEnd);

    // Saves the picture through the file dialog.
    void saveAs();
    // Saves without asking (also the dialog's end); a German message tells of a failure.
    bool saveTo(const QString &path);
    // A file name for the picture: Scan-<date>-<time>.png
    static QString suggestedName();

    // "PDF mit Text (durchsuchbar)": the picture with its recognised text, saved when the
    // recognition ends.
    void saveSearchableTo(const QString &path);

    QAction *action(const QString &text) const;

    // The edits, each a step of the history (a new picture starts a new one). Edits that take
    // long run on a worker thread behind the busy pointer and stop at Escape; while one
    // runs, another is refused. Each returns whether it changed the picture.
    bool turn(img::Turn turn);
    bool straighten();
    bool trimToDocument();
    bool crop();
    bool undo();
    bool redo();
    bool editRunning() const { return cancel_ != nullptr; }
    const EditHistory &history() const { return history_; }
    // The frame on the picture that Zuschneiden crops to, in the picture's pixels.
    widgets::AreaSelection &selection() { return selection_; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool wheel(class QWheelEvent *event, bool overPicture);
    bool key(class QKeyEvent *event);
    void startDrag();
    void addAction(const QString &text, const QList<QKeySequence> &keys, std::function<void()> run);
    bool havePicture() const;
    bool available(const QAction *action) const;
    // The history follows the picture shown: a new scan or start picture starts it again.
    void followPicture();
    void showEdited(const img::Picture &picture);
    // Runs work on a worker thread while the window goes on; its picture, or none when it
    // was cancelled, refused or failed (with a message).
    std::optional<img::Picture> runEdit(const std::function<img::Picture(img::CancelFlag)> &work);
    bool record(const std::function<std::optional<img::Edit>(const img::Picture &, img::CancelFlag)> &decide);
    bool stepTo(int position);
    void placeSelection();
    QPoint firstPixelInView() const;
    QSizeF fitBox() const;
    QPoint viewportCentre() const;

    ViewHost host_;
    QMenu *menu_;
    rt::FocusMark *focusMark_;
    QString lastFolder_;
    QPoint pressedAt_;
    bool pressed_ = false;
    QPoint wheelRemainder_; // eighths of a degree not yet turned into steps
    std::unique_ptr<QTemporaryDir> dragDir_;
    bool refitting_ = false;
    EditHistory history_;
    widgets::AreaSelection selection_;
    widgets::AreaSelectionOverlay *overlay_;
    std::atomic<bool> *cancel_ = nullptr; // the running edit's, while one runs
    std::unique_ptr<BackgroundRecognition> recognition_;
};
