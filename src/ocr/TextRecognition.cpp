#include "ocr/TextRecognition.h"

#include "base/Errors.h"
#include "image/Deskew.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cmath>
#include <leptonica/allheaders.h>
#include <memory>
#include <new>
#include <tesseract/baseapi.h>
#include <tesseract/ocrclass.h>
#include <tesseract/resultiterator.h>

namespace ocr {

namespace {

// The system's language data, where Debian's tesseract-ocr-* packages put it.
const char *const SystemLanguageData = "/usr/share/tesseract-ocr/5/tessdata";

struct Monitor {
    tesseract::ETEXT_DESC desc;
    RecognitionControl *control = nullptr;

    static bool cancel(void *self, int)
    {
        auto *m = static_cast<Monitor *>(self);
        if (!m->control)
            return false;
        m->control->percent.store(m->desc.progress);
        return m->control->cancelled.load();
    }
};

QString utf8(const std::unique_ptr<char[]> &text)
{
    return text ? QString::fromUtf8(text.get()).trimmed() : QString();
}

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

// Tesseract's box (left, top and exclusive right, bottom on the image it read) as an upright
// box on the picture, centred where the straight page's box lies on it.
QRect boxOnPicture(const StraightPage &page, double scale, int l, int t, int r, int b)
{
    const double width = (r - l) / scale, height = (b - t) / scale;
    // Pixel centres are what the turn maps: the box's middle pixel, not its edge.
    const QPointF middle((l + r) / (2 * scale) - 0.5, (t + b) / (2 * scale) - 0.5);
    const QPointF centre = page.back.map(middle) + QPointF(0.5, 0.5);
    return QRect(qRound(centre.x() - width / 2), qRound(centre.y() - height / 2), qRound(width), qRound(height));
}

QList<Paragraph> readLayout(tesseract::TessBaseAPI &api, const StraightPage &page, double scale)
{
    QList<Paragraph> paragraphs;
    std::unique_ptr<tesseract::ResultIterator> it(api.GetIterator());
    if (!it)
        return paragraphs;
    do {
        if (it->Empty(tesseract::RIL_WORD))
            continue;
        if (paragraphs.isEmpty() || it->IsAtBeginningOf(tesseract::RIL_PARA))
            paragraphs.append(Paragraph{});
        QList<Line> &lines = paragraphs.last().lines;
        if (lines.isEmpty() || it->IsAtBeginningOf(tesseract::RIL_TEXTLINE)) {
            int l = 0, t = 0, r = 0, b = 0;
            it->BoundingBox(tesseract::RIL_TEXTLINE, &l, &t, &r, &b);
            lines.append(Line{{}, boxOnPicture(page, scale, l, t, r, b), page.skew});
        }
        const QString word = utf8(std::unique_ptr<char[]>(it->GetUTF8Text(tesseract::RIL_WORD)));
        if (!word.isEmpty())
            lines.last().words.append(word);
    } while (it->Next(tesseract::RIL_WORD));
    return paragraphs;
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
        const QImage &image = page.image;
        tesseract::TessBaseAPI api;
        const QByteArray dir = QFile::encodeName(languageDataDirectory());
        if (api.Init(dir.constData(), languages.toLatin1().constData(), tesseract::OEM_DEFAULT) != 0)
            rt::raise(rt::ErrorCode::CantLoadLibrary,
                      QStringLiteral("Die Texterkennung lässt sich nicht starten: die Sprachdaten in „%1“ sind nicht lesbar.")
                          .arg(languageDataDirectory()));
        // The whole page with its columns, as the command line reads it.
        api.SetPageSegMode(tesseract::PSM_AUTO);
        api.SetImage(image.constBits(), image.width(), image.height(), 1, static_cast<int>(image.bytesPerLine()));
        api.SetSourceResolution(qRound(dpi));
        Monitor monitor;
        monitor.control = control;
        monitor.desc.cancel = &Monitor::cancel;
        monitor.desc.cancel_this = &monitor;
        const int status = api.Recognize(&monitor.desc);
        Recognition result;
        if (control && control->cancelled.load()) {
            result.cancelled = true;
            return result;
        }
        if (status != 0)
            rt::raise(rt::ErrorCode::CantLoadLibrary, QStringLiteral("Die Texterkennung ist gescheitert."));
        if (control)
            control->percent.store(100);
        result.paragraphs = readLayout(api, page, scale);
        result.skew = page.skew;
        joinHyphenated(result.paragraphs);
        result.text = pageText(result.paragraphs);
        result.words = wordCount(result.paragraphs);
        api.End();
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
