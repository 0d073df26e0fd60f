// Acquires an A4 colour page from SANE's test scanner through AcquireToFile (the dialog
// driven programmatically) and with scanimage, at 300 and 600 dpi, in one run. Prints the
// medians with their ranges, their ratio and the heap the library needed against the raw
// image size.

#include "BenchSupport.h"
#include "MallocCounter.h"

#include "scanlib/api/VistoramoScan.h"

#include <QApplication>
#include <QDir>
#include <QDoubleSpinBox>
#include <QElapsedTimer>
#include <QFile>
#include <QImageReader>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
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
// the resolution when it differs.
class Driver : public QObject {
public:
    explicit Driver(int dpi) : dpi_(dpi)
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
            auto *spin = dialog ? dialog->findChild<QDoubleSpinBox *>(QStringLiteral("resolution")) : nullptr;
            std::fprintf(stderr, "Der Dialog wurde nicht bereit: %s (Scannen %s, Auflösung %d)\n",
                         message ? qPrintable(message->text()) : "(kein Dialog)",
                         button && button->isEnabled() ? "bereit" : "gesperrt", spin ? int(spin->value()) : -1);
            std::exit(1);
        }
        if (!waited_.isValid())
            waited_.start();
        auto *scan = dialog ? dialog->findChild<QPushButton *>(QStringLiteral("scan")) : nullptr;
        auto *resolution = dialog ? dialog->findChild<QDoubleSpinBox *>(QStringLiteral("resolution")) : nullptr;
        if (!scan || !scan->isEnabled() || !resolution)
            return;
        if (resolution->value() != dpi_) {
            resolution->setValue(dpi_);
            return; // the form is rebuilt with the new value
        }
        timer_.stop();
        scan->click();
    }

    int dpi_;
    QTimer timer_;
    QElapsedTimer waited_;
};

double acquireSeconds(const QString &file, int dpi, std::size_t &peakHeap)
{
    Driver driver(dpi);
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

QString makeSaneConfig(const QTemporaryDir &dir)
{
    QFile conf(dir.filePath(QStringLiteral("test.conf")));
    conf.open(QIODevice::WriteOnly);
    conf.write(testConf);
    conf.close();
    QProcess script;
    script.start(
        QStringLiteral("bash"),
        {QStringLiteral(VISTORAMO_SOURCE_DIR "/scripts/sane-config.sh"), dir.filePath(QStringLiteral("sane")), conf.fileName()});
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

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    qputenv("SANE_CONFIG_DIR", QFile::encodeName(makeSaneConfig(dir)));
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
    const QString ours = dir.filePath(QStringLiteral("ours.bmp"));
    const QString reference = dir.filePath(QStringLiteral("reference.pnm"));

    helperStart(runs);
    std::size_t unused = 0;
    const double first = acquireSeconds(ours, 75, unused); // starts the helper and opens the device once
    const double second = acquireSeconds(ours, 75, unused);
    std::printf("first acquisition at 75 dpi (helper start included) %.1f ms, the next %.1f ms\n", first * 1e3, second * 1e3);

    for (int dpi : {300, 600}) {
        bench::Sample mine, theirs, heapMb, rawMb;
        for (int i = 0; i < runs; ++i) {
            std::size_t peak = 0;
            mine.add(acquireSeconds(ours, dpi, peak) * 1e3);
            theirs.add(scanimageSeconds(reference, dpi) * 1e3);
            const QSize size = QImageReader(ours, "bmp").size();
            heapMb.add(double(peak) / 1e6);
            rawMb.add(double(size.width()) * std::abs(size.height()) * 3 / 1e6); // top-down: reported negative
        }
        const std::string page = "library alone " + std::to_string(dpi) + " dpi";
        bench::Figure{page + " vs scanimage", mine, theirs, 1.3}.print();
        bench::Figure{page + ", peak heap vs raw image", heapMb, rawMb, 0, bench::Statistic::Median, "MB"}.print();
    }
    return 0;
}
