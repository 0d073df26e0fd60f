#include "runtime/ScaledPicture.h"

#include <QPainter>

namespace rt {

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

void ScaledPicture::waitForCopies()
{
    if (worker_.joinable())
        worker_.join();
}

void ScaledPicture::startCopies(const QImage &image, QWidget *widget)
{
    reset();
    key_ = image.cacheKey();
    QPointer<QWidget> target(widget);
    worker_ = std::jthread([this, image, target](std::stop_token stop) {
        // Each copy halves the one before, averaging, down to a few hundred pixels.
        QImage previous = image;
        while (!stop.stop_requested() && previous.width() >= 512 && previous.height() >= 512) {
            QImage half;
            try {
                half = previous.scaled(previous.width() / 2, previous.height() / 2, Qt::IgnoreAspectRatio,
                                       Qt::SmoothTransformation);
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
    if (zoom < 0.75 && image.cacheKey() != key_)
        startCopies(image, widget);
    const QRect target(0, 0, qRound(image.width() * zoom), qRound(image.height() * zoom));
    const QRegion covered = region & target;
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
