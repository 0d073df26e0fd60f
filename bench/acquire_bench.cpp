// Acquires an A4 colour page from SANE's test scanner through AcquireToFile (the dialog
// driven programmatically) and with scanimage, at 300 and 600 dpi, in one run. Prints the
// medians with their ranges, their ratio and the heap the library needed against the raw
// image size. Then, through the library's client itself: what the page as it arrives costs
// (a scan with bands for a 450-pixel pane against the same scan without), and a preview of
// the whole page at the pane's resolution against SANE delivering the same page into memory
// (bench_sane_floor).

#include "BenchSupport.h"
#include "MallocCounter.h"

#include "scanlib/api/VistoramoScan.h"
#include "scanlib/client/Client.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <vector>

namespace {

const char *const testConf = R"(number_of_devices 1
mode Color
depth 8
resolution 300.0
test-picture "Color pattern"
geometry_min 0.0
geometry_max 300.0
geometry_quant 1.0
br_x 210.0
br_y 297.0
)";

// Presses "Scannen" in the acquisition dialog once its options are there, after setting
// the resolution when it differs; with hidePane, the preview pane is hidden first, as in a
// dialog that has none to show.
class Driver : public QObject {
public:
    explicit Driver(int dpi, bool hidePane = false) : dpi_(dpi), hidePane_(hidePane)
    {
        timer_.setInterval(1);
        connect(&timer_, &QTimer::timeout, this, [this] { step(); });
        timer_.start();
    }

private:
    void step()
    {
        QWidget *dialog = QApplication::activeModalWidget();
        if (waited_.isValid() && waited_.elapsed() > 60000) {
            auto *message = dialog ? dialog->findChild<QLabel *>(QStringLiteral("message")) : nullptr;
            auto *button = dialog ? dialog->findChild<QPushButton *>(QStringLiteral("scan")) : nullptr;
            auto *field = dialog ? dialog->findChild<QComboBox *>(QStringLiteral("resolution")) : nullptr;
            std::fprintf(stderr, "Der Dialog wurde nicht bereit: %s (Scannen %s, Auflösung %s)\n",
                         message ? qPrintable(message->text()) : "(kein Dialog)",
                         button && button->isEnabled() ? "bereit" : "gesperrt", field ? qPrintable(field->currentText()) : "-");
            std::exit(1);
        }
        if (!waited_.isValid())
            waited_.start();
        auto *scan = dialog ? dialog->findChild<QPushButton *>(QStringLiteral("scan")) : nullptr;
        // The resolution field takes common values to pick and any other typed.
        auto *resolution = dialog ? dialog->findChild<QComboBox *>(QStringLiteral("resolution")) : nullptr;
        if (!scan || !scan->isEnabled() || !resolution || !resolution->lineEdit())
            return;
        if (resolution->currentText().section(QLatin1Char(' '), 0, 0).toDouble() != dpi_) { // "300 dpi"
            resolution->setEditText(QString::number(dpi_));
            emit resolution->lineEdit()->editingFinished();
            return; // the form is shown again with the new value
        }
        timer_.stop();
        if (QWidget *pane = dialog->findChild<QWidget *>(QStringLiteral("preview")); hidePane_ && pane)
            pane->parentWidget()->hide();
        scan->click();
    }

    int dpi_;
    bool hidePane_;
    QTimer timer_;
    QElapsedTimer waited_;
};

// Presses "Vorschau" in the acquisition dialog once its options are there, runs times after
// a warm-up, each time until the preview is painted on the pane; then closes the dialog.
class PreviewDriver : public QObject {
public:
    explicit PreviewDriver(int runs) : runs_(runs)
    {
        QTimer::singleShot(1, this, [this] { step(); });
    }
    bench::Sample painted;
    double dpi = 0; // the preview's resolution

private:
    void step()
    {
        QWidget *dialog = QApplication::activeModalWidget();
        auto *button = dialog ? dialog->findChild<QPushButton *>(QStringLiteral("previewButton")) : nullptr;
        auto *pane = dialog ? dialog->findChild<QWidget *>(QStringLiteral("preview")) : nullptr;
        if (!button || !button->isVisible() || !button->isEnabled() || !pane) {
            QTimer::singleShot(1, this, [this] { step(); });
            return;
        }
        for (int i = 0; i <= runs_; ++i) {
            QEventLoop settle; // what the last preview set off (the area found, sent) is done
            QTimer::singleShot(50, &settle, &QEventLoop::quit);
            settle.exec();
            const double t0 = bench::nowMs();
            button->click(); // the button is disabled until the preview is on the pane
            while (!button->isEnabled())
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
            pane->repaint();
            if (i > 0)
                painted.add(bench::nowMs() - t0);
        }
        const QRectF glass = pane->property("glass").toRectF(), shown = pane->property("glassOnPane").toRectF();
        dpi = std::ceil(shown.width() / glass.width() * 25.4 - 1e-9); // the test device's steps are 1 dpi
        QMetaObject::invokeMethod(dialog, "reject", Qt::QueuedConnection);
    }

