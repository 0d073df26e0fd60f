// The heap an edit of a large page needs: an A4 page at 600 dpi in colour, shown fitted in
// the window, is turned, straightened, cropped and trimmed, and stepped back and forward;
// for each step the peak of the heap the whole process holds (the page, the edited copies,
// the view's scaled copies, whatever the edit made meanwhile) against the page's own size.
// An edit needs at least the picture it starts from and the one it makes (a turn by an angle
// makes a larger one); the view drops its scaled copies while an edit runs and makes them
// again for the new picture afterwards (a third of it).
//   edit_memory_bench      (run by bench/run.sh, on its display)

#include "BenchSupport.h"
#include "MallocCounter.h"
#include "image/Geometry.h"
#include "ui/PictureViewer.h"
#include "ui/Root.h"

#include <QApplication>
#include <QImageReader>
#include <QPainter>
#include <cstring>
#include <functional>

namespace {

// A page of text lines turned by 3°, so that straightening has something to do.
QImage skewedPage()
{
    QImage page(4960, 7016, QImage::Format_BGR888);
    page.fill(Qt::white);
    QPainter painter(&page);
    painter.translate(page.width() / 2.0, page.height() / 2.0);
    painter.rotate(3.0);
    painter.translate(-page.width() / 2.0, -page.height() / 2.0);
    quint32 seed = 1;
    for (int y = 600; y < 6400; y += 120)
        for (int x = 500; x < 4400;) {
            seed = seed * 1664525u + 1013904223u;
            const int word = 60 + int(seed >> 24);
            painter.fillRect(QRect(x, y, word, 56), QColor(25, 25, 25));
            x += word + 40;
        }
    return page;
}

void settle(Root &root)
{
    for (int i = 0; i < 3; ++i)
        QApplication::processEvents();
    root.Picture2.refresh(); // the view's scaled copies are started by painting
    root.Picture2.waitForScaledCopies();
    QApplication::processEvents();
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QImageReader::setAllocationLimit(2048);
    Root root;
    root.show();
    settle(root);
    const double mb = 1024.0 * 1024.0;
    const double base = double(heap::current());
    double pageMb = 0;
    {
        const QImage page = skewedPage();
        pageMb = double(page.sizeInBytes()) / mb;
        root.Picture2.setPicture(img::Picture(page, QSize(23622, 23622)));
    }
    root.viewer().fitPage();
    settle(root);
    PictureViewer &viewer = root.viewer();
    const std::pair<const char *, std::function<bool()>> steps[] = {
        {"turn right (the scan)", [&] { return viewer.turn(img::Turn::Right); }},
        {"turn left (an edited copy)", [&] { return viewer.turn(img::Turn::Left); }},
        {"straighten", [&] { return viewer.straighten(); }},
        {"crop",
         [&] {
             const QSize size = viewer.selection().bounds();
             viewer.selection().setArea(QRect(size.width() / 8, size.height() / 8, size.width() / 2, size.height() / 2));
             return viewer.crop();
         }},
        {"undo (the straightened page)", [&] { return viewer.undo(); }},
        {"undo (replayed from the scan)", [&] { return viewer.undo(); }},
        {"redo", [&] { return viewer.redo(); }},
        {"trim to the document", [&] { return viewer.trimToDocument(); }},
    };
    std::printf("heap during edits of an A4 600 dpi colour page (%.1f MB), shown fitted\n", pageMb);
    double worst = 0;
    for (const auto &[name, step] : steps) {
        heap::resetPeak();
        const bool changed = step();
        settle(root);
        const double peak = (double(heap::peak()) - base) / mb;
        const double after = (double(heap::current()) - base) / mb;
        worst = std::max(worst, peak);
        std::printf("  %-30s %s peak %6.1f MB = %.2f × the page; afterwards %6.1f MB = %.2f ×\n", name,
                    changed ? "      " : "(none)", peak, peak / pageMb, after, after / pageMb);
    }
    bench::Figure{"peak heap of an edit, A4 600 dpi colour, vs the page",
                  bench::Sample({worst}),
                  bench::Sample({pageMb}),
                  2.0,
                  bench::Statistic::Median,
                  "MB"}
        .print();
    return 0;
}
