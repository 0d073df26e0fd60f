// Benchmarks of what a user feels, each against a reference measured in the same run; every
// figure is a median with its range over the runs after a warm-up run (bench::Figure):
//   vistoramo_bench startup  [runs]   to the window mapped and to its first paint, as the X server
//                                     sees them (bench_xstart), against a bare three-button window
//   vistoramo_bench scroll   [moves]  repainting the view after a step, against a bare widget
//   vistoramo_bench clipboard [runs]  "Ablage" until another program holds the pasted BMP,
//                                     against writing the same BMP to a file
//   vistoramo_bench clipboard N PNM  and the paste of image/png against image/bmp of that scan
//   vistoramo_bench png [PNM...]      the program's PNG encoder (libpng) against the one it had
//                                     before, and other candidates, on the scans and two made-up pages
//   vistoramo_bench memory            the peak memory of an A4 page loaded from a BMP, fitted
//                                     and copied, colour at 1200 dpi and grey at 2400 dpi,
//                                     against the page's own size
//   vistoramo_bench scan DPI [runs]   "Bilddatei" with the real library and SANE's test device,
//                                     from pressing "Scannen" to the picture painted, against
//                                     the floors (bench_sane_floor: the page into memory, its
//                                     file written and read back) and against scanimage as a
//                                     peer; and the
//                                     peak memory growth against the raw image
//                                     (SANE_CONFIG_DIR must name a configuration for the test device)
//   vistoramo_bench ocr [runs]        recognising an A4 page of German text at 300 dpi against
//                                     the `tesseract` command line on the same image with the
//                                     same languages and page mode; and the characters read right
//                                     on the made-up pages, straight and turned by 3°
//   vistoramo_bench ocrpaint [runs]   the window's frames (the view scrolled every 16 ms) while
//                                     "Text kopieren" reads an A4 page of text, against the
//                                     same frames without a recognition
// Run them through bench/run.sh, which provides the display and the reference programs.

#include "BenchSupport.h"
#include "PngCandidates.h"
#include "TextPage.h"
#include "image/BmpWriter.h"
#include "image/Deskew.h"
#include "image/Geometry.h"
#include "image/PngEncoder.h"
#include "ocr/TextRecognition.h"
#include "runtime/ClipboardData.h"
#include "runtime/PictureLoader.h"
#include "runtime/ProgramFiles.h"
#include "runtime/System.h"
#include "ui/PictureViewer.h"
#include "ui/Root.h"
#include "ui/ScratchDirectory.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QEventLoop>
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
#include <QTransform>
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

// Starts program under bench_xstart, which watches the X server: milliseconds until its
// window is mapped and until its first paint reached the server.
bool startOnce(const QString &program, bench::Sample &mapped, bench::Sample &painted, bool keep)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.start(QCoreApplication::applicationDirPath() + "/bench_xstart", {program});
    if (!p.waitForFinished(60000) || p.exitCode() != 0)
        return false;
    const QList<QByteArray> times = p.readAllStandardOutput().trimmed().split(' ');
    if (keep) {
        mapped.add(times.value(0).toDouble());
        painted.add(times.value(1).toDouble());
    }
    return true;
}

