// Acquiring through the library's dialogs from SANE's virtual test scanner, with scanimage
// as the reference for every kind of image.

#include "ScanTestSupport.h"
#include "base/Errors.h"
#include "runtime/PictureLoader.h"

#include <QApplication>
#include <QBuffer>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileInfo>
#include <QFormLayout>
#include <QLabel>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QSet>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>
#include <QtEndian>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct TestScanners : testing::Environment {
    void SetUp() override { useSaneConfig(Backends::TestOnly); }
};
const auto *const environment = testing::AddGlobalTestEnvironment(new TestScanners);

class Acquire : public testing::Test {
protected:
    // KEEPDIR=1 keeps each test's files for a look at a failing comparison.
    Acquire() { dir_.setAutoRemove(qEnvironmentVariableIsEmpty("KEEPDIR")); }
    QString path(const char *name) const { return dir_.filePath(QString::fromLatin1(name)); }
    std::int16_t acquire(const QString &file, const std::function<void(QDialog &)> &script)
    {
        return withDialog([&] { return AcquireToFile(owner_.id(), QFile::encodeName(file).constData()); }, script);
    }
    // Sets settings, scans into file and returns the dialog's message ("" on success).
    // Starts from the baseline unless keep says to use what the last dialog left.
    QString scanWith(const Settings &settings, const QString &file, std::int16_t *result = nullptr, bool keep = false)
    {
        QString message = QStringLiteral("(kein Dialog)");
        const std::int16_t rc = acquire(file, [&](QDialog &d) {
            if (waitForOptions(d) && (keep || applySettings(d, baseline(), true)) && applySettings(d, settings))
                message = pressScan(d);
        });
        if (result)
            *result = rc;
        return message;
    }

    QTemporaryDir dir_;
    OwnerWindow owner_;
};

// The picture as the reader makes it, from the file's bytes.
QImage readWithReader(const QString &file)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QBuffer bytes;
    bytes.setData(f.readAll());
    bytes.open(QIODevice::ReadOnly);
    return rt::loadPicture(bytes, file).image();
}

std::uint16_t bmpBits(const QString &file)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray head = f.read(30);
    return head.size() == 30 ? qFromLittleEndian<std::uint16_t>(head.constData() + 28) : 0;
}

struct KindCase {
    const char *name;
    Settings settings;
    std::uint16_t bits; // of the BMP we write
};

void PrintTo(const KindCase &k, std::ostream *out)
{
    *out << k.name;
}

class ImageKinds : public Acquire, public testing::WithParamInterface<KindCase> { };

TEST_P(ImageKinds, EqualScanimagePixelForPixel)
{
    const KindCase &k = GetParam();
    const QString ours = path("scan.bmp"), reference = path("reference.pnm");
    std::int16_t result = -1;
    const QString message = scanWith(k.settings, ours, &result);
    ASSERT_EQ(result, 0) << message.toStdString();
    EXPECT_EQ(bmpBits(ours), k.bits);
    ASSERT_TRUE(scanimage(k.settings, reference));
    EXPECT_EQ(compareWithPnm(ours, reference), "");
    EXPECT_EQ(strayFiles(dir_.path(), {QStringLiteral("scan.bmp"), QStringLiteral("reference.pnm")}), QStringList());

    // The program shows what the reader makes of the file's bytes, and keeps it when the file
    // is deleted.
    const QImage read = readWithReader(ours);
    const rt::Picture shown = rt::loadPicture(ours);
    QFile::remove(ours);
    EXPECT_EQ(shown.image().format(), read.format());
    EXPECT_TRUE(shown.image() == read);
    EXPECT_EQ(shown.dotsPerMeter(), QSize(read.dotsPerMeterX(), read.dotsPerMeterY()));
}

const std::string pattern = "Color pattern";

