#include "ocr/TextRecognition.h"

#include "base/Errors.h"
#include "image/Deskew.h"
#include "ocr/Engine.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cmath>
#include <dlfcn.h>
#include <new>

namespace ocr {

namespace {

// The system's language data, where Debian's tesseract-ocr-* packages put it.
const char *const SystemLanguageData = "/usr/share/tesseract-ocr/5/tessdata";

// The image as Tesseract reads it: 8-bit grey, straightened where it lies askew, enlarged to
// the recognition's resolution when it was scanned more coarsely. *scale is what the boxes
// are divided by afterwards. The grey copy is let go once the straight one is made, so the
// work holds one page of its own besides the picture.
StraightPage recognitionImage(const img::Picture &picture, img::CancelFlag cancel, double *dpi, double *scale)
{
    const QSize dpm = picture.dotsPerMeter();
    *dpi = dpm.width() > 0 ? dpm.width() * 0.0254 : RecognitionDpi;
    *scale = 1.0;
    StraightPage page;
    {
        const QImage grey = picture.image().convertToFormat(QImage::Format_Grayscale8);
        if (grey.isNull())
            throw std::bad_alloc();
        page = straightened(grey, cancel);
    }
    if (*dpi < CoarsestDpi) {
        *scale = RecognitionDpi / *dpi;
        page.image = page.image.scaled(qRound(page.image.width() * *scale), qRound(page.image.height() * *scale),
                                       Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        *dpi = RecognitionDpi;
    }
    if (page.image.isNull())
        throw std::bad_alloc();
    return page;
}

// The engine's entry, its library loaded beside the program on the first call and kept; a
// load that fails is tried again on the next call.
ReadPageFunction engine()
{
    static const ReadPageFunction read = [] {
        const QString path = QCoreApplication::applicationDirPath() + QLatin1Char('/') + QLatin1String(EngineFileName);
        void *handle = ::dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_LOCAL);
        auto *entry = handle ? reinterpret_cast<ReadPageFunction>(::dlsym(handle, EngineEntry)) : nullptr;
        if (!entry) {
            const char *why = ::dlerror();
            rt::raise(rt::ErrorCode::CantLoadLibrary,
                      QStringLiteral("Die Texterkennung „%1“ lässt sich nicht laden: %2")
                          .arg(path, QString::fromLocal8Bit(why ? why : "unbekannter Fehler")));
        }
        return entry;
    }();
    return read;
}

} // namespace

QString languageDataDirectory()
{
    const QByteArray prefix = qgetenv("TESSDATA_PREFIX");
    return prefix.isEmpty() ? QString::fromLatin1(SystemLanguageData) : QString::fromLocal8Bit(prefix);
}

QStringList missingLanguagePackages(const QString &languages)
{
    QStringList missing;
    const QDir dir(languageDataDirectory());
    for (const QString &language : languages.split(u'+', Qt::SkipEmptyParts))
        if (!QFileInfo(dir.filePath(language + QStringLiteral(".traineddata"))).isFile())
            missing << QStringLiteral("tesseract-ocr-") + language;
    return missing;
}

StraightPage straightened(const QImage &image, img::CancelFlag cancel)
{
    StraightPage page;
    page.image = image;
    const double skew = img::skewAngle(image, cancel);
    if (std::abs(skew) < LeastSkew)
        return page;
    page.image = img::rotated(image, -skew, img::borderColour(image), cancel);
    page.skew = skew;
    page.back = img::rotation(image.size(), -skew).inverted();
    return page;
}

Recognition recognize(const img::Picture &picture, const QString &languages, RecognitionControl *control)
{
    if (picture.isEmpty())
        rt::raise(rt::ErrorCode::InvalidPicture, QStringLiteral("Es ist kein Bild zum Erkennen da."));
    if (const QStringList missing = missingLanguagePackages(languages); !missing.isEmpty())
        rt::raise(rt::ErrorCode::FileNotFound,
                  QStringLiteral("Für die Texterkennung fehlen die Sprachdaten. Bitte installieren Sie: %1")
                      .arg(missing.join(QStringLiteral(", "))));
    try {
        double dpi = 0, scale = 1;
        const StraightPage page = recognitionImage(picture, control ? &control->cancelled : nullptr, &dpi, &scale);
        Recognition result;
        const QByteArray dir = QFile::encodeName(languageDataDirectory());
        switch (engine()(page, dpi, scale, dir, languages.toLatin1(), control, &result.paragraphs)) {
        case EngineOutcome::Read: break;
        case EngineOutcome::Cancelled: result.cancelled = true; return result;
        case EngineOutcome::NoLanguageData:
            rt::raise(rt::ErrorCode::CantLoadLibrary,
                      QStringLiteral("Die Texterkennung lässt sich nicht starten: die Sprachdaten in „%1“ sind nicht lesbar.")
                          .arg(languageDataDirectory()));
        case EngineOutcome::Failed:
            rt::raise(rt::ErrorCode::CantLoadLibrary, QStringLiteral("Die Texterkennung ist gescheitert."));
        }
        if (control)
            control->percent.store(100);
        result.skew = page.skew;
        joinHyphenated(result.paragraphs);
        result.text = pageText(result.paragraphs);
        result.words = wordCount(result.paragraphs);
        return result;
    } catch (const img::Cancelled &) {
        Recognition cancelled;
        cancelled.cancelled = true;
        return cancelled;
    } catch (const std::bad_alloc &) {
        rt::raise(rt::ErrorCode::OutOfMemory, QStringLiteral("Für die Texterkennung ist nicht genügend Speicher frei."));
    }
}

} // namespace ocr
