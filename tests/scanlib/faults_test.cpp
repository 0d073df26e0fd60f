// Drivers that hang or crash, from a backend of our own (tests/faultysane): each costs the
// operation in progress and nothing more. The dialog says what happened and can be closed,
// no file or staged part remains, the stuck helper is gone, and the next scan works.

#include "ScanTestSupport.h"

#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <algorithm>
#include <csignal>
#include <gtest/gtest.h>

namespace {

struct FaultyScanners : testing::Environment {
    void SetUp() override
    {
        useSaneConfig(Backends::TestOnly);
        QFile dll(qEnvironmentVariable("SANE_CONFIG_DIR") + QStringLiteral("/dll.conf"));
        ASSERT_TRUE(dll.open(QIODevice::WriteOnly | QIODevice::Truncate));
        dll.write("test\nfaulty\n");
        qputenv("LD_LIBRARY_PATH", VISTORAMO_FAULTY_SANE_DIR);
    }
};
const auto *const environment = testing::AddGlobalTestEnvironment(new FaultyScanners);

QString configFile(const char *name)
{
    return qEnvironmentVariable("SANE_CONFIG_DIR") + QLatin1Char('/') + QLatin1String(name);
}

// What the faulty driver does from now on; read again at each of its calls.
void setFault(const char *kind)
{
    QFile::remove(configFile("faulty.hanging"));
    QFile conf(configFile("faulty.conf"));
    ASSERT_TRUE(conf.open(QIODevice::WriteOnly | QIODevice::Truncate));
    conf.write(QByteArray("fault ") + kind + "\n");
}

bool processGone(int pid)
{
    return pid > 0 && ::kill(pid, 0) != 0;
}

// Until the driver hangs.
bool driverHangs()
{
    return waitFor([] { return QFile::exists(configFile("faulty.hanging")); });
}

class Faults : public testing::Test {
protected:
    Faults()
    {
        setFault("none");
        withSourceList(owner_, 1, [](QDialog &d, QTreeWidget &list) {
            const auto found = list.findItems(QStringLiteral("faulty:0"), Qt::MatchExactly, 1);
            ASSERT_EQ(found.size(), 1);
            list.setCurrentItem(found.front());
            d.accept();
        });
    }
    QString path(const char *name) const { return dir_.filePath(QString::fromLatin1(name)); }
    std::int16_t acquire(const QString &file, const std::function<void(QDialog &)> &script)
    {
        return withDialog([&] { return AcquireToFile(owner_.id(), QFile::encodeName(file).constData()); }, script);
    }
    // With the driver healthy again, a scan gives the driver's picture.
    void expectGoodScan()
    {
        setFault("none");
        QString message = QStringLiteral("(kein Dialog)");
        const std::int16_t result = acquire(path("Temp.bmp"), [&](QDialog &d) {
            if (waitForOptions(d))
                message = pressScan(d);
        });
        ASSERT_EQ(result, 0) << message.toStdString();
        const QImage image(path("Temp.bmp"), "bmp");
        ASSERT_EQ(image.size(), QSize(100, 200));
        for (int y = 0; y < image.height(); y += 7)
            for (int x = 0; x < image.width(); x += 3)
                ASSERT_EQ(qGray(image.pixel(x, y)), (3 * x + 5 * y) & 0xff) << x << "," << y;
    }

