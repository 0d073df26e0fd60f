// Benchmarks of what a user feels, each against a reference measured in the same run:
//   vistoramo_bench startup  [runs]   process start to the first paint, against a minimal Qt program
//   vistoramo_bench scroll   [moves]  repainting the view after a step, against a bare widget
//   vistoramo_bench clipboard [runs]  "Ablage" until another program holds the pasted BMP,
//                                     against writing the same BMP to a file
//   vistoramo_bench clipboard N PNM  and the paste of image/png against image/bmp of that scan
//   vistoramo_bench png [PNM...]      each PNG encoder on the scans and two made-up pages
//   vistoramo_bench scan DPI [runs]   "Bilddatei" with the real library and SANE's test device,
//                                     from pressing "Scannen" to the picture painted, against
//                                     scanimage with the same settings; and the peak memory
//                                     (SANE_CONFIG_DIR must name a configuration for the test device)
// Run them through bench/run.sh, which provides the display and the reference programs.

#include "BenchSupport.h"
#include "ClipboardData.h"
#include "PictureViewer.h"
#include "PngEncoder.h"
#include "Root.h"
#include "System.h"

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QLabel>
#include <QMessageBox>
#include <QPaintEvent>
#include <QPainter>
#include <QProcess>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTimer>
#include <cstring>

using bench::nowMs;

namespace {

QImage scanLikePage(int width, int height)
{
    // What a colour scan arrives as: 24-bit rows, with some structure to it.
    QImage image(width, height, QImage::Format_BGR888);
    for (int y = 0; y < height; ++y) {
        uchar *line = image.scanLine(y);
        for (int x = 0; x < width; ++x) {
            line[3 * x] = static_cast<uchar>(x ^ y);
            line[3 * x + 1] = static_cast<uchar>((x >> 2) + y);
            line[3 * x + 2] = static_cast<uchar>(y >> 3);
        }
    }
    return image;
}

// ---- start-up ----------------------------------------------------------------------------

double timeToFirstPaint(const QString &program)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    const auto t0 = std::chrono::steady_clock::now().time_since_epoch();
    p.start(program, {});
    if (!p.waitForFinished(30000))
        return -1;
    const long long painted = p.readAllStandardOutput().trimmed().toLongLong();
    return static_cast<double>(painted - std::chrono::duration_cast<std::chrono::nanoseconds>(t0).count()) / 1e6;
}

int startup(int runs)
{
    const QString dir = QCoreApplication::applicationDirPath();
    std::vector<double> ours, reference;
    timeToFirstPaint(dir + "/bench_startup_root"); // warm the file cache for both
    timeToFirstPaint(dir + "/bench_startup_minimal");
    for (int i = 0; i < runs; ++i) {
        ours.push_back(timeToFirstPaint(dir + "/bench_startup_root"));
        reference.push_back(timeToFirstPaint(dir + "/bench_startup_minimal"));
    }
    bench::report("start-up to first paint (median)", bench::median(ours), bench::median(reference), 1.2);
    return 0;
}

// ---- scrolling ---------------------------------------------------------------------------

// The reference: a bare widget of the viewport's size that paints the picture's region,
// scaled with the toolkit's smooth filter when zoom is not 1.
class BareView : public QWidget {
public:
    QImage image;
    QPoint offset;
    double zoom = 1.0;

protected:
    void paintEvent(QPaintEvent *event) override
    {
        QPainter painter(this);
        const QRect r = event->rect();
        if (zoom == 1.0) {
            painter.drawImage(r.topLeft(), image, r.translated(offset));
            return;
        }
        painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
        painter.setClipRect(r);
        painter.drawImage(QRectF(-offset.x(), -offset.y(), image.width() * zoom, image.height() * zoom), image);
    }
};

void settle()
{
    QApplication::processEvents();
    QApplication::processEvents();
}