int startup(int runs)
{
    const QString dir = QCoreApplication::applicationDirPath();
    bench::Sample mapped[2], painted[2]; // ours, then the bare window
    const QString programs[2] = {dir + "/bench_startup_root", dir + "/bench_startup_minimal"};
    for (int i = -1; i < runs; ++i) // a warm-up run of both for the file cache, then alternating
        for (int k = 0; k < 2; ++k)
            if (!startOnce(programs[k], mapped[k], painted[k], i >= 0)) {
                std::printf("startup: %s did not show its window\n", qPrintable(programs[k]));
                return 1;
            }
    bench::Figure{"start-up to the window mapped", mapped[0], mapped[1], 1.15}.print();
    bench::Figure{"start-up to the first paint", painted[0], painted[1], 1.15}.print();
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
        const std::string name = std::string("scroll ") + kind;
        bench::Figure{name + " median", ours, reference, small ? 1.5 : 1.2}.print();
        bench::Figure{name + " 99th percentile", ours, reference, 1.5, bench::Statistic::P99}.print();
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
        bench::Figure{"scroll at 50 % SmallChange median", ours, reference, 1.5}.print();
        bench::Figure{"scroll at 50 % SmallChange 99th percentile", ours, reference, 1.5, bench::Statistic::P99}.print();
    }

    // The fitted page, painted whole, against the bare widget painting it scaled.
    root.viewer().fitPage();
    root.Picture2.waitForScaledCopies();
    settle();
    bare.zoom = root.Picture2.zoom();
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
        bench::Figure{"fitted page repainted, 99th percentile", ours, reference, 1.5, bench::Statistic::P99}.print();
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
        const bench::Sample sample(steps);
        bench::printAlone(std::string("zoom step, 600 dpi page, goal < 50 ms ") + (sample.median() < 50 ? "met" : "MISSED"),
                          sample);
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
    bench::Sample bmp, png, bmpSize, pngSize;
    for (int i = -1; i < runs; ++i) { // a warm-up run first
        double t0 = nowMs();
        const double bmpBytes = static_cast<double>(pasteWithXclip(dir.filePath("p.bmp"), "image/bmp"));
        const double bmpMs = nowMs() - t0;
        t0 = nowMs();
        const double pngBytes = static_cast<double>(pasteWithXclip(dir.filePath("p.png"), "image/png"));
        const double pngMs = nowMs() - t0;
        if (i < 0)
            continue;
        bmp.add(bmpMs), png.add(pngMs), bmpSize.add(bmpBytes / 1e6), pngSize.add(pngBytes / 1e6);
    }
    bench::Figure{"paste image/png vs image/bmp, time", png, bmp, 1.5}.print();
    bench::Figure{"paste image/png vs image/bmp, size", pngSize, bmpSize, 0.1, bench::Statistic::Median, "MB"}.print();
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

    bench::Sample ours, reference;
    const QString pasted = dir.filePath("pasted.bmp");
    const QString written = dir.filePath("written.bmp");
    for (int i = 0; i < runs; ++i) {
        QFile::remove(pasted);
        double t0 = nowMs();
        root.BAblage_Click();
        const qint64 size = pasteWithXclip(pasted);
        ours.add(nowMs() - t0);
        if (size < qint64{2480} * 3508 * 3) {
            std::printf("clipboard: the pasted BMP is short (%lld bytes)\n", static_cast<long long>(size));
            return 1;
        }
        QFile::remove(written);
        t0 = nowMs();
        page.save(written, "BMP");
        reference.add(nowMs() - t0);
    }
    bench::Figure{"clipboard A4 300 dpi to xclip", ours, reference, 2.0}.print();

    // What the X11 transfer itself costs: the same bytes from one xclip to another.
    QProcess owner;
    owner.start(QStringLiteral("xclip"), {"-selection", "clipboard", "-t", "image/bmp", "-i", pasted});
    owner.waitForFinished(10000); // xclip forks into the background to serve the selection
    bench::Sample floor;
    for (int i = 0; i < runs; ++i) {
        const double t0 = nowMs();
        pasteWithXclip(written);
        floor.add(nowMs() - t0);
    }
    bench::printAlone("  X11 transfer floor (xclip to xclip)", floor);
    bench::Sample encode;
    for (int i = 0; i < runs; ++i) {
        const double t0 = nowMs();
        const QByteArray bytes = img::encodeBmp(page);
        encode.add(nowMs() - t0);
    }
    bench::printAlone("  of ours: encoding the BMP", encode);
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