INSTANTIATE_TEST_SUITE_P(
    TestBackend, ImageKinds,
    testing::Values(
        KindCase{"Grey8", {{"mode", "Gray"}, {"depth", "8"}, {"test-picture", pattern}}, 8},
        KindCase{"Grey16", {{"mode", "Gray"}, {"depth", "16"}, {"test-picture", pattern}}, 8},
        KindCase{"Lineart", {{"mode", "Gray"}, {"depth", "1"}, {"test-picture", "Grid"}}, 1},
        KindCase{"LineartPattern", {{"mode", "Gray"}, {"depth", "1"}, {"test-picture", pattern}}, 1},
        KindCase{"Colour8", {{"mode", "Color"}, {"depth", "8"}, {"test-picture", pattern}}, 24},
        KindCase{"Colour16", {{"mode", "Color"}, {"depth", "16"}, {"test-picture", pattern}}, 24},
        KindCase{"ThreePassGbr",
                 {{"mode", "Color"}, {"three-pass", "yes"}, {"three-pass-order", "GBR"}, {"test-picture", pattern}},
                 24},
        KindCase{"ThreePassBrgGrid",
                 {{"mode", "Color"}, {"three-pass", "yes"}, {"three-pass-order", "BRG"}, {"test-picture", "Grid"}},
                 24},
        KindCase{"HandScannerGrey", {{"hand-scanner", "yes"}, {"test-picture", "Grid"}}, 8},
        KindCase{"HandScannerColour", {{"mode", "Color"}, {"hand-scanner", "yes"}, {"test-picture", pattern}}, 24},
        KindCase{"PaddedLines", {{"mode", "Color"}, {"ppl-loss", "7"}, {"test-picture", pattern}}, 24},
        KindCase{"OneBytePerRead",
                 {{"resolution", "25"}, {"read-limit", "yes"}, {"read-limit-size", "1"}, {"test-picture", pattern}},
                 8},
        KindCase{
            "OddReadSize", {{"mode", "Color"}, {"read-limit", "yes"}, {"read-limit-size", "333"}, {"test-picture", pattern}}, 24},
        KindCase{"ReadDelay", {{"read-delay", "yes"}, {"read-delay-duration", "1000"}, {"test-picture", "Solid white"}}, 8},
        KindCase{"FuzzyParameters", {{"mode", "Color"}, {"fuzzy-parameters", "yes"}, {"test-picture", pattern}}, 24},
        KindCase{"ScanArea", {{"tl-x", "13"}, {"tl-y", "7"}, {"br-x", "61"}, {"br-y", "45"}, {"test-picture", "Grid"}}, 8}),
    [](const testing::TestParamInfo<KindCase> &param) { return std::string(param.param.name); });

struct FaultCase {
    const char *status;
    const char *words; // what the German message must say
};

void PrintTo(const FaultCase &f, std::ostream *out)
{
    *out << f.status;
}

class ReadFaults : public Acquire, public testing::WithParamInterface<FaultCase> { };

TEST_P(ReadFaults, ShowPlainGermanLeaveNoFileAndAllowAnotherTry)
{
    const FaultCase &f = GetParam();
    const QString file = path("scan.bmp");
    QString failure, retry = QStringLiteral("(kein zweiter Versuch)");
    bool stayedOpen = false;
    QStringList leftAfterFailure;
    const std::int16_t result = acquire(file, [&](QDialog &d) {
        if (!waitForOptions(d) || !applySettings(d, baseline(), true) || !applySettings(d, {{"read-return-value", f.status}}))
            return;
        failure = pressScan(d);
        stayedOpen = d.isVisible();
        leftAfterFailure = strayFiles(dir_.path());
        if (applySettings(d, {{"read-return-value", "Default"}}))
            retry = pressScan(d);
    });
    EXPECT_TRUE(failure.contains(QString::fromUtf8(f.words))) << failure.toStdString();
    EXPECT_TRUE(stayedOpen);
    EXPECT_EQ(leftAfterFailure, QStringList());
    EXPECT_EQ(retry, QString());
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(QFile::exists(file));
}