int scroll(int moves)
{
    const QImage page = scanLikePage(4960, 7016); // an A4 page at 600 dpi
    Root root;
    root.show();
    root.Picture2.setPicture(rt::Picture(page));
    root.Form_Resize();
    settle();

    BareView bare;
    bare.setAttribute(Qt::WA_OpaquePaintEvent);
    bare.image = page;
    bare.resize(root.Picture1.widget()->size());
    bare.show();
    settle();

    for (const char *kind : {"SmallChange", "LargeChange"}) {
        const bool small = std::strcmp(kind, "SmallChange") == 0;
        QScrollBar *bar = root.VScroll1.bar();
        bar->setValue(0);
        settle();
        std::vector<double> ours, reference;
        int direction = 1;
        const int stepPx = (small ? bar->singleStep() : bar->pageStep()) / 15;
        for (int i = 0; i < moves; ++i) {
            if ((direction > 0 && bar->value() >= bar->maximum()) || (direction < 0 && bar->value() <= 0))
                direction = -direction;
            const auto action = small
                ? (direction > 0 ? QAbstractSlider::SliderSingleStepAdd : QAbstractSlider::SliderSingleStepSub)
                : (direction > 0 ? QAbstractSlider::SliderPageStepAdd : QAbstractSlider::SliderPageStepSub);
            double t0 = nowMs();
            bar->triggerAction(action);
            settle();
            ours.push_back(nowMs() - t0);

            t0 = nowMs();
            bare.offset.ry() = std::clamp(bare.offset.y() + direction * stepPx, 0, page.height() - bare.height());
            bare.update();
            settle();
            reference.push_back(nowMs() - t0);
        }
        const std::string median = std::string("scroll ") + kind + " median";
        const std::string p99 = std::string("scroll ") + kind + " 99th percentile";
        bench::report(median.c_str(), bench::median(ours), bench::median(reference), 1.5);
        bench::report(p99.c_str(), bench::percentile(ours, 99), bench::percentile(reference, 99), 1.5);
    }

    // At 50 %: SmallChange steps against the bare widget painting the same scaled strip.
    root.viewer().zoomTo(0.5, QPoint(0, 0));
    root.Picture2.waitForScaledCopies();
    settle();
    bare.zoom = 0.5;
    bare.offset = QPoint();
    bare.update();
    settle();
    {
        QScrollBar *bar = root.VScroll1.bar();
        std::vector<double> ours, reference;
        int direction = 1;
        const int stepPx = bar->singleStep() / 15;
        const int limit = int(page.height() * 0.5) - bare.height();
        for (int i = 0; i < moves; ++i) {
            if ((direction > 0 && bar->value() >= bar->maximum()) || (direction < 0 && bar->value() <= 0))
                direction = -direction;
            double t0 = nowMs();
            bar->triggerAction(direction > 0 ? QAbstractSlider::SliderSingleStepAdd : QAbstractSlider::SliderSingleStepSub);
            settle();
            ours.push_back(nowMs() - t0);
            t0 = nowMs();
            bare.offset.ry() = std::clamp(bare.offset.y() + direction * stepPx, 0, limit);
            bare.update();
            settle();
            reference.push_back(nowMs() - t0);
        }
        bench::report("scroll at 50 % SmallChange, 99th percentile", bench::percentile(ours, 99),
                      bench::percentile(reference, 99), 1.5);
    }

    // The fitted page, painted whole, against the bare widget painting it scaled.
    root.viewer().fitPage();
    root.Picture2.waitForScaledCopies();
    settle();
    bare.zoom = root.Picture2.Zoom();
    bare.offset = QPoint();
    {
        std::vector<double> ours, reference;
        for (int i = 0; i < std::max(20, moves / 10); ++i) {
            double t0 = nowMs();
            root.Picture2.widget()->repaint();
            ours.push_back(nowMs() - t0);
            t0 = nowMs();
            bare.repaint();
            reference.push_back(nowMs() - t0);
        }
        bench::report("fitted page repainted, 99th percentile", bench::percentile(ours, 99), bench::percentile(reference, 99),
                      1.5);
    }

    // A zoom step on the 600 dpi page, from the command to the painted view.
    {
        std::vector<double> steps;
        root.viewer().zoomTo(0.5);
        settle();
        for (int i = 0; i < 20; ++i) {
            const double t0 = nowMs();
            if (i % 2 == 0)
                root.viewer().zoomIn(); // 50 % to 67 %
            else
                root.viewer().zoomOut();
            root.Picture1.widget()->repaint();
            settle();
            steps.push_back(nowMs() - t0);
        }
        std::printf("%-44s ours %9.2f ms   (worst %.2f ms)   goal < 50 ms  %s\n", "zoom step, 600 dpi page (median)",
                    bench::median(steps), bench::percentile(steps, 100), bench::median(steps) < 50 ? "met" : "MISSED");
    }
    return 0;
}