// On each page: the program's encoder (libpng) against the one it had before (ours over zlib,
// "up", level 1), alternating, in time and size; then every other candidate's size and time.
int png(const QStringList &files)
{
    std::vector<std::pair<QString, QImage>> pages;
    for (const QString &f : files)
        pages.emplace_back(QFileInfo(f).fileName(), QImage(f).convertToFormat(QImage::Format_BGR888));
    pages.emplace_back(QStringLiteral("paper, noise +-2, 300 dpi"), paperLikePage(2480, 3508, 2));
    pages.emplace_back(QStringLiteral("paper, no noise, 300 dpi"), paperLikePage(2480, 3508, 0));
    struct Candidate {
        const char *name;
        bench::PngOptions options;
    };
    const Candidate candidates[] = {
        {"zlib 1, none", {bench::PngDeflater::Zlib, 1, bench::PngFilter::None}},
        {"zlib 1, sub", {bench::PngDeflater::Zlib, 1, bench::PngFilter::Sub}},
        {"libdeflate 1, none", {bench::PngDeflater::Libdeflate, 1, bench::PngFilter::None}},
        {"libdeflate 1, sub", {bench::PngDeflater::Libdeflate, 1, bench::PngFilter::Sub}},
        {"libdeflate 1, up", {bench::PngDeflater::Libdeflate, 1, bench::PngFilter::Up}},
        {"libdeflate 3, up", {bench::PngDeflater::Libdeflate, 3, bench::PngFilter::Up}},
        {"libdeflate 6, up", {bench::PngDeflater::Libdeflate, 6, bench::PngFilter::Up}},
    };
    const QSize dpm(11811, 11811);
    for (const auto &[name, page] : pages) {
        if (page.isNull())
            continue;
        const double raw = double(page.width()) * page.height() * 3;
        std::printf("%s, %dx%d, %.1f MB as BMP\n", qPrintable(name), page.width(), page.height(), raw / 1e6);
        bench::Sample bmp;
        for (int i = 0; i < 3; ++i) {
            const double t0 = nowMs();
            const QByteArray b = img::encodeBmp(page);
            bmp.add(nowMs() - t0);
        }
        std::printf("  %-22s %8.2f MB %8.1f ms\n", "BMP (reference)", raw / 1e6, bmp.median());

        bench::Sample libpngMs, ownMs, libpngMb, ownMb;
        for (int i = -1; i < 7; ++i) { // a warm-up run of both first
            double t0 = nowMs();
            const qsizetype libpngSize = img::encodePng(page, dpm).size();
            const double libpng = nowMs() - t0;
            t0 = nowMs();
            const qsizetype ownSize = bench::encodePngWith(page, dpm, {}).size();
            const double own = nowMs() - t0;
            if (i < 0)
                continue;
            libpngMs.add(libpng), ownMs.add(own);
            libpngMb.add(double(libpngSize) / 1e6), ownMb.add(double(ownSize) / 1e6);
        }
        bench::Figure{"  libpng (the program's) vs ours, zlib 1, up: time", libpngMs, ownMs, 1.2}.print();
        bench::Figure{"  libpng (the program's) vs ours, zlib 1, up: size", libpngMb, ownMb, 0, bench::Statistic::Median, "MB"}
            .print();

        for (const Candidate &c : candidates) {
            bench::Sample times;
            qsizetype size = 0;
            for (int i = 0; i < 3; ++i) {
                const double t0 = nowMs();
                size = bench::encodePngWith(page, dpm, c.options).size();
                times.add(nowMs() - t0);
            }
            std::printf("  %-22s %8.2f MB %8.1f ms   1/%.0f of the BMP\n", c.name, double(size) / 1e6, times.median(),
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

// The floors of one run, from bench_sane_floor: the test device's page read into memory, the
// same bytes written as a file into the directory our scan file goes to, and read back.
class Floors {
public:
    std::vector<double> sane, file, read;
    double pageBytes = 0;

    explicit Floors(const QString &path)
    {
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start(QCoreApplication::applicationDirPath() + "/bench_sane_floor", {path});
    }
    ~Floors()
    {
        process_.closeWriteChannel();
        process_.waitForFinished(10000);
    }
    bool measure(bool keep)
    {
        process_.write("\n");
        while (!process_.canReadLine())
            if (!process_.waitForReadyRead(60000))
                return false;
        const QList<QByteArray> times = process_.readLine().trimmed().split(' ');
        if (keep) {
            sane.push_back(times.value(0).toDouble());
            file.push_back(times.value(1).toDouble());
            read.push_back(times.value(2).toDouble());
        }
        pageBytes = times.value(3).toDouble();
        return times.size() == 4;
    }

private:
    QProcess process_;
};

int scan(int dpi, int runs, const std::string &area)
{
    if (qEnvironmentVariableIsEmpty("SANE_CONFIG_DIR")) {
        std::printf("scan: SANE_CONFIG_DIR is not set (run bench/run.sh)\n");
        return 1;
    }
    QTemporaryDir dir;
    std::vector<double> ours, scanimageMs, floorSum;
    bench::Sample growth, raw;
    Root root;
    root.show();
    settle();
    // Where the program puts its scan file: the file floor writes there too, under its own name.
    const ScratchDirectory scratch(Programmpfad(), QStringLiteral("Floor.bmp"));
    Floors floors(scratch.path() + QStringLiteral("Floor.bmp"));
    for (int i = -1; i < runs; ++i) { // the first run starts the scanner helper: a warm-up
        const bool keep = i >= 0;
        root.Picture2.clearPicture(); // the growth is measured without the last page held
        settle();
        PaintWatch painted;
        root.Picture2.widget()->installEventFilter(&painted);
        ScanPresser presser;
        const long before = procStatusKb("VmRSS:");
        resetPeakMemory();
        root.BScannen_Click();
        while (painted.paintedAt < presser.pressedAt) // until the picture is on the screen
            QApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        const double grownMb = static_cast<double>(procStatusKb("VmHWM:") - before) / 1024.0;
        root.Picture2.widget()->removeEventFilter(&painted);
        if (root.Picture2.picture().isEmpty() || presser.pressedAt < 0) {
            std::printf("scan: the acquisition failed\n");
            return 1;
        }
        const QImage &image = root.Picture2.picture().image();
        if (keep) {
            ours.push_back(painted.paintedAt - presser.pressedAt);
            growth.add(grownMb);
            raw.add(static_cast<double>(image.width()) * image.height() * 3 / (1024.0 * 1024.0));
        }

        if (!floors.measure(keep)) {
            std::printf("scan: bench_sane_floor failed\n");
            return 1;
        }
        if (floors.pageBytes != static_cast<double>(image.width()) * image.height() * 3) {
            std::printf("scan: our page (%dx%d) is not the floor's (%.0f bytes): the settings differ\n", image.width(),
                        image.height(), floors.pageBytes);
            return 1;
        }
        QProcess scanimage;
        scanimage.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        const double t0 = nowMs();
        scanimage.start(QStringLiteral("scanimage"),
                        {"-d", "test:0", "--format=pnm", "-o", dir.filePath(QStringLiteral("reference.pnm"))});
        scanimage.waitForFinished(600000);
        if (keep)
            scanimageMs.push_back(nowMs() - t0);
    }
    const std::string page = area + " colour " + std::to_string(dpi) + " dpi";
    bench::printAlone("  SANE floor: test device's page into memory", floors.sane);
    bench::printAlone("  file floor: the BMP's bytes written to a file", floors.file);
    bench::printAlone("  read floor: that file read back into memory", floors.read);
    bench::Figure{"scan to screen " + page + " vs the floors", ours, bench::sum(floors.sane, floors.file, floors.read), 1.3}
        .print();
    bench::Figure{"scan to screen " + page + " vs scanimage", ours, scanimageMs}.print();
    if (raw.median() >= 1) // below a megabyte the growth is the allocator's, not the picture's
        bench::Figure{"peak memory growth " + page + " vs raw image", growth, raw, 1.1, bench::Statistic::Median, "MB"}.print();
    return 0;
}

// ---- memory of a large page ---------------------------------------------------------------

// Processes events until the resident size has not grown for half a second (the view's
// copies are made on a worker thread).
void settleMemory()
{
    long last = -1;
    double since = nowMs();
    while (nowMs() - since < 500) {
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        const long now = procStatusKb("VmRSS:");
        if (now > last)
            last = now, since = nowMs();
    }
}

int memory()
{
    QTemporaryDir dir;
    struct Page {
        const char *name;
        int width, height;
        QImage::Format format;
    };
    const Page pages[] = {{"A4 colour 1200 dpi", 9921, 14031, QImage::Format_BGR888},
                          {"A4 grey 2400 dpi", 19843, 28063, QImage::Format_Grayscale8}};
    for (const Page &page : pages) {
        const QString path = dir.filePath(QStringLiteral("page.bmp"));
        double pageMb = 0;
        {
            QImage image = scanLikePage(page.width, page.height);
            if (page.format != image.format())
                image = image.convertToFormat(page.format);
            pageMb = static_cast<double>(image.sizeInBytes()) / (1024.0 * 1024.0);
            QFile file(path);
            if (!file.open(QIODevice::WriteOnly) || file.write(img::encodeBmp(image, {47244, 47244})) <= 0) {
                std::printf("memory: cannot write %s\n", qPrintable(path));
                return 1;
            }
        }
        Root root;
        root.show();
        settle();
        const long before = procStatusKb("VmRSS:");
        resetPeakMemory();
        root.Picture2.setPicture(rt::loadPicture(path));
        settle();
        root.viewer().fitPage();
        settleMemory();
        QTimer accept;
        acceptMessageBoxes(accept);
        root.BAblage_Click();
        settleMemory();
        const double peakMb = static_cast<double>(procStatusKb("VmHWM:") - before) / 1024.0;
        bench::Sample peak, size;
        peak.add(peakMb);
        size.add(pageMb);
        bench::Figure{std::string("peak memory, ") + page.name + " loaded, fitted, copied vs the page",
                      peak,
                      size,
                      1.5,
                      bench::Statistic::Median,
                      "MB"}
            .print();
        QGuiApplication::clipboard()->clear();
    }
    return 0;
}

// ---- Editing: turning, cropping and straightening ------------------------------------

// A plain transposing copy, pixel by pixel, as anyone would first write it.
QImage plainTurnRight(const QImage &image)
{
    QImage out(image.height(), image.width(), image.format());
    const int w = image.width(), h = image.height(), n = image.depth() / 8;
    for (int y = 0; y < h; ++y) {
        const uchar *in = image.constScanLine(y);
        for (int x = 0; x < w; ++x)
            std::memcpy(out.scanLine(x) + qsizetype(h - 1 - y) * n, in + qsizetype(x) * n, std::size_t(n));
    }
    return out;
}

// An A4 page at 300 dpi with lines of text, turned clockwise by degrees.
QImage turnedTextPage(double degrees)
{
    QImage page(2480, 3508, QImage::Format_BGR888);
    page.fill(Qt::white);
    QPainter painter(&page);
    quint32 seed = 1;
    for (int y = 300; y < 3200; y += 60)
        for (int x = 250; x < 2200;) {
            seed = seed * 1664525u + 1013904223u;
            const int word = 30 + int(seed >> 25);
            painter.fillRect(QRect(x, y, word, 28), QColor(25, 25, 25));
            x += word + 20;
        }
    painter.end();
    return img::rotated(page, degrees, qRgb(255, 255, 255));
}

int edit(int runs)
{
    // Turning an A4 page at 600 dpi in colour by 90°.
    QImage page(4960, 7016, QImage::Format_BGR888);
    for (int y = 0; y < page.height(); ++y)
        std::memset(page.scanLine(y), y & 255, std::size_t(page.bytesPerLine()));
    bench::Sample ours, plain, qt, crop;
    for (int i = 0; i < runs; ++i) {
        double t = bench::nowMs();
        const QImage a = img::turned(page, img::Turn::Right);
        ours.add(bench::nowMs() - t);
        t = bench::nowMs();
        const QImage b = plainTurnRight(page);
        plain.add(bench::nowMs() - t);
        t = bench::nowMs();
        const QImage c = page.transformed(QTransform().rotate(90));
        qt.add(bench::nowMs() - t);
        if (a != b || a.size() != c.size())
            std::printf("turned pages differ\n");
        t = bench::nowMs();
        for (int k = 0; k < 100; ++k)
            img::cropped(page, QRect(k, 2 * k, 4960 - 2 * k, 7016 - 3 * k)).constBits();
        crop.add((bench::nowMs() - t) / 100);
    }
    bench::Figure{"turn A4 600 dpi colour by 90° vs plain copy", ours, plain, 2.0}.print();
    bench::Figure{"turn A4 600 dpi colour by 90° vs QImage::transformed", ours, qt, 1.0}.print();
    std::printf("crop of an A4 600 dpi page: median %.4f ms (goal <= 5 ms)\n", crop.median());

    // Straightening an A4 page at 300 dpi turned by 7°, against ImageMagick's deskew.
    QTemporaryDir dir;
    const QImage skewed = turnedTextPage(7.0);
    const QString file = dir.filePath(QStringLiteral("skewed.png"));
    skewed.save(file);
    bench::Sample straighten, magick;
    double angle = 0;
    QString magickAngle;
    for (int i = 0; i < runs; ++i) {
        double t = bench::nowMs();
        angle = img::skewAngle(skewed);
        const QImage straight = img::rotated(skewed, -angle, img::borderColour(skewed));
        straighten.add(bench::nowMs() - t);
        QProcess convert;
        t = bench::nowMs();
        convert.start(QStringLiteral("convert"),
                      {file, QStringLiteral("-deskew"), QStringLiteral("40%"), QStringLiteral("-print"),
                       QStringLiteral("%[deskew:angle]"), dir.filePath(QStringLiteral("out.png"))});
        if (!convert.waitForFinished(120000) || convert.exitCode() != 0) {
            std::printf("convert -deskew failed (bench/run.sh installs ImageMagick)\n");
            break;
        }
        magick.add(bench::nowMs() - t);
        magickAngle = QString::fromLocal8Bit(convert.readAllStandardOutput()).trimmed();
    }
    std::printf("angle found: ours %.2f° (turned by 7.00°, goal within 0.2°), ImageMagick %s\n", angle, qPrintable(magickAngle));
    bench::Figure{"straighten A4 300 dpi turned by 7° vs convert -deskew 40%", straighten, magick, 0.5}.print();
    return 0;
}

int recognition(int runs)
{
    QTemporaryDir dir;
    const textpage::Page page = textpage::render(300);
    const QString png = dir.filePath(QStringLiteral("page.png"));
    if (!page.image.save(png)) {
        std::printf("ocr: cannot write %s\n", qPrintable(png));
        return 1;
    }
    const img::Picture picture(page.image, QSize(page.image.dotsPerMeterX(), page.image.dotsPerMeterY()));
    const auto command = [&] {
        QProcess tesseract;
        tesseract.start(QStringLiteral("tesseract"),
                        {png, dir.filePath(QStringLiteral("out")), QStringLiteral("-l"), ocr::DefaultLanguages,
                         QStringLiteral("--psm"), QStringLiteral("3")});
        return tesseract.waitForFinished(120000) && tesseract.exitCode() == 0;
    };
    bench::Sample ours, reference;
    for (int i = 0; i <= runs; ++i) {
        double t = nowMs();
        const ocr::Recognition result = ocr::recognize(picture);
        const double oursMs = nowMs() - t;
        t = nowMs();
        if (!command()) {
            std::printf("ocr: the tesseract command failed\n");
            return 1;
        }
        const double referenceMs = nowMs() - t;
        if (i == 0)
            continue; // the warm-up: both read the language data from disk once
        ours.add(oursMs);
        reference.add(referenceMs);
    }
    bench::Figure{"recognition, A4 300 dpi deu+eng, vs tesseract", ours, reference, 1.1}.print();
    for (const double degrees : {0.0, 3.0}) {
        const textpage::Page p = textpage::render(300, degrees);
        const ocr::Recognition result
            = ocr::recognize(img::Picture(p.image, QSize(p.image.dotsPerMeterX(), p.image.dotsPerMeterY())));
        std::printf("character accuracy, made-up A4 page turned by %.0f°: %.2f %% (goal >= 99 %%)\n", degrees,
                    textpage::characterAccuracy(p.expected, result.text) * 100);
    }
    return 0;
}

// ---- painting while recognising ----------------------------------------------------------

// The view scrolled a step and repainted every 16 ms, as a moving page asks of the window:
// for each frame, the time from its tick to the painted view, and the time since the frame
// before it was painted. Stops after frames frames, or (untilBox) when the window shows its
// message box, the recognition's end, which it closes.
struct Frames {
    bench::Sample paint, interval;
    int slow = 0; // painted in more than 20 ms
};

bool paintFrames(Root &root, Frames &out, int frames, bool untilBox)
{
    QScrollBar *bar = root.VScroll1.bar();
    int direction = 1, count = 0;
    double last = 0;
    bool boxShown = false;
    QEventLoop loop;
    QTimer timer;
    timer.setTimerType(Qt::PreciseTimer);
    timer.setInterval(16);
    const auto stop = [&] {
        timer.stop();
        loop.quit();
    };
    QObject::connect(&timer, &QTimer::timeout, [&] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            boxShown = true;
            box->accept();
            stop();
            return;
        }
        const double t0 = nowMs();
        if ((direction > 0 && bar->value() >= bar->maximum()) || (direction < 0 && bar->value() <= 0))
            direction = -direction;
        bar->triggerAction(direction > 0 ? QAbstractSlider::SliderSingleStepAdd : QAbstractSlider::SliderSingleStepSub);
        root.Picture1.widget()->repaint();
        const double t1 = nowMs();
        out.paint.add(t1 - t0);
        out.slow += t1 - t0 > 20 ? 1 : 0;
        if (last > 0)
            out.interval.add(t1 - last);
        last = t1;
        if (!untilBox && ++count >= frames)
            stop();
    });
    timer.start();
    loop.exec();
    return boxShown;
}

// "Text kopieren" on an A4 page of text at 300 dpi in the window, against the same frames
// without a recognition running; the two take turns, runs times.
int paintWhileRecognising(int runs)
{
    const textpage::Page page = textpage::render(300);
    const img::Picture picture(page.image, QSize(page.image.dotsPerMeterX(), page.image.dotsPerMeterY()));
    ocr::recognize(picture); // the language data into the file cache, as for the command line
    Root root;
    root.show();
    root.Picture2.setPicture(picture);
    root.Form_Resize();
    root.Picture2.waitForScaledCopies();
    settle();
    QAction *copy = root.viewer().action(QStringLiteral("Text kopieren"));
    if (!copy) {
        std::printf("paint while recognising: no \"Text kopieren\" (language data missing?)\n");
        return 1;
    }
    Frames quiet, busy;
    paintFrames(root, quiet, 30, false); // a warm-up
    quiet = {};
    bench::Sample recognising;
    for (int i = 0; i < runs; ++i) {
        paintFrames(root, quiet, 200, false);
        QGuiApplication::clipboard()->clear();
        const double t0 = nowMs();
        copy->trigger();
        const bool ended = paintFrames(root, busy, 0, true);
        recognising.add(nowMs() - t0);
        if (!ended || QGuiApplication::clipboard()->text().size() < 100) {
            std::printf("paint while recognising: the recognition did not put the text on the clipboard\n");
            return 1;
        }
    }
    bench::printAlone("recognition in the window, A4 300 dpi", recognising);
    bench::Figure{"frame paint while recognising, vs idle", busy.paint, quiet.paint, 0, bench::Statistic::P99}.print();
    bench::Figure{"frame interval while recognising, vs idle", busy.interval, quiet.interval, 0, bench::Statistic::P99}.print();
    bench::printAlone(std::string("frame paint while recognising, goal every frame <= 20 ms ")
                          + (busy.slow == 0 ? "met" : "MISSED by " + std::to_string(busy.slow)),
                      busy.paint);
    bench::printAlone("frame paint idle, " + std::to_string(quiet.slow) + " over 20 ms", quiet.paint);
    bench::printAlone("frame interval while recognising (16 ms asked)", busy.interval);
    bench::printAlone("frame interval idle (16 ms asked)", quiet.interval);
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
    if (what == "memory")
        return memory();
    if (what == "edit")
        return edit(n > 0 ? n : 5);
    if (what == "ocr")
        return recognition(n > 0 ? n : 7);
    if (what == "ocrpaint")
        return paintWhileRecognising(n > 0 ? n : 3);
    if (what == "scan")
        return scan(n > 0 ? n : 300, argc > 3 ? std::atoi(argv[3]) : 7, argc > 4 ? argv[4] : "A4");
    std::fprintf(stderr,
                 "usage: vistoramo_bench startup|scroll|clipboard [count] | memory | edit [runs] | ocr|ocrpaint [runs] | "
                 "scan DPI [runs [area]]\n");
    return 2;
}