    int runs_;
};

double acquireSeconds(const QString &file, int dpi, std::size_t &peakHeap, bool hidePane = false)
{
    Driver driver(dpi, hidePane);
    heap::resetPeak();
    const std::size_t before = heap::current();
    QElapsedTimer clock;
    clock.start();
    const std::int16_t rc = AcquireToFile(0, QFile::encodeName(file).constData());
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    peakHeap = heap::peak() - before;
    if (rc != 0) {
        std::fprintf(stderr, "AcquireToFile gab %d zurück\n", rc);
        std::exit(1);
    }
    return seconds;
}

double scanimageSeconds(const QString &file, int dpi)
{
    QProcess process;
    QElapsedTimer clock;
    clock.start();
    process.start(QStringLiteral("scanimage"),
                  {QStringLiteral("-d"), QStringLiteral("test:0"), QStringLiteral("--mode=Color"), QStringLiteral("--depth=8"),
                   QStringLiteral("--resolution=%1").arg(dpi), QStringLiteral("--test-picture=Color pattern"),
                   QStringLiteral("-l"), QStringLiteral("0"), QStringLiteral("-t"), QStringLiteral("0"), QStringLiteral("-x"),
                   QStringLiteral("210"), QStringLiteral("-y"), QStringLiteral("297"), QStringLiteral("--format=pnm"),
                   QStringLiteral("-o"), file});
    if (!process.waitForFinished(600000) || process.exitCode() != 0) {
        std::fprintf(stderr, "scanimage: %s\n", process.readAllStandardError().constData());
        std::exit(1);
    }
    return double(clock.nsecsElapsed()) / 1e9;
}

// A SANE configuration with only the test scanner, set up as conf says, in dir/name.
QString makeSaneConfig(const QTemporaryDir &dir, const QByteArray &settings = testConf,
                       const QString &name = QStringLiteral("sane"))
{
    QFile conf(dir.filePath(name + QStringLiteral(".conf")));
    conf.open(QIODevice::WriteOnly);
    conf.write(settings);
    conf.close();
    QProcess script;
    script.start(QStringLiteral("bash"),
                 {QStringLiteral(VISTORAMO_SOURCE_DIR "/scripts/sane-config.sh"), dir.filePath(name), conf.fileName()});
    script.waitForFinished(60000);
    const QString config = QString::fromLocal8Bit(script.readAllStandardOutput().trimmed());
    // Only the test scanner: the machine's network backends would time their own search.
    QFile dll(config + QStringLiteral("/dll.conf"));
    dll.open(QIODevice::WriteOnly | QIODevice::Truncate);
    dll.write("test\n");
    QDir(config).remove(QStringLiteral("dll.d/airscan"));
    return config;
}

// The scanner helper's start, paid once per run of the program: until it greets, and until
// it has listed the devices (SANE started), against scanimage -L doing the latter.
void helperStart(int runs)
{
    const QString helper = QCoreApplication::applicationDirPath() + QStringLiteral("/vistoramo-scanner");
    bench::Sample hello, listed, reference;
    for (int i = 0; i < runs; ++i) {
        QProcess process;
        QElapsedTimer clock;
        clock.start();
        process.start(helper, {QString::number(QCoreApplication::applicationPid())});
        process.write(QByteArray("\x01\x00\x00\x00\x01", 5)); // a request for the devices
        QByteArray answers;
        while (answers.size() < 13 && process.waitForReadyRead(10000)) // the greeting is 13 bytes
            answers += process.readAllStandardOutput();
        hello.add(double(clock.nsecsElapsed()) / 1e6);
        while (answers.size() < 26 && process.waitForReadyRead(10000)) // an empty list is 13 more
            answers += process.readAllStandardOutput();
        listed.add(double(clock.nsecsElapsed()) / 1e6);
        process.closeWriteChannel();
        process.waitForFinished(5000);
        if (answers.size() < 26) {
            std::fprintf(stderr, "Der Scanner-Helfer antwortet nicht: %s\n", qPrintable(helper));
            std::exit(1);
        }
        clock.restart();
        QProcess scanimage;
        scanimage.start(QStringLiteral("scanimage"), {QStringLiteral("-L")});
        scanimage.waitForFinished(60000);
        reference.add(double(clock.nsecsElapsed()) / 1e6);
    }
    bench::printAlone("helper start until it greets", hello);
    bench::Figure{"helper start until it has listed the devices vs scanimage -L", listed, reference}.print();
}

