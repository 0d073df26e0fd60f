#pragma once
// Painting a picture at a zoom other than 1:1 without slowing down on page-sized scans:
// only the exposed region is painted, filtered from the nearest of a set of halved copies
// that a worker thread makes once per picture (until they are there, from the picture).
// The copies keep the picture's pixel format where they can, so that together they take at
// most a third of the picture's memory.

#include <QImage>
#include <QPointer>
#include <QRegion>
#include <QWidget>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class QPainter;

namespace rt {

class ScaledPicture {
public:
    ScaledPicture() = default;
    ~ScaledPicture();
    ScaledPicture(const ScaledPicture &) = delete;
    ScaledPicture &operator=(const ScaledPicture &) = delete;

    // Paints the part of region that the picture covers at zoom; returns that part.
    // widget is repainted when better copies become available.
    QRegion paint(QPainter &painter, const QRegion &region, const QImage &image, double zoom, QWidget *widget);
    // Forgets the copies (the picture changed).
    void reset();
    // While held, the copies are dropped and none are made: the picture is painted scaled on
    // the fly, so that an edit replacing it has no copies of the old picture beside the new
    // one. Letting go makes copies again at the next paint.
    void hold(bool held);
    // Waits for the copies of image (benchmarks and tests).
    void waitForCopies();
    // The bytes the copies take (benchmarks and tests).
    qsizetype copyBytes();

private:
    QImage source(const QImage &image, double zoom);
    void startCopies(const QImage &image, QWidget *widget);

    std::mutex mutex_;
    qint64 key_ = 0;
    bool held_ = false;
    std::vector<QImage> halves_; // each half the one before; together at most a third of the picture's bytes
    std::jthread worker_;
};

} // namespace rt