INSTANTIATE_TEST_SUITE_P(
    TestBackend, ReadFaults,
    testing::Values(FaultCase{"SANE_STATUS_UNSUPPORTED", "unterstützt"}, FaultCase{"SANE_STATUS_CANCELLED", "abgebrochen"},
                    FaultCase{"SANE_STATUS_DEVICE_BUSY", "belegt"}, FaultCase{"SANE_STATUS_INVAL", "ungültig"},
                    FaultCase{"SANE_STATUS_EOF", "keine Bilddaten"}, FaultCase{"SANE_STATUS_JAMMED", "gestaut"},
                    FaultCase{"SANE_STATUS_NO_DOCS", "kein Blatt"}, FaultCase{"SANE_STATUS_COVER_OPEN", "Abdeckung"},
                    FaultCase{"SANE_STATUS_IO_ERROR", "Verbindung"}, FaultCase{"SANE_STATUS_NO_MEM", "Speicher"},
                    FaultCase{"SANE_STATUS_ACCESS_DENIED", "Zugriff"}),
    [](const testing::TestParamInfo<FaultCase> &param) { return std::string(param.param.status + 12); });

TEST_F(Acquire, CancelInTheMiddleStopsTheScanAndLeavesNoFile)
{
    const QString file = path("scan.bmp");
    QString message;
    bool progressShown = false, stoppedEarly = false;
    const std::int16_t result = acquire(file, [&](QDialog &d) {
        if (!waitForOptions(d) || !applySettings(d, baseline(), true)
            || !applySettings(d, {{"resolution", "300"}, {"read-delay", "yes"}, {"read-delay-duration", "200000"}}))
            return;
        pressButton(d, "scan");
        auto *bar = d.findChild<QProgressBar *>(QStringLiteral("progress"));
        progressShown = waitFor([&] { return bar->isVisible() && bar->maximum() > 0 && bar->value() > 0; });
        pressButton(d, "cancel");
        auto *scan = d.findChild<QPushButton *>(QStringLiteral("scan"));
        waitFor([&] { return scan->isEnabled(); });
        stoppedEarly = d.isVisible() && bar->isHidden();
        message = shownMessage(d);
        pressButton(d, "cancel"); // now it closes the dialog
    });
    EXPECT_TRUE(progressShown);
    EXPECT_TRUE(stoppedEarly);
    EXPECT_TRUE(message.contains(QStringLiteral("abgebrochen"))) << message.toStdString();
    EXPECT_NE(result, 0);
    EXPECT_EQ(strayFiles(dir_.path()), QStringList());
}

TEST_F(Acquire, EmptyFeederIsReportedAndOptionsStayForTheRun)
{
    // The test scanner's feeder is empty after at most ten scans of the open device.
    std::int16_t result = -1;
    QString message = scanWith({{"source", "Automatic Document Feeder"}, {"resolution", "10"}}, path("page.bmp"), &result);
    ASSERT_EQ(result, 0) << message.toStdString();
    int pages = 1;
    QString source;
    for (; pages <= 10; ++pages) {
        result = acquire(path("page.bmp"), [&](QDialog &d) {
            if (!waitForOptions(d))
                return;
            source = d.findChild<QComboBox *>(QStringLiteral("source"))->currentData().toString();
            message = pressScan(d);
        });
        EXPECT_EQ(source, QStringLiteral("Automatic Document Feeder")) << "page " << pages + 1;
        if (result != 0)
            break;
    }
    EXPECT_LE(pages, 10);
    EXPECT_TRUE(message.contains(QStringLiteral("kein Blatt"))) << message.toStdString();
    EXPECT_EQ(strayFiles(dir_.path(), {QStringLiteral("page.bmp")}), QStringList());
}

TEST_F(Acquire, ColourAtOneBitGivesPureColoursAtTheUsualSize)
{
    // scanimage cannot write this kind, and the test scanner draws another pattern at one bit,
    // so the pixels themselves are checked by the unit tests of the conversion.
    ASSERT_EQ(scanWith({{"mode", "Color"}, {"depth", "1"}, {"test-picture", pattern}}, path("one.bmp")), QString());
    ASSERT_EQ(scanWith({{"mode", "Color"}, {"depth", "8"}, {"test-picture", pattern}}, path("eight.bmp")), QString());
    EXPECT_EQ(bmpBits(path("one.bmp")), 24);
    const QImage one(path("one.bmp"), "bmp"), eight(path("eight.bmp"), "bmp");
    ASSERT_EQ(one.size(), eight.size());
    QSet<QRgb> colours;
    for (int y = 0; y < one.height(); ++y)
        for (int x = 0; x < one.width(); ++x)
            colours.insert(one.pixel(x, y));
    EXPECT_GT(colours.size(), 2);
    for (QRgb c : colours)
        for (int v : {qRed(c), qGreen(c), qBlue(c)})
            EXPECT_TRUE(v == 0 || v == 255) << v;
}