// The library's client, used as the acquisition dialog uses it; each call waits for its
// answer.
class Direct {
public:
    Direct()
    {
        bool answered = false;
        scanlib::Client::instance().openDevice(
            &owner_, [&](QString, scanlib::OptionList options, QString error, bool) { take(options, error, answered); });
        wait(answered);
    }
    const scanlib::OptionInfo &option(const char *name) const
    {
        for (const scanlib::OptionInfo &o : options_)
            if (o.name == name)
                return o;
        fail(QStringLiteral("Der Testscanner hat keine Einstellung „%1“.").arg(QString::fromLatin1(name)));
    }
    void set(const char *name, const QVariant &value)
    {
        bool answered = false;
        scanlib::Client::instance().setOption(
            &owner_, option(name).index, value,
            [&](scanlib::OptionList options, QString error, bool) { take(options, error, answered); });
        wait(answered);
    }
    // The device's options as an answer gives them; an error ends the benchmark.
    void take(scanlib::OptionList &options, const QString &error, bool &answered)
    {
        if (!error.isEmpty())
            fail(error);
        options_ = std::move(options);
        answered = true;
        loop_.quit();
    }
    // One scan from the call until its outcome, with bands every sample-th row and column.
    double scanMs(const QString &file, int sample)
    {
        bool answered = false;
        const double t0 = bench::nowMs();
        scanlib::Client::instance().scan(
            &owner_, file, scanlib::ScanView{sample, [this](const scanlib::Band &b) { bandBytes_ += b.rgb.size(); }},
            [](double) {}, [](QString) {},
            [&](scanlib::ScanResult result, QString error) {
                if (result != scanlib::ScanResult::Done)
                    fail(error);
                answered = true;
                loop_.quit();
            });
        wait(answered);
        return bench::nowMs() - t0;
    }
    // One preview from the call until the picture is there.
    double previewMs(const std::vector<scanlib::wire::OptionValue> &overrides, QSize &size)
    {
        bool answered = false;
        const double t0 = bench::nowMs();
        scanlib::Client::instance().preview(
            &owner_, overrides, {}, [](double) {}, [](QString) {},
            [&](scanlib::ScanResult result, QString error, QImage picture) {
                if (result != scanlib::ScanResult::Done)
                    fail(error);
                size = picture.size();
                answered = true;
                loop_.quit();
            });
        wait(answered);
        return bench::nowMs() - t0;
    }
    qint64 bandBytes() const { return bandBytes_; }

private:
    [[noreturn]] static void fail(const QString &why)
    {
        std::fprintf(stderr, "%s\n", qPrintable(why));
        std::exit(1);
    }
    void wait(const bool &answered)
    {
        if (!answered)
            loop_.exec();
    }

    QObject owner_;
    QEventLoop loop_;
    scanlib::OptionList options_;
    qint64 bandBytes_ = 0;
};

// A4 colour at 300 and 600 dpi with the bands a 450-pixel-high pane asks for, against the same
// scan without bands, alternating.
void liveViewCost(Direct &client, const QString &file, int runs)
{
    for (int dpi : {300, 600}) {
        client.set("resolution", double(dpi));
        const int lines = int(297.0 / 25.4 * dpi);
        const int sample = (lines + 449) / 450;
        bench::Sample with, without;
        for (int i = 0; i < runs; ++i) {
            without.add(client.scanMs(file, 0));
            with.add(client.scanMs(file, sample));
        }
        bench::Figure{"live view cost " + std::to_string(dpi) + " dpi (every " + std::to_string(sample) + ". row) vs none", with,
                      without, 1.05}
            .print();
    }
    std::printf("bands sent in all: %.1f MB\n", double(client.bandBytes()) / 1e6);
}

// SANE's own time for the preview's page, from bench_sane_floor with a configuration of the
// same settings; the first run warms up and is left out.
bench::Sample saneFloor(const QString &config, const QString &file, int runs)
{
    QProcess floor;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("SANE_CONFIG_DIR"), config);
    floor.setProcessEnvironment(env);
    floor.start(QCoreApplication::applicationDirPath() + QStringLiteral("/bench_sane_floor"), {file});
    floor.write(QByteArray(runs + 1, '\n'));
    floor.closeWriteChannel();
    if (!floor.waitForFinished(600000) || floor.exitCode() != 0) {
        std::fprintf(stderr, "bench_sane_floor: %s\n", floor.readAllStandardError().constData());
        std::exit(1);
    }
    bench::Sample sane;
    std::istringstream lines(floor.readAllStandardOutput().toStdString());
    double ms = 0, fileMs = 0, readMs = 0;
    long long bytes = 0;
    for (int i = 0; lines >> ms >> fileMs >> readMs >> bytes; ++i)
        if (i > 0)
            sane.add(ms);
    return sane;
}

