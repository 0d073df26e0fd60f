// Benchmarks of what a user feels, each against a reference measured in the same run:
//   vistoramo_bench startup  [runs]   process start to the first paint, against a minimal Qt program
//   vistoramo_bench scroll   [moves]  repainting the view after a step, against a bare widget
//   vistoramo_bench clipboard [runs]  "Ablage" until another program holds the pasted BMP,
//                                     against writing the same BMP to a file
//   vistoramo_bench scan DPI [runs]   "Bilddatei" with the real library and SANE's test device,
//                                     from pressing "Scannen" to the picture painted, against
//                                     scanimage with the same settings; and the peak memory
//                                     (SANE_CONFIG_DIR must name a configuration for the test device)
// Run them through bench/run.sh, which provides the display and the reference programs.

#include "BenchSupport.h"
#include "ClipboardData.h"
#include "Root.h"
#include "System.h"

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QMessageBox>
#include <QPainter>
#include <QPaintEvent>
#include <QProcess>
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

// The reference: a bare widget of the viewport's size that paints the picture's region.
class BareView : public QWidget {
public:
    QImage image;
    QPoint offset;

protected:
    void paintEvent(QPaintEvent *event) override
    {
        QPainter painter(this);
        const QRect r = event->rect();
        painter.drawImage(r.topLeft(), image, r.translated(offset));
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
    root.Show();
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
            const auto action = small ? (direction > 0 ? QAbstractSlider::SliderSingleStepAdd : QAbstractSlider::SliderSingleStepSub)
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

qint64 pasteWithXclip(const QString &target)
{
    QProcess xclip;
    xclip.setStandardOutputFile(target);
    xclip.start(QStringLiteral("xclip"), {"-selection", "clipboard", "-t", "image/bmp", "-o"});
    if (!xclip.waitForStarted(10000))
        return -1;
    while (xclip.state() != QProcess::NotRunning)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    return QFile(target).size();
}

int clipboard(int runs)
{
    if (QGuiApplication::platformName() != QLatin1String("xcb")) {
        std::printf("clipboard: needs an X display (run bench/run.sh)\n");
        return 1;
    }
    QTemporaryDir dir;
    const QImage page = scanLikePage(2480, 3508); // an A4 page at 300 dpi
    Root root;
    root.Show();
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
    ScanPresser() { timer_.callOnTimeout([this] { poll(); }); timer_.start(1); }

private:
    void poll()
    {
        QWidget *dialog = QApplication::activeModalWidget();
        if (!dialog || pressedAt >= 0)
            return;
        auto *scan = dialog->findChild<QPushButton *>(QStringLiteral("scan"));
        auto *device = dialog->findChild<QLabel *>(QStringLiteral("device"));
        if (scan && device && scan->isEnabled() && device->text().startsWith(QStringLiteral("Scanner:"))) {
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
    root.Show();
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
    const QString what = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    const int n = argc > 2 ? std::atoi(argv[2]) : 0;
    if (what == "startup")
        return startup(n > 0 ? n : 15);
    if (what == "scroll")
        return scroll(n > 0 ? n : 500);
    if (what == "clipboard")
        return clipboard(n > 0 ? n : 7);
    if (what == "scan")
        return scan(n > 0 ? n : 300, argc > 3 ? std::atoi(argv[3]) : 3);
    std::fprintf(stderr, "usage: vistoramo_bench startup|scroll|clipboard [count] | scan DPI [runs]\n");
    return 2;
}
