#include "ScanTestSupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <unistd.h>

void useSaneConfig(Backends backends)
{
    static QTemporaryDir dir;
    const QString configDir = dir.filePath(QStringLiteral("sane"));
    QProcess script;
    script.start(QStringLiteral("bash"),
                 {QStringLiteral(VISTORAMO_SOURCE_DIR "/scripts/sane-config.sh"), configDir,
                  QStringLiteral(VISTORAMO_SOURCE_DIR "/tests/scanlib/test.conf")});
    ASSERT_TRUE(script.waitForFinished(30000));
    ASSERT_EQ(script.exitCode(), 0) << script.readAllStandardError().toStdString();
    const QByteArray printed = script.readAllStandardOutput().trimmed();
    ASSERT_EQ(QDir(QString::fromLocal8Bit(printed)).canonicalPath(), QDir(configDir).canonicalPath());
    // The machine's network backends take seconds to search; most tests need only "test".
    if (backends != Backends::Machine) {
        QFile dll(configDir + QStringLiteral("/dll.conf"));
        ASSERT_TRUE(dll.open(QIODevice::WriteOnly | QIODevice::Truncate));
        dll.write(backends == Backends::TestOnly ? "test\n" : "");
        QDir(configDir).remove(QStringLiteral("dll.d/airscan"));
    }
    qputenv("SANE_CONFIG_DIR", printed);
    // Remembered settings go to a home of the tests' own, never to the user's.
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.filePath(QStringLiteral("config"))));
}

bool waitFor(const std::function<bool()> &done, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QEventLoop loop;
        QTimer::singleShot(5, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

OwnerWindow::OwnerWindow()
{
    window_.setWindowTitle(QStringLiteral("Vistoramo"));
    window_.resize(400, 300);
    window_.show();
}

std::uintptr_t OwnerWindow::id() const
{
    return static_cast<std::uintptr_t>(window_.winId());
}

std::int16_t withDialog(const std::function<std::int16_t()> &call, const std::function<void(QDialog &)> &script)
{
    bool ran = false;
    QTimer poll;
    poll.setInterval(5);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        if (!dialog || ran)
            return;
        ran = true;
        poll.stop();
        script(*dialog);
        if (dialog->isVisible()) { // the script failed half-way: stop any scan, then close
            if (auto *cancel = dialog->findChild<QPushButton *>(QStringLiteral("cancel")))
                cancel->click();
            waitFor([dialog] {
                auto *scan = dialog->findChild<QPushButton *>(QStringLiteral("scan"));
                return !scan || scan->isEnabled();
            });
            dialog->done(QDialog::Rejected);
        }
    });
    poll.start();
    const std::int16_t result = call();
    EXPECT_TRUE(ran) << "no modal dialog appeared";
    return result;
}

void withSourceDialog(const OwnerWindow &owner, const std::function<void(QDialog &)> &script)
{
    withDialog(
        [&] {
            ChooseSource(owner.id());
            return std::int16_t(0);
        },
        script);
}

void withSourceList(const OwnerWindow &owner, int count, const std::function<void(QDialog &, QTreeWidget &)> &step)
{
    withSourceDialog(owner, [&](QDialog &d) {
        auto *list = d.findChild<QTreeWidget *>(QStringLiteral("devices"));
        ASSERT_TRUE(waitFor([&] { return list->topLevelItemCount() >= count; }));
        step(d, *list);
    });
}

bool waitForOptions(QDialog &dialog)
{
    const bool ready = waitFor([&] {
        auto *scan = dialog.findChild<QPushButton *>(QStringLiteral("scan"));
        return scan && scan->isEnabled() && dialog.findChild<QWidget *>(QStringLiteral("mode"));
    });
    EXPECT_TRUE(ready) << "options never appeared: " << shownMessage(dialog).toStdString();
    return ready;
}

static bool setWidget(QWidget *w, const std::string &value)
{
    const QString v = QString::fromStdString(value);
    if (auto *combo = qobject_cast<QComboBox *>(w)) {
        for (int i = 0; i < combo->count(); ++i) {
            const QVariant data = combo->itemData(i);
            const bool match
                = data.typeId() == QMetaType::QByteArray ? data.toByteArray() == v.toUtf8() : data.toDouble() == v.toDouble();
            if (match) {
                combo->setCurrentIndex(i);
                emit combo->activated(i);
                return true;
            }
        }
        if (!combo->isEditable())
            return false;
        combo->setEditText(v); // typed, as into the resolution field
        emit combo->lineEdit()->editingFinished();
        return true;
    }
    if (auto *box = qobject_cast<QCheckBox *>(w)) {
        const bool on = v == QStringLiteral("yes");
        if (box->isChecked() == on)
            emit box->toggled(on);
        box->setChecked(on);
        return true;
    }
    if (auto *spin = qobject_cast<QSpinBox *>(w)) {
        if (spin->value() == v.toInt())
            emit spin->valueChanged(spin->value());
        spin->setValue(v.toInt());
        return true;
    }
    if (auto *spin = qobject_cast<QDoubleSpinBox *>(w)) {
        if (spin->value() == v.toDouble())
            emit spin->valueChanged(spin->value());
        spin->setValue(v.toDouble());
        return true;
    }
    return false;
}