TEST_F(Acquire, OptionsFollowTheDeviceDescriptors)
{
    acquire(path("unused.bmp"), [&](QDialog &d) {
        ASSERT_TRUE(waitForOptions(d));
        ASSERT_TRUE(applySettings(d, baseline(), true));
        // Titles and list entries in German: ours for the well-known options, else the backends' catalogue.
        auto *mode = d.findChild<QComboBox *>(QStringLiteral("mode"));
        QStringList entries;
        for (int i = 0; i < mode->count(); ++i)
            entries << mode->itemText(i);
        EXPECT_EQ(entries, (QStringList{QStringLiteral("Graustufen"), QStringLiteral("Farbe")}));
        auto *form = d.findChild<QFormLayout *>(QStringLiteral("mainOptions"));
        ASSERT_NE(form, nullptr);
        EXPECT_EQ(qobject_cast<QLabel *>(form->labelForField(mode))->text(), QStringLiteral("Farbmodus"));
        // Mode, resolution, source, paper size and scan area come first; the rest is collapsed.
        QStringList order;
        for (int row = 0; row < form->rowCount(); ++row)
            order << form->itemAt(row, QFormLayout::FieldRole)->widget()->objectName();
        EXPECT_EQ(order, (QStringList{"mode", "resolution", "source", "format", "tl-x", "tl-y", "br-x", "br-y"}));
        auto *picture = d.findChild<QWidget *>(QStringLiteral("test-picture"));
        EXPECT_FALSE(picture->isVisibleTo(&d));
        d.findChild<QAbstractButton *>(QStringLiteral("advancedToggle"))->click();
        EXPECT_TRUE(picture->isVisibleTo(&d));

        // Inactive options are disabled; a mode change reloads them.
        EXPECT_FALSE(d.findChild<QWidget *>(QStringLiteral("three-pass"))->isEnabled());
        ASSERT_TRUE(applySettings(d, {{"mode", "Color"}}));
        EXPECT_TRUE(d.findChild<QWidget *>(QStringLiteral("three-pass"))->isEnabled());
        EXPECT_TRUE(d.findChild<QWidget *>(QStringLiteral("test-picture"))->isVisibleTo(&d)) << "stays expanded";

        // A range with a step, a word list, read-only options.
        ASSERT_TRUE(applySettings(d, {{"enable-test-options", "yes"}}));
        auto *range = d.findChild<QSpinBox *>(QStringLiteral("int-constraint-range"));
        ASSERT_NE(range, nullptr);
        EXPECT_EQ(range->minimum(), 4);
        EXPECT_EQ(range->maximum(), 192);
        EXPECT_EQ(range->singleStep(), 2);
        ASSERT_TRUE(applySettings(d, {{"int-constraint-range", "9"}}));
        const int snapped = d.findChild<QSpinBox *>(QStringLiteral("int-constraint-range"))->value();
        EXPECT_TRUE(snapped == 8 || snapped == 10) << snapped;
        EXPECT_EQ(d.findChild<QComboBox *>(QStringLiteral("int-constraint-word-list"))->count(), 9);
        EXPECT_FALSE(d.findChild<QWidget *>(QStringLiteral("bool-soft-detect"))->isEnabled());
    });
}

TEST_F(Acquire, KeysCursorAndOwnerAreThoseOfAModalDialog)
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    Qt::CursorShape inside = Qt::WaitCursor;
    bool modal = false, owned = false, scanIsDefault = false;
    const std::int16_t cancelled = acquire(path("escape.bmp"), [&](QDialog &d) {
        inside = QApplication::overrideCursor()->shape();
        modal = d.isModal();
        owned = d.parentWidget() && d.parentWidget()->window() == &owner_.widget();
        if (!waitForOptions(d))
            return;
        scanIsDefault = d.findChild<QPushButton *>(QStringLiteral("scan"))->isDefault();
        QTest::keyClick(&d, Qt::Key_Escape);
    });
    EXPECT_EQ(inside, Qt::ArrowCursor);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    QApplication::restoreOverrideCursor();
    EXPECT_TRUE(modal);
    EXPECT_TRUE(owned);
    EXPECT_TRUE(scanIsDefault);
    EXPECT_NE(cancelled, 0);
    EXPECT_FALSE(QFile::exists(path("escape.bmp")));

    const std::int16_t scanned = acquire(path("return.bmp"), [&](QDialog &d) {
        if (!waitForOptions(d))
            return;
        QTest::keyClick(&d, Qt::Key_Return);
        waitFor([&] { return !d.isVisible(); });
    });
    EXPECT_EQ(scanned, 0);
    EXPECT_TRUE(QFile::exists(path("return.bmp")));
}