// The whole A4 page in colour at the pane's resolution (about 45 dpi, as the device allows).
void previewCost(Direct &client, const QTemporaryDir &dir, int runs)
{
    using scanlib::wire::OptionValue;
    const auto number = [&](const char *name, double v) {
        return OptionValue{client.option(name).index, OptionValue::Kind::Number, v, {}};
    };
    const double dpi = scanlib::snapToConstraint(client.option("resolution"), 45);
    const std::vector<OptionValue> overrides{{client.option("mode").index, OptionValue::Kind::Text, 0, "Color"},
                                             number("resolution", dpi),
                                             number("tl-x", 0),
                                             number("tl-y", 0),
                                             number("br-x", 210),
                                             number("br-y", 297)};
    QSize size;
    client.previewMs(overrides, size); // warms up
    bench::Sample ours;
    for (int i = 0; i < runs; ++i)
        ours.add(client.previewMs(overrides, size));
    QByteArray conf = testConf;
    conf.replace("resolution 300.0", "resolution " + QByteArray::number(dpi, 'f', 1));
    const QString config = makeSaneConfig(dir, conf, QStringLiteral("sane-preview"));
    const bench::Sample floor = saneFloor(config, dir.filePath(QStringLiteral("floor.bmp")), runs);
    bench::Figure{"preview A4 at " + std::to_string(int(dpi)) + " dpi (" + std::to_string(size.width()) + "x"
                      + std::to_string(size.height()) + ") vs the SANE floor",
                  ours, floor, 1.3}
        .print();
}

// Through the dialog at 300 and 600 dpi: with the pane, with the pane hidden, and scanimage.
void throughTheDialog(const QString &ours, const QString &reference, const QTemporaryDir &dir, int runs)
{
    std::size_t unused = 0;
    const double first = acquireSeconds(ours, 75, unused); // starts the helper and opens the device once
    const double second = acquireSeconds(ours, 75, unused);
    std::printf("first acquisition at 75 dpi (helper start included) %.1f ms, the next %.1f ms\n", first * 1e3, second * 1e3);

    for (int dpi : {300, 600}) {
        bench::Sample mine, theirs, heapMb, rawMb, paneless;
        for (int i = 0; i < runs; ++i) {
            std::size_t peak = 0, unusedPeak = 0;
            mine.add(acquireSeconds(ours, dpi, peak) * 1e3);
            paneless.add(acquireSeconds(ours, dpi, unusedPeak, true) * 1e3);
            theirs.add(scanimageSeconds(reference, dpi) * 1e3);
            const QSize size = QImageReader(ours, "bmp").size();
            heapMb.add(double(peak) / 1e6);
            rawMb.add(double(size.width()) * std::abs(size.height()) * 3 / 1e6); // top-down: reported negative
        }
        const std::string page = "library alone " + std::to_string(dpi) + " dpi";
        bench::Figure{page + " vs scanimage", mine, theirs, 1.3}.print();
        bench::Figure{page + ", peak heap vs raw image", heapMb, rawMb, 0, bench::Statistic::Median, "MB"}.print();
        bench::Figure{"the page shown as it arrives, " + std::to_string(dpi) + " dpi, vs the pane hidden", mine, paneless, 1.05}
            .print();
    }

    // A preview from pressing "Vorschau" until it is painted, at the resolution the dialog's
    // pane asks for, against SANE delivering a page of those settings.
    PreviewDriver preview(runs);
    AcquireToFile(0, QFile::encodeName(ours).constData());
    QByteArray conf = testConf;
    conf.replace("resolution 300.0", "resolution " + QByteArray::number(preview.dpi, 'f', 1));
    const bench::Sample floor
        = saneFloor(makeSaneConfig(dir, conf, QStringLiteral("sane-dialog")), dir.filePath(QStringLiteral("floor.bmp")), runs);
    bench::Figure{"preview A4 at " + std::to_string(int(preview.dpi))
                      + " dpi through the dialog, pressed to painted, vs the SANE floor",
                  preview.painted, floor, 1.3}
        .print();
}

} // namespace

// Usage: acquire_bench [runs] [start|dialog|client]   (all three parts without the second)
int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    qputenv("SANE_CONFIG_DIR", QFile::encodeName(makeSaneConfig(dir)));
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
    const std::string part = argc > 2 ? argv[2] : "";
    const QString ours = dir.filePath(QStringLiteral("ours.bmp"));
    const QString reference = dir.filePath(QStringLiteral("reference.pnm"));

    if (part.empty() || part == "start")
        helperStart(runs);
    if (part.empty() || part == "dialog")
        throughTheDialog(ours, reference, dir, runs);
    if (part.empty() || part == "client") {
        Direct client;
        liveViewCost(client, ours, runs);
        previewCost(client, dir, runs);
    }
    return 0;
}