// ---- clipboard ---------------------------------------------------------------------------

// Accepts each message box as soon as it shows.
void acceptMessageBoxes(QTimer &timer)
{
    QObject::connect(&timer, &QTimer::timeout, [] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget()))
            box->button(QMessageBox::Ok)->click();
    });
    timer.start(1);
}

qint64 pasteWithXclip(const QString &target, const char *type = "image/bmp")
{
    QProcess xclip;
    xclip.setStandardOutputFile(target);
    xclip.start(QStringLiteral("xclip"), {"-selection", "clipboard", "-t", QString::fromLatin1(type), "-o"});
    if (!xclip.waitForStarted(10000))
        return -1;
    while (xclip.state() != QProcess::NotRunning)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    return QFile(target).size();
}

// Another program pastes image/png and image/bmp of a scanned colour page: time and size.
void pasteBothFormats(Root &root, const QString &scan, int runs, const QTemporaryDir &dir)
{
    const QImage page = QImage(scan).convertToFormat(QImage::Format_BGR888);
    if (page.isNull())
        return;
    root.Picture2.setPicture(rt::Picture(page, {11811, 11811}));
    settle();
    root.BAblage_Click();
    std::vector<double> bmp, png;
    qint64 bmpSize = 0, pngSize = 0;
    for (int i = 0; i < runs; ++i) {
        double t0 = nowMs();
        bmpSize = pasteWithXclip(dir.filePath("p.bmp"), "image/bmp");
        bmp.push_back(nowMs() - t0);
        t0 = nowMs();
        pngSize = pasteWithXclip(dir.filePath("p.png"), "image/png");
        png.push_back(nowMs() - t0);
    }
    bench::report("paste image/png vs image/bmp, time (median)", bench::median(png), bench::median(bmp), 1.5);
    bench::report("paste image/png vs image/bmp, size", double(pngSize) / 1e6, double(bmpSize) / 1e6, 0.1, "MB");
}

int clipboard(int runs, const QString &scan)
{
    if (QGuiApplication::platformName() != QLatin1String("xcb")) {
        std::printf("clipboard: needs an X display (run bench/run.sh)\n");
        return 1;
    }
    QTemporaryDir dir;
    const QImage page = scanLikePage(2480, 3508); // an A4 page at 300 dpi
    Root root;
    root.show();
    root.Picture2.setPicture(rt::Picture(page));
    settle();
    QTimer accept;
    acceptMessageBoxes(accept);

    std::vector<double> ours, reference;
    const QString pasted = dir.filePath("pasted.bmp");
    const QString written = dir.filePath("written.bmp");
    for (int i = 0; i < runs; ++i) {
        QFile::remove(pasted);
        double t0 = nowMs();
        root.BAblage_Click();
        const qint64 size = pasteWithXclip(pasted);
        ours.push_back(nowMs() - t0);
        if (size < qint64{2480} * 3508 * 3) {
            std::printf("clipboard: the pasted BMP is short (%lld bytes)\n", static_cast<long long>(size));
            return 1;
        }
        QFile::remove(written);
        t0 = nowMs();
        page.save(written, "BMP");
        reference.push_back(nowMs() - t0);
    }
    bench::report("clipboard A4 300 dpi to xclip (median)", bench::median(ours), bench::median(reference), 2.0);

    // What the X11 transfer itself costs: the same bytes from one xclip to another.
    QProcess owner;
    owner.start(QStringLiteral("xclip"), {"-selection", "clipboard", "-t", "image/bmp", "-i", pasted});
    owner.waitForFinished(10000); // xclip forks into the background to serve the selection
    std::vector<double> floor;
    for (int i = 0; i < runs; ++i) {
        const double t0 = nowMs();
        pasteWithXclip(written);
        floor.push_back(nowMs() - t0);
    }
    std::printf("%-44s %9.2f ms (the same bytes from one xclip to another)\n", "  X11 transfer floor", bench::median(floor));
    std::vector<double> encode;
    for (int i = 0; i < runs; ++i) {
        const double t0 = nowMs();
        const QByteArray bytes = rt::encodeBmp(page);
        encode.push_back(nowMs() - t0);
    }
    std::printf("%-44s %9.2f ms\n", "  of ours: encoding the BMP", bench::median(encode));
    QGuiApplication::clipboard()->clear(); // the background xclip sees it lose the selection and ends
    if (!scan.isEmpty())
        pasteBothFormats(root, scan, runs, dir);
    return 0;
}