TEST_F(Acquire, AFullDiskEndsInAMessageAndLeavesNoPartialFile)
{
    // The helper, which writes the file, may not let it grow past 16 KB, as on a full disk;
    // the write fails with EFBIG.
    scanWith({}, path("first.bmp")); // the helper runs from here on
    const int helper = helperProcess();
    ASSERT_NE(helper, 0);
    rlimit old{};
    ASSERT_EQ(::prlimit(helper, RLIMIT_FSIZE, nullptr, &old), 0);
    rlimit small = old;
    small.rlim_cur = 16 * 1024;
    ASSERT_EQ(::prlimit(helper, RLIMIT_FSIZE, &small, nullptr), 0);
    std::int16_t result = 0;
    const QString message = scanWith({{"resolution", "300"}}, path("scan.bmp"), &result);
    ::prlimit(helper, RLIMIT_FSIZE, &old, nullptr);
    QFile::remove(path("first.bmp"));
    // In German, not the system's English words for EFBIG.
    EXPECT_TRUE(message.contains(QStringLiteral("zu groß"))) << message.toStdString();
    EXPECT_FALSE(message.contains(QStringLiteral("large"), Qt::CaseInsensitive)) << message.toStdString();
    EXPECT_NE(result, 0);
    EXPECT_EQ(strayFiles(dir_.path()), QStringList());
}

TEST_F(Acquire, RunningOutOfMemoryCostsTheScanAndTheNextKeepsTheSettings)
{
    // The helper gets little more address space than it has; a three-pass scan keeps all
    // three planes until the last one is in, and runs out.
#ifdef VISTORAMO_ASAN
    GTEST_SKIP() << "the address space limit does not go with the address sanitizer";
#endif
    scanWith({}, path("first.bmp"));
    const int helper = helperProcess();
    ASSERT_NE(helper, 0);
    QFile statm(QStringLiteral("/proc/%1/statm").arg(helper));
    ASSERT_TRUE(statm.open(QIODevice::ReadOnly));
    const rlim_t size = statm.readAll().split(' ').front().toULongLong() * rlim_t(::sysconf(_SC_PAGESIZE));
    const rlimit tight{size + (16u << 20), size + (16u << 20)};
    ASSERT_EQ(::prlimit(helper, RLIMIT_AS, &tight, nullptr), 0);
    QFile::remove(path("first.bmp"));

    QString failure, retry = QStringLiteral("(kein zweiter Versuch)");
    QStringList left;
    const std::int16_t result = acquire(path("scan.bmp"), [&](QDialog &d) {
        if (!waitForOptions(d) || !applySettings(d, baseline(), true)
            || !applySettings(d, {{"mode", "Color"}, {"three-pass", "yes"}, {"resolution", "1200"}}))
            return;
        failure = pressScan(d);
        left = strayFiles(dir_.path());
        // A fresh helper has the device as the dialog shows it: colour, three passes.
        if (applySettings(d, {{"resolution", "50"}}))
            retry = pressScan(d);
    });
    EXPECT_TRUE(failure.contains(QStringLiteral("beim Scannen abgestürzt"))) << failure.toStdString();
    EXPECT_EQ(left, QStringList());
    EXPECT_EQ(retry, QString()) << retry.toStdString();
    EXPECT_EQ(result, 0);
    EXPECT_EQ(bmpBits(path("scan.bmp")), 24);
}

