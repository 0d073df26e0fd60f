// The acquisition dialog's preview pane: finding the document on an A4 preview, and the
// repaint after each mouse move while the scan area is dragged over it.
// Usage: preview_bench [runs]   (QT_QPA_PLATFORM=offscreen will do)

#include "BenchSupport.h"

#include "image/DocumentArea.h"
#include "scanlib/client/PreviewPane.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QRandomGenerator>
#include <cstdlib>

namespace {

constexpr double previewDpi = 46; // what a pane about 540 px high asks of an A4 glass

// An A4 glass at the preview's resolution: a photo lying a little off the corner on a light
// lid with its grain.
QImage a4Preview()
{
    const double perMm = previewDpi / 25.4;
    QImage page(int(210 * perMm), int(297 * perMm), QImage::Format_RGB888);
    QRandomGenerator noise(7);
    for (int y = 0; y < page.height(); ++y) {
        uchar *row = page.scanLine(y);
        for (int x = 0; x < page.width() * 3; ++x)
            row[x] = uchar(236 + noise.bounded(5));
    }
    QPainter painter(&page);
    QLinearGradient photo(0, 0, 1, 1);
    photo.setCoordinateMode(QGradient::ObjectMode);
    photo.setColorAt(0, QColor(40, 90, 160));
    photo.setColorAt(1, QColor(200, 120, 40));
    painter.fillRect(QRectF(30 * perMm, 40 * perMm, 100 * perMm, 150 * perMm), photo);
    return page;
}

void mouse(QWidget &pane, QEvent::Type type, QPointF at)
{
    QMouseEvent event(type, at, pane.mapToGlobal(at), Qt::LeftButton,
                      type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&pane, &event);
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 30;
    const QImage preview = a4Preview();

    bench::Sample finding;
    QRect found;
    for (int i = 0; i < runs; ++i) {
        const double start = bench::nowMs();
        found = img::documentArea(preview, QSize(int(previewDpi / 0.0254), int(previewDpi / 0.0254)));
        finding.add(bench::nowMs() - start);
    }
    std::printf("document on an A4 preview (%dx%d): median %.2f ms, found %dx%d at %d,%d (goal <= 20 ms: %s)\n", preview.width(),
                preview.height(), finding.median(), found.width(), found.height(), found.x(), found.y(),
                finding.median() <= 20 ? "met" : "MISSED");

    scanlib::PreviewPane pane;
    pane.resize(420, 560);
    pane.setGlass(QRectF(0, 0, 210, 297));
    pane.setPreview(preview, QRectF(0, 0, 210, 297));
    pane.setArea(QRectF(20, 20, 80, 100));
    pane.show();
    QCoreApplication::processEvents();
    pane.repaint(); // the preview scaled to the pane once, as it is when the user starts to drag
    bench::Sample repaint;
    const QRectF glass = pane.glassOnPane();
    mouse(pane, QEvent::MouseButtonPress, glass.topLeft() + QPointF(10, 10));
    for (int i = 1; i <= 200; ++i) {
        const QPointF at = glass.topLeft() + QPointF(10 + i * (glass.width() - 20) / 200, 10 + i * (glass.height() - 20) / 200);
        const double start = bench::nowMs();
        mouse(pane, QEvent::MouseMove, at);
        pane.repaint();
        repaint.add(bench::nowMs() - start);
    }
    mouse(pane, QEvent::MouseButtonRelease, glass.bottomRight() - QPointF(10, 10));
    std::printf(
        "dragging the area on an A4 preview: repaint per mouse move median %.2f ms, p99 %.2f ms (goal median <= 4 ms: %s)\n",
        repaint.median(), repaint.percentile(99), repaint.median() <= 4 ? "met" : "MISSED");
    return 0;
}