// ---- PNG encoders ------------------------------------------------------------------------

// A page as a scanner sees paper: a slightly uneven, slightly noisy background, lines of
// dark print and a colour photograph.
QImage paperLikePage(int width, int height, int noise)
{
    QImage image(width, height, QImage::Format_BGR888);
    quint32 seed = 12345;
    const auto random = [&seed] {
        seed = seed * 1664525u + 1013904223u;
        return static_cast<int>(seed >> 24);
    };
    for (int y = 0; y < height; ++y) {
        uchar *line = image.scanLine(y);
        const bool printRow = (y / 40) % 2 == 1 && y > height / 10 && y < height / 2;
        for (int x = 0; x < width; ++x) {
            int r = 238, g = 236, b = 230;
            if (printRow && x > width / 10 && x < width * 9 / 10 && ((x / 6) ^ (y / 5)) % 3 == 0)
                r = g = b = 30;
            else if (y > height * 6 / 10 && y < height * 9 / 10 && x > width / 10 && x < width * 9 / 10)
                r = 60 + (x * 150) / width, g = 80 + (y * 100) / height, b = 150 - (x * 60) / width;
            const int n = noise > 0 ? (random() % (2 * noise + 1)) - noise : 0;
            line[3 * x] = static_cast<uchar>(std::clamp(b + n, 0, 255));
            line[3 * x + 1] = static_cast<uchar>(std::clamp(g + n, 0, 255));
            line[3 * x + 2] = static_cast<uchar>(std::clamp(r + n, 0, 255));
        }
    }
    return image;
}

// Each encoder on each page: size and median time.
int png(const QStringList &files)
{
    std::vector<std::pair<QString, QImage>> pages;
    for (const QString &f : files)
        pages.emplace_back(QFileInfo(f).fileName(), QImage(f).convertToFormat(QImage::Format_BGR888));
    pages.emplace_back(QStringLiteral("paper, noise +-2, 300 dpi"), paperLikePage(2480, 3508, 2));
    pages.emplace_back(QStringLiteral("paper, no noise, 300 dpi"), paperLikePage(2480, 3508, 0));
    struct Candidate {
        const char *name;
        rt::PngOptions options;
    };
    const Candidate candidates[] = {
        {"zlib 1, none", {rt::PngDeflater::Zlib, 1, rt::PngFilter::None}},
        {"zlib 1, sub", {rt::PngDeflater::Zlib, 1, rt::PngFilter::Sub}},
        {"zlib 1, up", {rt::PngDeflater::Zlib, 1, rt::PngFilter::Up}},
        {"libdeflate 1, none", {rt::PngDeflater::Libdeflate, 1, rt::PngFilter::None}},
        {"libdeflate 1, sub", {rt::PngDeflater::Libdeflate, 1, rt::PngFilter::Sub}},
        {"libdeflate 1, up", {rt::PngDeflater::Libdeflate, 1, rt::PngFilter::Up}},
        {"libdeflate 3, up", {rt::PngDeflater::Libdeflate, 3, rt::PngFilter::Up}},
        {"libdeflate 6, up", {rt::PngDeflater::Libdeflate, 6, rt::PngFilter::Up}},
    };
    for (const auto &[name, page] : pages) {
        if (page.isNull())
            continue;
        const double raw = double(page.width()) * page.height() * 3;
        std::printf("%s, %dx%d, %.1f MB as BMP\n", qPrintable(name), page.width(), page.height(), raw / 1e6);
        std::vector<double> bmp;
        for (int i = 0; i < 3; ++i) {
            const double t0 = nowMs();
            const QByteArray b = rt::encodeBmp(page);
            bmp.push_back(nowMs() - t0);
        }
        std::printf("  %-22s %8.2f MB %8.1f ms\n", "BMP (reference)", raw / 1e6, bench::median(bmp));
        for (const Candidate &c : candidates) {
            std::vector<double> times;
            qsizetype size = 0;
            for (int i = 0; i < 3; ++i) {
                const double t0 = nowMs();
                size = rt::encodePng(page, {11811, 11811}, c.options).size();
                times.push_back(nowMs() - t0);
            }
            std::printf("  %-22s %8.2f MB %8.1f ms   1/%.0f of the BMP\n", c.name, double(size) / 1e6, bench::median(times),
                        raw / double(size));
        }
    }
    return 0;
}