TEST_F(Acquire, AScanFileChangedUnderThePictureChangesNothingAndAShortOneIsRefused)
{
    const QString file = path("scan.bmp");
    ASSERT_EQ(scanWith({{"mode", "Color"}, {"resolution", "150"}, {"test-picture", pattern}}, file), QString());
    const QImage read = readWithReader(file);
    const rt::Picture shown = rt::loadPicture(file);
    // Another program writes into the file and cuts it short, as a careless script might.
    QProcess other;
    other.start(QStringLiteral("sh"),
                {QStringLiteral("-c"),
                 QStringLiteral("printf 'XXXXXXXXXXXXXXXX' | dd of=\"$1\" bs=1 seek=4096 conv=notrunc "
                                "2>/dev/null && truncate -s 100 \"$1\""),
                 QStringLiteral("sh"), file});
    ASSERT_TRUE(other.waitForFinished(30000));
    EXPECT_EQ(other.exitCode(), 0);
    EXPECT_EQ(QFileInfo(file).size(), 100);
    EXPECT_TRUE(shown.image() == read); // every row, the last ones too, without a fault

    // Shortened between writing and showing: refused as damaged.
    ASSERT_EQ(scanWith({{"mode", "Color"}, {"resolution", "75"}}, file, nullptr, true), QString());
    ASSERT_TRUE(QFile::resize(file, QFileInfo(file).size() / 2));
    try {
        rt::loadPicture(file);
        ADD_FAILURE() << "a short scan file was shown";
    } catch (const rt::RuntimeError &e) {
        EXPECT_EQ(e.code(), rt::ErrorCode::InvalidPicture);
    }
}

TEST_F(Acquire, SettingsThatDidNotChangeAreNotWrittenAgain)
{
    // Writing the settings file waits for the disk, which is busy with the scan's data.
    const QByteArray ini
        = QFile::encodeName(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + "/vistoramo/vistoramo.ini");
    ASSERT_EQ(scanWith({{"resolution", "75"}}, path("first.bmp")), QString());
    struct stat before {
    }, after{};
    ASSERT_EQ(::stat(ini.constData(), &before), 0);
    ASSERT_EQ(scanWith({}, path("second.bmp"), nullptr, true), QString());
    ASSERT_EQ(::stat(ini.constData(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino); // a new file replaces the old one when written
}

TEST_F(Acquire, BadPathIsReportedInTheDialog)
{
    std::int16_t result = 0;
    const QString message = scanWith({}, path("missing/dir/scan.bmp"), &result);
    EXPECT_TRUE(message.contains(QStringLiteral("lässt sich nicht anlegen"))) << message.toStdString();
    EXPECT_NE(result, 0);
    EXPECT_EQ(AcquireToFile(owner_.id(), nullptr), 2);
}

TEST_F(Acquire, ChosenSourceIsUsedUntilAnotherIsChosen)
{
    const auto choose = [&](const std::function<void(QDialog &, QTreeWidget &)> &step) { withSourceList(owner_, 1, step); };
    QString preselected;
    choose([&](QDialog &d, QTreeWidget &list) {
        ASSERT_EQ(list.topLevelItemCount(), 2);
        EXPECT_EQ(list.topLevelItem(0)->text(0), QStringLiteral("Noname frontend-tester"));
        EXPECT_LT(list.topLevelItem(0)->font(1).pointSizeF(), list.topLevelItem(0)->font(0).pointSizeF());
        preselected = list.currentItem()->text(1);
        list.setCurrentItem(list.topLevelItem(1));
        QTest::keyClick(&d, Qt::Key_Return);
    });
    EXPECT_EQ(preselected, QStringLiteral("test:0"));

    // Cancel keeps the choice.
    choose([&](QDialog &d, QTreeWidget &list) {
        preselected = list.currentItem()->text(1);
        list.setCurrentItem(list.topLevelItem(0));
        d.findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Cancel)->click();
    });
    EXPECT_EQ(preselected, QStringLiteral("test:1"));

    QString device;
    acquire(path("unused.bmp"), [&](QDialog &d) {
        if (waitForOptions(d))
            device = d.findChild<QLabel *>(QStringLiteral("device"))->text();
    });
    EXPECT_EQ(device, QStringLiteral("Noname frontend-tester <small>(test:1)</small>"));
}

} // namespace