    QTemporaryDir dir_;
    OwnerWindow owner_;
};

struct ScanFault {
    enum Hang { None, BeforeCancel, InCancel, AfterOutcome };
    const char *kind;
    Hang hang; // where the driver hangs, if it does
    bool dataFirst; // part of the page arrives before the fault
    bool waitForSilence;
    const char *words; // what the message must say
};

void PrintTo(const ScanFault &f, std::ostream *out)
{
    *out << f.kind;
}

class ScanFaults : public Faults, public testing::WithParamInterface<ScanFault> { };

TEST_P(ScanFaults, AreReportedTheDialogClosesNothingRemainsAndTheNextScanWorks)
{
    const ScanFault &f = GetParam();
    setFault(f.kind);
    QString silence, message;
    bool dataArrived = false, hung = false, ended = false, stayedOpen = false, closed = false;
    int helper = 0;
    QStringList left;
    const std::int16_t result = acquire(path("Temp.bmp"), [&](QDialog &d) {
        if (!waitForOptions(d))
            return;
        auto *bar = d.findChild<QProgressBar *>(QStringLiteral("progress"));
        auto *scan = d.findChild<QPushButton *>(QStringLiteral("scan"));
        pressButton(d, "scan");
        helper = helperProcess();
        if (f.dataFirst)
            dataArrived = waitFor([&] { return bar->maximum() > 0 && bar->value() > 0; });
        if (f.hang == ScanFault::BeforeCancel)
            hung = driverHangs();
        if (f.waitForSilence) {
            waitFor([&] { return shownMessage(d).startsWith(QStringLiteral("Seit 2")); }, 40000);
            silence = shownMessage(d);
        }
        if (f.hang == ScanFault::BeforeCancel || f.hang == ScanFault::InCancel)
            pressButton(d, "cancel");
        if (f.hang == ScanFault::InCancel)
            hung = driverHangs(); // the cancel reached the driver
        ended = waitFor([&] { return scan->isEnabled(); }, 15000);
        if (f.hang == ScanFault::AfterOutcome)
            hung = driverHangs(); // the message came first
        message = shownMessage(d);
        stayedOpen = d.isVisible();
        left = strayFiles(dir_.path());
        pressButton(d, "cancel");
        closed = !d.isVisible();
    });
    EXPECT_TRUE(ended);
    EXPECT_TRUE(dataArrived || !f.dataFirst);
    EXPECT_TRUE(hung || f.hang == ScanFault::None);
    if (f.waitForSilence) {
        EXPECT_TRUE(silence.startsWith(QStringLiteral("Seit 20 s keine Daten vom Scanner …"))) << silence.toStdString();
    }
    EXPECT_TRUE(message.contains(QString::fromUtf8(f.words))) << message.toStdString();
    EXPECT_TRUE(stayedOpen);
    EXPECT_TRUE(closed);
    EXPECT_NE(result, 0);
    EXPECT_EQ(left, QStringList());
    expectGoodScan();
    EXPECT_TRUE(processGone(helper)) << helper;
}

INSTANTIATE_TEST_SUITE_P(FaultyDriver, ScanFaults,
                         testing::Values(ScanFault{"hang-start", ScanFault::BeforeCancel, false, false, "antwortet nicht"},
                                         ScanFault{"hang-read", ScanFault::BeforeCancel, true, true, "antwortet nicht"},
                                         ScanFault{"hang-cancel", ScanFault::InCancel, true, false, "antwortet nicht"},
                                         ScanFault{"fail-read", ScanFault::AfterOutcome, true, false, "Verbindung zum Scanner"},
                                         ScanFault{"crash-read", ScanFault::None, true, false, "beim Scannen abgestürzt"}),
                         [](const testing::TestParamInfo<ScanFault> &param) {
                             std::string name = param.param.kind;
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });

// Opens the source dialog with the driver failing in its search and cancels it when
// closeWhen says so; returns the dialog's status text at that moment.
QString searchAndCancel(const OwnerWindow &owner, const std::function<bool(QDialog &)> &closeWhen, bool &closed)
{
    QString status;
    withSourceDialog(owner, [&](QDialog &d) {
        waitFor([&] { return closeWhen(d); });
        status = d.findChild<QLabel *>(QStringLiteral("status"))->text();
        d.findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Cancel)->click();
        closed = !d.isVisible();
    });
    return status;
}

// A strict driver refuses a value off its steps; the library gives it the nearest step.
TEST_F(Faults, AValueBetweenTheDevicesStepsIsSnappedToTheNearestStep)
{
    setFault("none");
    acquire(path("Temp.bmp"), [&](QDialog &d) {
        ASSERT_TRUE(waitForOptions(d));
        auto *edge = d.findChild<QDoubleSpinBox *>(QStringLiteral("br-x"));
        ASSERT_NE(edge, nullptr);
        edge->setValue(101.2);
        // Shown again in the same field as the device took it.
        EXPECT_TRUE(waitFor([&] { return edge->value() == 100.0; })) << edge->value();
        EXPECT_EQ(shownMessage(d), QString());
        pressButton(d, "cancel");
    });
}

TEST_F(Faults, ACrashWhileSearchingIsReportedInTheSourceDialog)
{
    setFault("crash-list");
    bool closed = false;
    const QString status = searchAndCancel(
        owner_, [](QDialog &d) { return d.findChild<QProgressBar *>(QStringLiteral("searching"))->isHidden(); }, closed);
    EXPECT_TRUE(status.contains(QStringLiteral("bei der Gerätesuche abgestürzt"))) << status.toStdString();
    EXPECT_TRUE(closed);
    expectGoodScan();
}

TEST_F(Faults, AHangingSearchLetsTheSourceDialogCloseAndTheNextScanWorks)
{
    setFault("hang-list");
    bool closed = false;
    int helper = 0;
    const QString status = searchAndCancel(
        owner_,
        [&](QDialog &) {
            helper = helperProcess();
            return driverHangs();
        },
        closed);
    EXPECT_EQ(status, QStringLiteral("Suche nach Geräten …"));
    EXPECT_TRUE(closed);
    expectGoodScan(); // waits for the hung search, which is then given up
    EXPECT_TRUE(processGone(helper)) << helper;
}

} // namespace
