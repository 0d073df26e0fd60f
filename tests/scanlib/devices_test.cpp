// The source dialog against the machine's own SANE backends (plus the test scanner), and
// both dialogs on a machine without any scanner. Built twice: SCANLIB_NO_DEVICES selects
// the second configuration, since SANE reads its configuration once per process.

#include "ScanTestSupport.h"

#include <QDialogButtonBox>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <gtest/gtest.h>

namespace {

struct Scanners : testing::Environment {
#ifdef SCANLIB_NO_DEVICES
    void SetUp() override
    {
        useSaneConfig(Backends::None);
    }
#else
    void SetUp() override
    {
        useSaneConfig(Backends::Machine);
    }
#endif
};
const auto *const environment = testing::AddGlobalTestEnvironment(new Scanners);

struct SourceView {
    QString statusAtStart;
    bool busyAtStart = false;
    QString statusAtEnd;
    QStringList devices;
    bool okEnabled = false;
    bool busyAgain = false; // after "Neu suchen"
    QStringList devicesAgain;
};

// Opens the source dialog, waits for the search to end and cancels.
SourceView chooseSource(const OwnerWindow &owner)
{
    SourceView view;
    withSourceDialog(owner, [&](QDialog &d) {
        auto *status = d.findChild<QLabel *>(QStringLiteral("status"));
        auto *busy = d.findChild<QProgressBar *>(QStringLiteral("searching"));
        view.statusAtStart = status->text();
        view.busyAtStart = busy->isVisible();
        EXPECT_TRUE(waitFor([&] { return busy->isHidden(); }, 120000));
        view.statusAtEnd = status->text();
        auto *list = d.findChild<QTreeWidget *>(QStringLiteral("devices"));
        const auto devices = [list] {
            QStringList names;
            for (int i = 0; i < list->topLevelItemCount(); ++i)
                names << list->topLevelItem(i)->text(1);
            return names;
        };
        view.devices = devices();
        auto *buttons = d.findChild<QDialogButtonBox *>();
        view.okEnabled = buttons->button(QDialogButtonBox::Ok)->isEnabled();
        pressButton(d, "searchAgain");
        view.busyAgain = busy->isVisible() && list->topLevelItemCount() == view.devices.size();
        EXPECT_TRUE(waitFor([&] { return busy->isHidden(); }, 120000));
        view.devicesAgain = devices();
        buttons->button(QDialogButtonBox::Cancel)->click();
    });
    return view;
}

#ifndef SCANLIB_NO_DEVICES

TEST(SourceDialog, SaysItIsSearchingThenOffersEveryDeviceScanimageLists)
{
    OwnerWindow owner;
    const SourceView view = chooseSource(owner);
    EXPECT_EQ(view.statusAtStart, QStringLiteral("Suche nach Geräten …"));
    EXPECT_TRUE(view.busyAtStart);

    QProcess scanimage;
    scanimage.start(QStringLiteral("scanimage"), {QStringLiteral("-L")});
    ASSERT_TRUE(scanimage.waitForFinished(120000));
    QStringList listed;
    static const QRegularExpression device(QStringLiteral("^device `([^']+)' is a"));
    for (const QString &line : QString::fromLocal8Bit(scanimage.readAllStandardOutput()).split(QLatin1Char('\n')))
        if (const auto match = device.match(line); match.hasMatch())
            listed << match.captured(1);
    ASSERT_TRUE(listed.contains(QStringLiteral("test:0")));
    listed.sort();
    QStringList offered = view.devices;
    offered.sort();
    EXPECT_EQ(offered, listed);
    EXPECT_TRUE(view.okEnabled);
    EXPECT_TRUE(view.busyAgain) << "searching again shows it is busy and keeps the list meanwhile";
    EXPECT_EQ(view.devicesAgain, view.devices);
}

#else

TEST(NoScanner, BothDialogsSaySoPlainly)
{
    OwnerWindow owner;
    const SourceView view = chooseSource(owner);
    EXPECT_TRUE(view.statusAtEnd.startsWith(QStringLiteral("Es wurde kein Scanner gefunden."))) << view.statusAtEnd.toStdString();
    EXPECT_TRUE(view.devices.isEmpty());
    EXPECT_FALSE(view.okEnabled);

    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("scan.bmp"));
    QString message;
    const std::int16_t result = withDialog([&] { return AcquireToFile(owner.id(), QFile::encodeName(file).constData()); },
                                           [&](QDialog &d) {
                                               waitFor([&] { return !shownMessage(d).isEmpty(); });
                                               message = shownMessage(d);
                                               pressScan(d); // trying again finds nothing either
                                               message += shownMessage(d);
                                               pressButton(d, "cancel");
                                           });
    EXPECT_EQ(message, QStringLiteral("Es wurde kein Scanner gefunden.Es wurde kein Scanner gefunden."));
    EXPECT_NE(result, 0);
    EXPECT_EQ(strayFiles(dir.path()), QStringList());
}

#endif

} // namespace
