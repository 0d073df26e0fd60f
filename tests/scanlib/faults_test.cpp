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
#include <QSettings>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <algorithm>
#include <atomic>
#include <csignal>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

struct FaultyScanners : testing::Environment {
    void SetUp() override
    {
        useSaneConfig(Backends::TestOnly);
        QFile dll(qEnvironmentVariable("SANE_CONFIG_DIR") + QStringLiteral("/dll.conf"));
        ASSERT_TRUE(dll.open(QIODevice::WriteOnly | QIODevice::Truncate));
        dll.write("test\nfaulty\n");
        qputenv("LD_LIBRARY_PATH", VISTORAMO_FAULTY_SANE_DIR);
        // A tenth of the time limits: 1 s for an option, 3 s for opening.
        qputenv("VISTORAMO_SCANNER_TIMEOUT_SCALE", "0.1");
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

// The remembered settings, as the dialogs read them when they open.
QString settingsFile()
{
    return qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/vistoramo/vistoramo.ini");
}

// Ends the helper, so that the next request starts a fresh one with no device open.
void killHelper()
{
    const int helper = helperProcess();
    if (helper > 0)
        ::kill(helper, SIGKILL);
    // Until the library has collected it, and so knows it is gone.
    waitFor([helper] { return !QFile::exists(QStringLiteral("/proc/%1").arg(helper)); }, 5000);
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

// A preview is watched as a scan is: stopped by the user or hung in the driver, it ends with
// the dialog still usable, and the scan made in that same dialog is the driver's page.
TEST_F(Faults, APreviewCancelledOrHungLeavesTheDialogToScanIn)
{
    for (const char *kind : {"slow-read", "hang-read"}) {
        setFault(kind);
        QString message, after = QStringLiteral("(nicht gescannt)");
        bool hung = false, ended = false;
        const std::int16_t result = acquire(path("Temp.bmp"), [&](QDialog &d) {
            if (!waitForOptions(d))
                return;
            auto *preview = d.findChild<QPushButton *>(QStringLiteral("previewButton"));
            ASSERT_TRUE(preview && preview->isVisible());
            preview->click();
            if (QByteArray(kind) == "hang-read")
                hung = driverHangs();
            else
                waitFor([&] { return !preview->isEnabled(); });
            pressButton(d, "cancel");
            ended = waitFor([&] { return preview->isEnabled(); }, 15000);
            message = shownMessage(d);
            setFault("none");
            if (d.isVisible())
                after = pressScan(d);
        });
        EXPECT_TRUE(ended) << kind;
        EXPECT_TRUE(hung || QByteArray(kind) != "hang-read");
        if (QByteArray(kind) == "hang-read") {
            EXPECT_TRUE(message.contains(QStringLiteral("antwortet nicht"))) << message.toStdString();
        }
        EXPECT_EQ(after, QString()) << kind;
        EXPECT_EQ(result, 0) << kind;
        EXPECT_EQ(QImage(path("Temp.bmp"), "bmp").size(), QSize(100, 200)) << kind;
    }
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

// A remembered value on which the driver hangs, crashes or fails costs one try: the dialog
// says which setting was reset, the value is gone from the settings, and the dialog (and the
// next one) work with the device's own value.
struct RememberedFault {
    const char *kind;
    const char *words;
};

void PrintTo(const RememberedFault &f, std::ostream *out)
{
    *out << f.kind;
}

class RememberedFaults : public Faults, public testing::WithParamInterface<RememberedFault> { };

TEST_P(RememberedFaults, AreDroppedWithAMessageAndTheNextDialogWorks)
{
    const RememberedFault &f = GetParam();
    const auto remembered = [] {
        return QSettings(settingsFile(), QSettings::IniFormat).value(QStringLiteral("Optionen/faulty:0/br-x")).toString();
    };
    acquire(path("Temp.bmp"), [&](QDialog &d) { // the device's own value is remembered
        ASSERT_TRUE(waitForOptions(d));
        pressButton(d, "cancel");
    });
    QSettings(settingsFile(), QSettings::IniFormat).setValue(QStringLiteral("Optionen/faulty:0/br-x"), QStringLiteral("150"));
    setFault((std::string(f.kind) + " br-x").c_str());
    QString message, kept;
    const int helper = helperProcess();
    acquire(path("Temp.bmp"), [&](QDialog &d) {
        ASSERT_TRUE(waitForOptions(d));
        message = shownMessage(d);
        kept = remembered();
        pressButton(d, "cancel");
    });
    EXPECT_TRUE(message.contains(QStringLiteral("wurde zurückgesetzt, weil der Scanner sie nicht annahm")))
        << message.toStdString();
    EXPECT_TRUE(message.contains(QString::fromUtf8(f.words))) << message.toStdString();
    EXPECT_NE(kept, QStringLiteral("150"));
    acquire(path("Temp.bmp"), [&](QDialog &d) { // the fault is still armed, the value gone
        ASSERT_TRUE(waitForOptions(d));
        EXPECT_EQ(shownMessage(d), QString());
        pressButton(d, "cancel");
    });
    EXPECT_NE(remembered(), QStringLiteral("150"));
    expectGoodScan();
    if (std::string(f.kind) != "fail-set") {
        EXPECT_TRUE(processGone(helper)) << helper;
    }
}

INSTANTIATE_TEST_SUITE_P(FaultyDriver, RememberedFaults,
                         testing::Values(RememberedFault{"hang-set", "nicht rechtzeitig"},
                                         RememberedFault{"crash-set", "abgestürzt"},
                                         RememberedFault{"fail-set", "Verbindung zum Scanner"}),
                         [](const testing::TestParamInfo<RememberedFault> &param) {
                             std::string name = param.param.kind;
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });

// Opening a device that hangs is given up after its time limit, with a notice meanwhile and a
// message after; the dialog stays usable and closes.
TEST_F(Faults, AnOpeningThatHangsIsGivenUpWithAMessage)
{
    killHelper();
    setFault("hang-open");
    QString notice, message;
    bool retry = false, closed = false;
    const int result = acquire(path("Temp.bmp"), [&](QDialog &d) {
        waitFor([&] { return shownMessage(d).contains(QStringLiteral("wartet auf den Scanner")); }, 15000);
        notice = shownMessage(d);
        waitFor([&] { return shownMessage(d).contains(QStringLiteral("nicht rechtzeitig")); }, 15000);
        message = shownMessage(d);
        retry = d.findChild<QPushButton *>(QStringLiteral("scan"))->isEnabled();
        pressButton(d, "cancel");
        closed = !d.isVisible();
    });
    EXPECT_TRUE(notice.contains(QStringLiteral("wartet auf den Scanner"))) << notice.toStdString();
    EXPECT_TRUE(message.contains(QStringLiteral("beim Öffnen des Scanners nicht rechtzeitig geantwortet")))
        << message.toStdString();
    EXPECT_TRUE(retry);
    EXPECT_TRUE(closed);
    EXPECT_NE(result, 0);
    expectGoodScan();
}

// The scan's file is made by the library, never more open than 0600 and under the umask,
// and only its descriptor reaches the helper: a link planted at the staged name the moment
// the file appears redirects nothing.
TEST_F(Faults, TheScanFileIsTheUsersAloneAndALinkAtTheStagedNameRedirectsNothing)
{
    for (const mode_t mask : {mode_t(022), mode_t(0277)}) {
        const mode_t old = ::umask(mask);
        expectGoodScan();
        ::umask(old);
        struct stat st { };
        ASSERT_EQ(::stat(QFile::encodeName(path("Temp.bmp")).constData(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0600 & ~mask) << std::oct << mask;
        QFile::remove(path("Temp.bmp"));
    }

    QTemporaryDir elsewhere;
    const QByteArray victim = QFile::encodeName(elsewhere.filePath(QStringLiteral("victim.txt")));
    {
        QFile v(QString::fromLocal8Bit(victim));
        ASSERT_TRUE(v.open(QIODevice::WriteOnly));
        v.write("precious\n");
    }
    const QByteArray dir = QFile::encodeName(dir_.path());
    const int watch = ::inotify_init1(IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    ASSERT_GE(::inotify_add_watch(watch, dir.constData(), IN_CREATE), 0);
    // The helper waits, stopped, until the link is in place: it would open the name now.
    const int helper = helperProcess();
    ASSERT_NE(helper, 0);
    std::atomic<bool> planted{false}, stop{false};
    std::thread attacker([&] {
        alignas(inotify_event) char buffer[4096];
        while (!stop) {
            pollfd p{watch, POLLIN, 0};
            if (::poll(&p, 1, 100) <= 0)
                continue;
            const ssize_t n = ::read(watch, buffer, sizeof buffer);
            if (n <= 0)
                return;
            for (ssize_t at = 0; at < n;) {
                const auto *e = reinterpret_cast<const inotify_event *>(buffer + at);
                const QByteArray name(e->len ? e->name : "");
                if (name.endsWith(".part")) {
                    const QByteArray staged = dir + '/' + name;
                    ::unlink(staged.constData());
                    planted = ::symlink(victim.constData(), staged.constData()) == 0;
                    ::kill(helper, SIGCONT);
                    return;
                }
                at += ssize_t(sizeof(inotify_event) + e->len);
            }
        }
    });
    setFault("none");
    acquire(path("Temp.bmp"), [&](QDialog &d) {
        if (!waitForOptions(d))
            return;
        ::kill(helper, SIGSTOP);
        pressScan(d);
    });
    stop = true;
    ::kill(helper, SIGCONT);
    attacker.join();
    ::close(watch);
    ASSERT_TRUE(planted);
    QFile v(QString::fromLocal8Bit(victim));
    ASSERT_TRUE(v.open(QIODevice::ReadOnly));
    EXPECT_EQ(v.readAll(), QByteArray("precious\n"));
    EXPECT_FALSE(QFileInfo(path("Temp.bmp")).isSymLink());
}

// SANE reads its configuration from the working directory when SANE_CONFIG_DIR is unset:
// the helper works from the root, whatever directory the program started in.
TEST_F(Faults, TheHelperWorksFromTheRoot)
{
    const int helper = helperProcess();
    ASSERT_NE(helper, 0);
    EXPECT_EQ(QFileInfo(QStringLiteral("/proc/%1/cwd").arg(helper)).symLinkTarget(), QStringLiteral("/"));
}

} // namespace
