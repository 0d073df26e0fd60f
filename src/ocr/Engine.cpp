#include "ocr/Engine.h"

#include <QString>
#include <memory>
#include <tesseract/baseapi.h>
#include <tesseract/ocrclass.h>
#include <tesseract/resultiterator.h>

namespace ocr {

namespace {

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

} // namespace ocr

extern "C" __attribute__((visibility("default"))) ocr::EngineOutcome
vistoramo_read_page(const ocr::StraightPage &page, double dpi, double scale, const QByteArray &dataDir,
                    const QByteArray &languages, ocr::RecognitionControl *control, QList<ocr::Paragraph> *paragraphs)
{
    using ocr::EngineOutcome;
    const QImage &image = page.image;
    tesseract::TessBaseAPI api;
    if (api.Init(dataDir.constData(), languages.constData(), tesseract::OEM_DEFAULT) != 0)
        return EngineOutcome::NoLanguageData;
    // The whole page with its columns, as the command line reads it.
    api.SetPageSegMode(tesseract::PSM_AUTO);
    api.SetImage(image.constBits(), image.width(), image.height(), 1, static_cast<int>(image.bytesPerLine()));
    api.SetSourceResolution(qRound(dpi));
    ocr::Monitor monitor;
    monitor.control = control;
    monitor.desc.cancel = &ocr::Monitor::cancel;
    monitor.desc.cancel_this = &monitor;
    const int status = api.Recognize(&monitor.desc);
    if (control && control->cancelled.load())
        return EngineOutcome::Cancelled;
    if (status != 0)
        return EngineOutcome::Failed;
    *paragraphs = ocr::readLayout(api, page, scale);
    api.End();
    return EngineOutcome::Read;
}