// ---- scan to screen ----------------------------------------------------------------------

long procStatusKb(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(static_cast<qsizetype>(std::strlen(field))).trimmed().split(' ').value(0).toLong();
    return -1;
}

void resetPeakMemory()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5"); // resets VmHWM to the present resident size
}

// Presses "Scannen" as soon as the acquisition dialog has opened its device; records when.
class ScanPresser : public QObject {
public:
    double pressedAt = -1;
    ScanPresser()
    {
        timer_.callOnTimeout([this] { poll(); });
        timer_.start(1);
    }

private:
    void poll()
    {
        QWidget *dialog = QApplication::activeModalWidget();
        if (!dialog || pressedAt >= 0)
            return;
        auto *scan = dialog->findChild<QPushButton *>(QStringLiteral("scan"));
        if (scan && scan->isEnabled()) { // the device is open and its options are shown
            pressedAt = nowMs();
            scan->click();
        }
    }
    QTimer timer_;
};

class PaintWatch : public QObject {
public:
    double paintedAt = -1;
    bool eventFilter(QObject *, QEvent *e) override
    {
        if (e->type() == QEvent::Paint)
            paintedAt = nowMs();
        return false;
    }
};

int scan(int dpi, int runs)
{
    if (qEnvironmentVariableIsEmpty("SANE_CONFIG_DIR")) {
        std::printf("scan: SANE_CONFIG_DIR is not set (run bench/run.sh)\n");
        return 1;
    }
    QTemporaryDir dir;
    std::vector<double> ours, reference;
    double peakKb = 0;
    int width = 0, height = 0;
    Root root;
    root.show();
    settle();
    for (int i = 0; i < runs; ++i) {
        PaintWatch painted;
        root.Picture2.widget()->installEventFilter(&painted);
        ScanPresser presser;
        const long before = procStatusKb("VmRSS:");
        resetPeakMemory();
        root.BScannen_Click();
        while (painted.paintedAt < presser.pressedAt) // until the picture is on the screen
            QApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        peakKb = std::max(peakKb, static_cast<double>(procStatusKb("VmHWM:") - before));
        root.Picture2.widget()->removeEventFilter(&painted);
        if (root.Picture2.picture().isEmpty() || presser.pressedAt < 0) {
            std::printf("scan: the acquisition failed\n");
            return 1;
        }
        ours.push_back(painted.paintedAt - presser.pressedAt);
        width = root.Picture2.picture().image().width();
        height = root.Picture2.picture().image().height();

        QProcess scanimage;
        scanimage.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        const double t0 = nowMs();
        scanimage.start(QStringLiteral("scanimage"),
                        {"-d", "test:0", "--format=pnm", "-o", dir.filePath(QStringLiteral("reference.pnm"))});
        scanimage.waitForFinished(600000);
        reference.push_back(nowMs() - t0);
    }
    const std::string figure = "scan to screen A4 colour " + std::to_string(dpi) + " dpi (median)";
    bench::report(figure.c_str(), bench::median(ours), bench::median(reference), 1.5);
    if (dpi >= 600) {
        const double rawMb = static_cast<double>(width) * height * 3 / (1024.0 * 1024.0);
        const std::string mem = "peak memory of the " + std::to_string(dpi) + " dpi scan";
        bench::report(mem.c_str(), peakKb / 1024.0, rawMb, 1.5, "MB");
    }
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QImageReader::setAllocationLimit(2048); // the 600 dpi page
    const QString what = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    const int n = argc > 2 ? std::atoi(argv[2]) : 0;
    if (what == "startup")
        return startup(n > 0 ? n : 15);
    if (what == "scroll")
        return scroll(n > 0 ? n : 500);
    if (what == "clipboard")
        return clipboard(n > 0 ? n : 7, argc > 3 ? QString::fromLocal8Bit(argv[3]) : QString());
    if (what == "png")
        return png(QCoreApplication::arguments().mid(2));
    if (what == "scan")
        return scan(n > 0 ? n : 300, argc > 3 ? std::atoi(argv[3]) : 3);
    std::fprintf(stderr, "usage: vistoramo_bench startup|scroll|clipboard [count] | scan DPI [runs]\n");
    return 2;
}
