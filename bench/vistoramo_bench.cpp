// Benchmarks of what a user feels, each against a reference measured in the same run:
//   vistoramo_bench startup  [runs]   process start to the first paint, against a minimal Qt program
//   vistoramo_bench scroll   [moves]  repainting the view after a step, against a bare widget
//   vistoramo_bench clipboard [runs]  "Ablage" until another program holds the pasted BMP,
//                                     against writing the same BMP to a file
// Run them through bench/run.sh, which provides the display and the reference programs.

#include "BenchSupport.h"
#include "ClipboardData.h"
#include "Root.h"
#include "System.h"

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QFile>
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
    std::fprintf(stderr, "usage: vistoramo_bench startup|scroll|clipboard [count]\n");
    return 2;
}