const Settings &baseline()
{
    static const Settings settings{{"mode", "Color"},
                                   {"three-pass", "no"},
                                   {"mode", "Gray"},
                                   {"depth", "8"},
                                   {"hand-scanner", "no"},
                                   {"resolution", "50"},
                                   {"source", "Flatbed"},
                                   {"test-picture", "Solid black"},
                                   {"read-limit", "no"},
                                   {"read-delay", "no"},
                                   {"read-return-value", "Default"},
                                   {"ppl-loss", "0"},
                                   {"fuzzy-parameters", "no"},
                                   {"enable-test-options", "no"},
                                   {"tl-x", "0"},
                                   {"tl-y", "0"},
                                   {"br-x", "80"},
                                   {"br-y", "100"}};
    return settings;
}

bool applySettings(QDialog &dialog, const Settings &settings, bool lenient)
{
    for (const auto &[name, value] : settings) {
        QWidget *w = dialog.findChild<QWidget *>(QString::fromStdString(name));
        if (lenient && (!w || !w->isEnabled()))
            continue;
        if (!w || !w->isEnabled()) {
            ADD_FAILURE() << "option " << name << (w ? " is disabled" : " is missing");
            return false;
        }
        // Each change comes back as options shown again.
        QSignalSpy shown(dialog.findChild<QWidget *>(QStringLiteral("optionForm")), SIGNAL(shown()));
        if (!setWidget(w, value)) {
            ADD_FAILURE() << "option " << name << " does not take " << value;
            return false;
        }
        if (!waitFor([&] { return shown.count() > 0; })) {
            ADD_FAILURE() << "option " << name << " was never confirmed";
            return false;
        }
    }
    return true;
}

QString shownMessage(const QDialog &dialog)
{
    auto *message = dialog.findChild<QLabel *>(QStringLiteral("message"));
    return message && !message->isHidden() ? message->text() : QString();
}

void pressButton(QDialog &dialog, const char *name)
{
    auto *button = dialog.findChild<QAbstractButton *>(QString::fromLatin1(name));
    ASSERT_NE(button, nullptr) << name;
    button->click();
}

QString pressScan(QDialog &dialog)
{
    auto *scan = dialog.findChild<QPushButton *>(QStringLiteral("scan"));
    if (!scan || !scan->isEnabled())
        return QStringLiteral("(Scannen nicht bereit)");
    scan->click();
    const bool over = waitFor([&] { return !dialog.isVisible() || scan->isEnabled(); }, 120000);
    if (!over)
        return QStringLiteral("(Scan endet nicht)");
    return dialog.isVisible() ? shownMessage(dialog) : QString();
}

bool scanimage(const Settings &settings, const QString &pnmPath, const QString &device)
{
    QStringList args{QStringLiteral("-d"), device, QStringLiteral("--format=pnm"), QStringLiteral("-o"), pnmPath};
    // scanimage gives the scan area as offset and size.
    double area[4] = {-1, -1, -1, -1};
    const char *const corners[4] = {"tl-x", "tl-y", "br-x", "br-y"};
    for (const auto &[name, value] : settings) {
        const auto corner = std::find(std::begin(corners), std::end(corners), name);
        if (corner != std::end(corners))
            area[corner - std::begin(corners)] = std::stod(value);
        else
            args << QStringLiteral("--%1=%2").arg(QString::fromStdString(name), QString::fromStdString(value));
    }
    const char *const flags[4] = {"-l", "-t", "-x", "-y"};
    for (int i = 0; i < 4; ++i)
        if (area[i] >= 0)
            args << QString::fromLatin1(flags[i]) << QString::number(i < 2 ? area[i] : area[i] - std::max(0.0, area[i - 2]));
    QProcess process;
    process.start(QStringLiteral("scanimage"), args);
    const bool finished = process.waitForFinished(120000);
    if (!finished) {
        process.kill();
        process.waitForFinished();
    }
    EXPECT_TRUE(finished && process.exitCode() == 0)
        << "scanimage " << args.join(QLatin1Char(' ')).toStdString() << ": " << process.readAllStandardError().toStdString();
    return finished && process.exitCode() == 0;
}

