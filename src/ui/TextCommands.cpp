#include "ui/TextCommands.h"

#include "base/Errors.h"
#include "image/PictureFiles.h"
#include "runtime/System.h"

#include <QClipboard>
#include <QDateTime>
#include <QGuiApplication>
#include <QMimeData>
#include <QProgressDialog>
#include <QShortcut>
#include <QThread>
#include <QTimer>
#include <QWidget>
#include <sys/resource.h>
#include <unistd.h>

namespace {

const QString CopyText = QStringLiteral("Text kopieren");
const QString ClipboardTitle = QStringLiteral(" Zwischenablage");
// After this long a recognition shows its progress.
constexpr qint64 QuietMs = 1000;

QString missingDataMessage(const QStringList &packages)
{
    return QStringLiteral("Für die Texterkennung fehlen die Sprachdaten.\n\nBitte installieren Sie: %1  ")
        .arg(packages.join(QStringLiteral(", ")));
}

} // namespace

struct BackgroundRecognition::Work {
    img::Picture picture;
    ocr::RecognitionControl control;
    ocr::Recognition result;
    std::optional<QString> failure;
    std::function<void(const ocr::Recognition &)> done;
    std::function<void(const QString &)> failed;
};

BackgroundRecognition::BackgroundRecognition(QWidget *window)
    : window_(window), timer_(new QTimer(this)), escape_(new QShortcut(QKeySequence(Qt::Key_Escape), window))
{
    timer_->setInterval(100);
    connect(timer_, &QTimer::timeout, this, rt::guarded([this] { tick(); }));
    escape_->setContext(Qt::WindowShortcut);
    escape_->setEnabled(false);
    connect(escape_, &QShortcut::activated, this, rt::guarded([this] { cancel(); }));
}

BackgroundRecognition::~BackgroundRecognition()
{
    if (thread_) {
        work_->control.cancelled = true;
        thread_->wait();
        delete thread_;
    }
}

bool BackgroundRecognition::start(const img::Picture &picture, std::function<void(const ocr::Recognition &)> done,
                                  std::function<void(const QString &)> failed)
{
    if (thread_)
        return false;
    if (const QStringList missing = ocr::missingLanguagePackages(); !missing.isEmpty()) {
        failed(missingDataMessage(missing));
        return false;
    }
    work_ = std::make_shared<Work>();
    work_->picture = picture;
    work_->done = std::move(done);
    work_->failed = std::move(failed);
    std::shared_ptr<Work> work = work_;
    thread_ = QThread::create([work] {
        // Behind the window's thread when the cores are busy, so that it keeps painting;
        // Tesseract's own threads take this on.
        ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), 10);
        std::optional<rt::RuntimeError> failure;
        if (!rt::attempt(
                "recognize", [&] { work->result = ocr::recognize(work->picture, ocr::DefaultLanguages, &work->control); },
                &failure))
            work->failure = failure ? failure->text() : QStringLiteral("Die Texterkennung ist gescheitert.");
    });
    connect(thread_, &QThread::finished, this, rt::guarded([this] { finished(); }));
    hourglass_ = std::make_unique<rt::HourglassPointer>();
    startedMs_ = QDateTime::currentMSecsSinceEpoch();
    escape_->setEnabled(true);
    timer_->start();
    thread_->start();
    return true;
}

void BackgroundRecognition::cancel()
{
    if (work_)
        work_->control.cancelled = true;
}

void BackgroundRecognition::tick()
{
    if (!thread_)
        return;
    if (!progress_ && QDateTime::currentMSecsSinceEpoch() - startedMs_ >= QuietMs) {
        progress_ = new QProgressDialog(QStringLiteral("Der Text wird erkannt …"), QStringLiteral("Abbrechen"), 0, 100, window_);
        progress_->setWindowTitle(QStringLiteral(" Texterkennung"));
        progress_->setAutoClose(false);
        progress_->setAutoReset(false);
        progress_->setMinimumDuration(0);
        connect(progress_, &QProgressDialog::canceled, this, rt::guarded([this] { cancel(); }));
        progress_->show();
    }
    if (progress_)
        progress_->setValue(work_->control.percent.load());
}

void BackgroundRecognition::finished()
{
    timer_->stop();
    escape_->setEnabled(false);
    if (progress_)
        progress_->deleteLater();
    progress_ = nullptr;
    thread_->wait(); // it has announced its end; let it leave its run
    delete thread_;
    thread_ = nullptr;
    hourglass_.reset(); // before any message, so that the box shows the normal pointer
    const std::shared_ptr<Work> work = std::move(work_);
    if (work->control.cancelled || work->result.cancelled)
        return;
    if (work->failure)
        work->failed(*work->failure);
    else
        work->done(work->result);
}

QString copyTextMenuText()
{
    const QStringList missing = ocr::missingLanguagePackages();
    return missing.isEmpty() ? CopyText
                             : QStringLiteral("%1 (%2 installieren)").arg(CopyText, missing.join(QStringLiteral(", ")));
}

void copyText(BackgroundRecognition &recognition, const img::Picture &picture, QWidget *owner)
{
    recognition.start(
        picture,
        [owner](const ocr::Recognition &result) {
            if (result.words == 0) {
                rt::showInformation(owner, QStringLiteral("Auf dem Bild wurde kein Text erkannt.  "), ClipboardTitle);
                return;
            }
            auto *data = new QMimeData;
            data->setText(result.text);
            data->setData(QStringLiteral("text/plain;charset=utf-8"), result.text.toUtf8());
            QGuiApplication::clipboard()->setMimeData(data); // replaces whatever it held
            rt::showInformation(owner,
                                QStringLiteral("Der Text wurde in die Zwischenablage kopiert (%1 Wörter).  ").arg(result.words),
                                ClipboardTitle);
        },
        [owner](const QString &message) { rt::showInformation(owner, message, ClipboardTitle); });
}

void saveSearchablePdf(BackgroundRecognition &recognition, const img::Picture &picture, const QString &path, double screenDpi,
                       QWidget *owner)
{
    const auto failed = [owner](const QString &problem) {
        rt::showInformation(owner, QStringLiteral("Das Bild wurde nicht gespeichert.\n\n%1  ").arg(problem.trimmed()),
                            QStringLiteral(" Speichern"));
    };
    recognition.start(
        picture,
        [=](const ocr::Recognition &result) {
            const QList<img::TextLine> lines = ocr::textLines(result.paragraphs);
            std::optional<rt::RuntimeError> failure;
            const rt::HourglassPointer hourglass;
            if (!rt::attempt(
                    "saveSearchablePdf", [&] { img::savePicture(picture, path, img::FileFormat::Pdf, screenDpi, lines); },
                    &failure))
                failed(failure ? failure->text() : QStringLiteral("Nicht genügend Speicher."));
        },
        failed);
}
