#pragma once
// The commands that read the text of the shown picture: "Text kopieren" puts it on the
// clipboard, and the searchable PDF carries it as an invisible layer. Recognition runs on a
// worker thread, one at a time: the window stays responsive, the pointer shows the
// hourglass, a page that takes longer than a second shows its progress with Abbrechen, and
// Escape cancels it too. A cancelled recognition changes nothing.

#include "image/Picture.h"
#include "ocr/TextRecognition.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

class QProgressDialog;
class QShortcut;
class QThread;
class QTimer;
class QWidget;
namespace rt {
class HourglassPointer;
} // namespace rt

class BackgroundRecognition : public QObject {
public:
    explicit BackgroundRecognition(QWidget *window);
    ~BackgroundRecognition() override; // a recognition under way is stopped and waited for

    bool running() const { return thread_ != nullptr; }
    // Starts recognising the picture (one recognition at a time: false while one runs). done
    // runs on the window's thread with the result; after a failure failed runs with its
    // German message instead; after a cancel neither runs.
    bool start(const img::Picture &picture, std::function<void(const ocr::Recognition &)> done,
               std::function<void(const QString &)> failed);
    void cancel();

private:
    struct Work;
    void tick();
    void finished();

    QWidget *window_;
    QThread *thread_ = nullptr;
    std::shared_ptr<Work> work_;
    std::unique_ptr<rt::HourglassPointer> hourglass_;
    QTimer *timer_;
    QShortcut *escape_;
    QPointer<QProgressDialog> progress_;
    qint64 startedMs_ = 0;
};

// The menu entry's text: "Text kopieren", or what to install when the language data is missing.
QString copyTextMenuText();

// "Text kopieren": recognises the picture and puts its text on the clipboard, with the
// window's message.
void copyText(BackgroundRecognition &recognition, const img::Picture &picture, QWidget *owner);

// Saves the picture as a PDF with its text; a German message tells of a failure.
void saveSearchablePdf(BackgroundRecognition &recognition, const img::Picture &picture, const QString &path, double screenDpi,
                       QWidget *owner);