namespace {

struct Pnm {
    char kind = 0; // '4' bitmap, '5' grey, '6' colour
    int width = 0, height = 0, maxval = 1;
    QByteArray data;
    qsizetype stride = 0; // bytes of a row as written, padding included
};

bool readPnm(const QString &path, Pnm &pnm, std::string &why)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        why = "cannot read " + path.toStdString();
        return false;
    }
    const QByteArray bytes = file.readAll();
    qsizetype at = 2;
    std::vector<int> numbers;
    const int wanted = bytes.startsWith("P4") ? 2 : 3;
    while (int(numbers.size()) < wanted && at < bytes.size()) {
        const char c = bytes[at];
        if (c == '#') {
            at = bytes.indexOf('\n', at);
            if (at < 0)
                break;
        } else if (c >= '0' && c <= '9') {
            int n = 0;
            while (at < bytes.size() && bytes[at] >= '0' && bytes[at] <= '9')
                n = n * 10 + (bytes[at++] - '0');
            numbers.push_back(n);
            continue;
        }
        ++at;
    }
    if (bytes.size() < 2 || bytes[0] != 'P' || int(numbers.size()) < wanted) {
        why = "not a PNM file";
        return false;
    }
    pnm.kind = bytes[1];
    pnm.width = numbers[0];
    pnm.height = numbers[1];
    pnm.maxval = wanted == 3 ? numbers[2] : 1;
    pnm.data = bytes.mid(at + 1);
    // scanimage writes the device's lines as they come, padding included.
    pnm.stride = pnm.height > 0 ? pnm.data.size() / pnm.height : 0;
    return true;
}

// Sample c of pixel x in a PNM row, as 8 bits.
int pnmSample(const Pnm &pnm, const unsigned char *row, int x, int c)
{
    if (pnm.kind == '4')
        return (row[x / 8] >> (7 - x % 8)) & 1 ? 0 : 255;
    const int channels = pnm.kind == '6' ? 3 : 1;
    const int index = x * channels + (channels == 3 ? c : 0);
    return pnm.maxval > 255 ? row[2 * index] : row[index]; // 16 bit: big-endian, high byte first
}

} // namespace

std::string compareWithPnm(const QString &bmpPath, const QString &pnmPath)
{
    QImageReader reader(bmpPath, "bmp");
    const QImage image = reader.read();
    if (image.isNull())
        return "our BMP does not load: " + reader.errorString().toStdString();
    return compareWithPnm(image, pnmPath);
}

std::string compareWithPnm(const QImage &image, const QString &pnmPath)
{
    Pnm pnm;
    std::string why;
    if (!readPnm(pnmPath, pnm, why))
        return why;
    if (image.isNull())
        return "no picture";
    std::ostringstream out;
    if (image.width() != pnm.width || image.height() != pnm.height) {
        out << "size " << image.width() << "x" << image.height() << ", scanimage " << pnm.width << "x" << pnm.height;
        return out.str();
    }
    for (int y = 0; y < pnm.height; ++y) {
        const auto *row = reinterpret_cast<const unsigned char *>(pnm.data.constData() + y * pnm.stride);
        for (int x = 0; x < pnm.width; ++x) {
            const QRgb px = image.pixel(x, y);
            const int ours[3] = {qRed(px), qGreen(px), qBlue(px)};
            for (int c = 0; c < 3; ++c)
                if (ours[c] != pnmSample(pnm, row, x, c)) {
                    out << "pixel " << x << "," << y << " channel " << c << ": ours " << ours[c] << ", scanimage "
                        << pnmSample(pnm, row, x, c);
                    return out.str();
                }
        }
    }
    return {};
}

QStringList strayFiles(const QString &dir, const QStringList &expected)
{
    QStringList found = QDir(dir).entryList(QDir::Files | QDir::Hidden);
    for (const QString &name : expected)
        found.removeAll(name);
    return found;
}

int helperProcess()
{
    // /proc/PID/stat: "pid (comm) state ppid ..."; the name is cut to 15 characters.
    for (const QString &entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
        if (entry.toInt() <= 0 || !stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray line = stat.readAll();
        const qsizetype close = line.lastIndexOf(')');
        const QList<QByteArray> rest = line.mid(close + 2).split(' ');
        if (line.contains("(vistoramo-scann)") && rest.size() > 1 && rest[0] != "Z" && rest[1].toInt() == ::getpid())
            return entry.toInt();
    }
    return 0;
}

FreshDialogTest::FreshDialogTest()
{
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home_.path()));
}

std::int16_t FreshDialogTest::acquire(const QString &file, const std::function<void(QDialog &)> &script)
{
    return withDialog([&] { return AcquireToFile(owner_.id(), QFile::encodeName(file).constData()); }, script);
}

QString FreshDialogTest::path(const char *name) const
{
    return dir_.filePath(QString::fromLatin1(name));
}
