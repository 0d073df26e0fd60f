#include "runtime/ScaledPicture.h"

#include <QPainter>
#include <algorithm>
#include <new>

namespace rt {

namespace {

// The format of the copies: the picture's own where its bytes are whole channels (grey stays
// grey, 24-bit stays 24-bit), else the narrowest that holds its colours.
QImage::Format copyFormat(const QImage &image)
{
    switch (image.format()) {
    case QImage::Format_Grayscale8:
    case QImage::Format_RGB888:
    case QImage::Format_BGR888:
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
    case QImage::Format_ARGB32_Premultiplied:
    case QImage::Format_RGBX8888:
    case QImage::Format_RGBA8888:
    case QImage::Format_RGBA8888_Premultiplied: return image.format();
    case QImage::Format_Mono:
    case QImage::Format_MonoLSB:
    case QImage::Format_Indexed8: {
        const QList<QRgb> table = image.colorTable();
        const bool grey = std::all_of(table.begin(), table.end(), [](QRgb c) { return qIsGray(c); });
        return grey ? QImage::Format_Grayscale8 : QImage::Format_RGB888;
    }
    default: return image.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32;
    }
}

int channels(QImage::Format format)
{
    return format == QImage::Format_Grayscale8 ? 1 : format == QImage::Format_RGB888 || format == QImage::Format_BGR888 ? 3 : 4;
}

// The first copy is 1/factor of the picture each way, with factor the smallest power of two
// above 1 at which it takes at most a quarter of the picture's bytes; so the whole chain of
// halves stays within a third of the picture.
int firstFactor(const QImage &image, QImage::Format format)
{
    const int wider = channels(format) * 8;
    int factor = 2;
    while (wider * 4 > image.depth() * factor * factor)
        factor *= 2;
    return factor;
}

// image reduced by factor each way, each pixel the mean of the factor x factor it covers,
// in format. Rows of another format are converted a strip at a time, never the whole page.
QImage reduced(const QImage &image, int factor, QImage::Format format)
{
    const int width = image.width() / factor;
    const int height = image.height() / factor;
    QImage out(width, height, format);
    if (out.isNull())
        throw std::bad_alloc();
    const int n = channels(format);
    const qsizetype span = qsizetype{width} * n;
    std::vector<quint32> sums(static_cast<size_t>(span));
    const quint32 count = static_cast<quint32>(factor) * static_cast<quint32>(factor);
    for (int y = 0; y < height; ++y) {
        std::fill(sums.begin(), sums.end(), 0u);
        QImage strip;
        if (image.format() != format)
            strip = image.copy(0, y * factor, image.width(), factor).convertToFormat(format);
        for (int r = 0; r < factor; ++r) {
            const uchar *line = strip.isNull() ? image.constScanLine(y * factor + r) : strip.constScanLine(r);
            for (qsizetype x = 0; x < width; ++x) {
                const uchar *from = line + x * factor * n;
                quint32 *to = sums.data() + x * n;
                for (int p = 0; p < factor; ++p)
                    for (int c = 0; c < n; ++c)
                        to[c] += from[p * n + c];
            }
        }
        uchar *dest = out.scanLine(y);
        for (qsizetype i = 0; i < span; ++i)
            dest[i] = static_cast<uchar>((sums[static_cast<size_t>(i)] + count / 2) / count);
    }
    out.setDotsPerMeterX(image.dotsPerMeterX() / factor);
    out.setDotsPerMeterY(image.dotsPerMeterY() / factor);
    return out;
}

} // namespace

ScaledPicture::~ScaledPicture()
{
    reset();
}

void ScaledPicture::reset()
{
    if (worker_.joinable()) {
        worker_.request_stop();
        worker_.join();
    }
    const std::lock_guard lock(mutex_);
    halves_.clear();
    key_ = 0;
}

void ScaledPicture::hold(bool held)
{
    reset();
    held_ = held;
}

void ScaledPicture::waitForCopies()
{
    if (worker_.joinable())
        worker_.join();
}

qsizetype ScaledPicture::copyBytes()
{
    const std::lock_guard lock(mutex_);
    qsizetype bytes = 0;
    for (const QImage &half : halves_)
        bytes += half.sizeInBytes();
    return bytes;
}

void ScaledPicture::startCopies(const QImage &image, QWidget *widget)
{
    reset();
    key_ = image.cacheKey();
    QPointer<QWidget> target(widget);
    worker_ = std::jthread([this, image, target](const std::stop_token &stop) {
        // Each copy halves the one before, averaging, down to a few hundred pixels; all in one
        // format, that of the picture where it can be kept.
        const QImage::Format format = copyFormat(image);
        QImage previous = image;
        int factor = firstFactor(image, format);
        while (!stop.stop_requested() && previous.width() >= 256 * factor && previous.height() >= 256 * factor) {
            QImage half;
            try {
                half = reduced(previous, factor, format);
                factor = 2;
            } catch (...) {
                return; // memory short: the view keeps painting from the picture
            }
            if (half.isNull())
                return;
            {
                const std::lock_guard lock(mutex_);
                halves_.push_back(half);
            }
            previous = half;
            QMetaObject::invokeMethod(
                target,
                [target] {
                    if (target)
                        target->update();
                },
                Qt::QueuedConnection);
        }
    });
}

QImage ScaledPicture::source(const QImage &image, double zoom)
{
    // The smallest copy that still has at least as many pixels as the view shows.
    const std::lock_guard lock(mutex_);
    QImage best = image;
    for (const QImage &half : halves_)
        if (static_cast<double>(half.width()) >= image.width() * zoom)
            best = half;
    return best;
}

QRegion ScaledPicture::paint(QPainter &painter, const QRegion &region, const QImage &image, double zoom, QWidget *widget)
{
    if (image.isNull())
        return {};
    if (zoom < 0.75 && !held_ && image.cacheKey() != key_)
        startCopies(image, widget);
    const QRect target(0, 0, qRound(image.width() * zoom), qRound(image.height() * zoom));
    QRegion covered = region & target;
    if (covered.isEmpty())
        return covered;
    const QImage from = source(image, zoom);
    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    painter.setClipRegion(covered);
    painter.drawImage(target, from);
    painter.restore();
    return covered;
}

} // namespace rt
