// The acquisition dialog's manners on SANE's test scanner: Return scans from every kind of
// field, the form fits the dialog, screen readers find every control named, the wheel leaves
// unfocused fields alone, and what the user set survives a restart of the program through
// the real settings file.

#include "ScanTestSupport.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QElapsedTimer>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QLockFile>
#include <QMetaEnum>
#include <QProcess>
#include <QProgressBar>
#include <QScrollArea>
#include <QScrollBar>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>
#include <QWheelEvent>
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct TestScanners : testing::Environment {
    void SetUp() override { useSaneConfig(Backends::TestOnly); }
};
const auto *const environment = testing::AddGlobalTestEnvironment(new TestScanners);

// Set in the runs of this program that a restart test starts: the configuration home to use.
const char *const phaseHome = "VISTORAMO_TEST_CONFIG_HOME";

class Dialog : public FreshDialogTest { };

// Puts the keyboard focus into a field as a click would, and presses Return there.
void returnIn(QDialog &dialog, const char *field)
{
    auto *w = dialog.findChild<QWidget *>(QString::fromLatin1(field));
    ASSERT_NE(w, nullptr) << field;
    w->setFocus(Qt::MouseFocusReason);
    ASSERT_TRUE(waitFor([&] { return w->hasFocus(); }, 2000)) << field;
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    EXPECT_TRUE(waitFor([&] { return !dialog.isVisible(); })) << "Return in " << field << " did not scan";
}

TEST_F(Dialog, ReturnScansFromASpinBoxADropDownALineEditAndTheResolutionField)
{
    for (const char *field : {"tl-x", "mode", "string", "resolution"}) {
        const QString file = path("return.bmp");
        QFile::remove(file);
        const std::int16_t result = acquire(file, [&](QDialog &d) {
            ASSERT_TRUE(waitForOptions(d));
            ASSERT_TRUE(applySettings(d, {{"enable-test-options", "yes"}}));
            if (QByteArray(field) == "resolution") { // typed, then Return: the typed value is scanned
                auto *resolution = d.findChild<QComboBox *>(QStringLiteral("resolution"));
                QStringList offered; // the usual values within the device's 1 to 1200 dpi, and its current one
                for (int i = 0; i < resolution->count(); ++i)
                    offered << resolution->itemText(i);
                EXPECT_EQ(offered,
                          (QStringList{"50 dpi", "75 dpi", "100 dpi", "150 dpi", "200 dpi", "300 dpi", "400 dpi", "600 dpi",
                                       "1.200 dpi"}));
                resolution->setEditText(QStringLiteral("72,4"));
            }
            returnIn(d, field);
        });
        EXPECT_EQ(result, 0) << field;
        EXPECT_TRUE(QFile::exists(file)) << field;
        if (QByteArray(field) == "resolution") {
            EXPECT_NEAR(QImage(file).dotsPerMeterX(), 72 / 0.0254, 1) << "snapped to the device's whole steps";
        }
    }
}

TEST_F(Dialog, AnOptionThatTurnsAnotherOnChangesTheFieldInPlace)
{
    acquire(path("unused.bmp"), [&](QDialog &d) {
        ASSERT_TRUE(waitForOptions(d));
        auto *limit = d.findChild<QCheckBox *>(QStringLiteral("read-limit"));
        auto *size = d.findChild<QWidget *>(QStringLiteral("read-limit-size"));
        ASSERT_TRUE(limit && size);
        EXPECT_FALSE(size->isEnabled());
        limit->click();
        EXPECT_TRUE(waitFor([&] { return size->isEnabled(); }, 10000)) << "the size stayed off";
        EXPECT_EQ(d.findChild<QWidget *>(QStringLiteral("read-limit-size")), size);
        limit->click();
        EXPECT_TRUE(waitFor([&] { return !size->isEnabled(); }, 10000)) << "the size stayed on";
        pressButton(d, "cancel");
    });
}

TEST_F(Dialog, TheFormNeedsNoHorizontalBarAtTheDefaultSizeWithEverythingOpen)
{
    // A large desktop font, not the test platform's small one: long titles and long entries
    // then need more than the default width unless labels wrap and drop-downs shrink.
    const QFont before = QApplication::font();
    QApplication::setFont(QFont(QStringLiteral("DejaVu Sans"), 12));
    const struct Restore {
        QFont font;
        ~Restore() { QApplication::setFont(font); }
    } restore{before};
    acquire(path("unused.bmp"), [&](QDialog &d) {
        ASSERT_TRUE(waitForOptions(d));
        d.findChild<QAbstractButton *>(QStringLiteral("advancedToggle"))->click();
        ASSERT_TRUE(applySettings(d, {{"mode", "Color"}, {"enable-test-options", "yes"}}));
        QApplication::processEvents();
        auto *area = d.findChild<QScrollArea *>(QStringLiteral("optionsArea"));
        ASSERT_NE(area, nullptr);
        EXPECT_EQ(d.size(), QSize(900, 560)); // the default with the preview pane beside the form
        EXPECT_TRUE(area->verticalScrollBar()->isVisible()) << "the test needs a form taller than the dialog";
        EXPECT_FALSE(area->horizontalScrollBar()->isVisible());
        // Every field and label lies within the visible width.
        int fields = 0;
        for (QWidget *w : area->widget()->findChildren<QWidget *>()) {
            if (!w->isVisibleTo(&d) || (!qobject_cast<QLabel *>(w) && w->objectName().isEmpty()))
                continue;
            const QRect r(w->mapTo(area->viewport(), QPoint(0, 0)), w->size());
            EXPECT_LE(r.right(), area->viewport()->width()) << w->objectName().toStdString();
            EXPECT_GE(r.left(), 0) << w->objectName().toStdString();
            ++fields;
        }
        EXPECT_GT(fields, 60);
    });
}

QWidget *widget(const QAccessibleInterface *node)
{
    return qobject_cast<QWidget *>(node->object());
}

// What a screen reader finds in a dialog: every visible control it can go to or that tells
// something has a name of its own (not what it shows now: a drop-down's entry), and names
// and descriptions are plain text. Returns the tree as role and name, one line each.
std::string checkAccessibleTree(QDialog &dialog)
{
    std::string tree;
    std::function<void(QAccessibleInterface *, int)> walk = [&](QAccessibleInterface *node, int depth) {
        if (!node || node->state().invisible)
            return;
        const QAccessible::Role role = node->role();
        const QString name = node->text(QAccessible::Name);
        const QString value = node->text(QAccessible::Value);
        const QString description = node->text(QAccessible::Description);
        const std::string line = std::string(std::size_t(depth) * 2, ' ')
            + QMetaEnum::fromType<QAccessible::Role>().valueToKey(role) + " \"" + name.toStdString() + '"';
        tree += line + '\n';
        // Containers need no name of their own, except the boxes that group options.
        const bool informs
            = role == QAccessible::StaticText || role == QAccessible::ProgressBar || qobject_cast<QGroupBox *>(node->object());
        if (informs || node->state().focusable) {
            EXPECT_FALSE(name.trimmed().isEmpty()) << "no name: " << line;
        }
        const bool field = role == QAccessible::ComboBox || role == QAccessible::SpinBox || role == QAccessible::EditableText;
        if (field) {
            EXPECT_TRUE(value.isEmpty() || name != value) << "named by its value: " << line;
        }
        // An option's field is labelled by its title, for screen readers that go by the label.
        auto *form = dialog.findChild<QWidget *>(QStringLiteral("optionForm"));
        const bool option = form && form->isAncestorOf(widget(node)) && widget(node)->objectName() != "advancedToggle";
        if (option && (field || role == QAccessible::CheckBox)) {
            const auto labels = node->relations(QAccessible::Label);
            EXPECT_TRUE(!labels.empty() && labels.front().first->text(QAccessible::Name) == name) << "no label: " << line;
        }
        // A line that tells the state of things (device, search, message) says what it is; the
        // screen reader reads the text it shows as its description.
        if (auto *label = qobject_cast<QLabel *>(node->object()); label && !(form && form->isAncestorOf(label))) {
            EXPECT_FALSE(description.isEmpty()) << line;
            EXPECT_NE(name, description) << "named by its text: " << line;
        }
        EXPECT_FALSE(name.contains(QLatin1Char('<')) || name.contains(QLatin1Char('&'))) << line;
        EXPECT_FALSE(description.contains(QLatin1Char('<'))) << line << " described as " << description.toStdString();
        // The parts of a drop-down, spin box or list are the widget's own.
        if (role == QAccessible::ComboBox || role == QAccessible::SpinBox || role == QAccessible::Tree
            || role == QAccessible::List || role == QAccessible::ScrollBar)
            return;
        for (int i = 0; i < node->childCount(); ++i)
            walk(node->child(i), depth + 1);
    };
    walk(QAccessible::queryAccessibleInterface(&dialog), 0);
    return tree;
}

TEST_F(Dialog, ScreenReadersFindEveryControlNamedInGerman)
{
    acquire(path("unused.bmp"), [&](QDialog &d) {
        ASSERT_TRUE(waitForOptions(d));
        d.findChild<QAbstractButton *>(QStringLiteral("advancedToggle"))->click();
        QApplication::processEvents();
        const std::string tree = checkAccessibleTree(d);
        RecordProperty("acquire", tree);
        // The catalogue leaves the test device's option in English; ours is German.
        const auto nameOf = [&](const char *name) {
            return QAccessible::queryAccessibleInterface(d.findChild<QWidget *>(QString::fromLatin1(name)))
                ->text(QAccessible::Name);
        };
        EXPECT_NE(nameOf("three-pass"), QStringLiteral("Three-Pass Simulation")) << tree;
        pressButton(d, "cancel");
    });
    withSourceList(owner_, 2, [&](QDialog &d, QTreeWidget &) {
        RecordProperty("source", checkAccessibleTree(d));
        d.reject();
    });
}

TEST_F(Dialog, TheWheelChangesOnlyTheFieldThatHasTheFocusAndElseScrollsTheForm)
{
    acquire(path("unused.bmp"), [&](QDialog &d) {
        ASSERT_TRUE(waitForOptions(d));
        d.findChild<QAbstractButton *>(QStringLiteral("advancedToggle"))->click();
        ASSERT_TRUE(applySettings(d, {{"enable-test-options", "yes"}}));
        QApplication::processEvents();
        auto *area = d.findChild<QScrollArea *>(QStringLiteral("optionsArea"));
        auto *spin = d.findChild<QDoubleSpinBox *>(QStringLiteral("br-y"));
        ASSERT_NE(spin, nullptr);
        const auto wheel = [](QWidget *w) {
            QWheelEvent down(QPointF(5, 5), w->mapToGlobal(QPointF(5, 5)), {}, QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                             Qt::NoScrollPhase, false);
            QApplication::sendEvent(w, &down);
        };
        d.findChild<QWidget *>(QStringLiteral("scan"))->setFocus();
        const double before = spin->value();
        wheel(spin);
        EXPECT_EQ(spin->value(), before);
        EXPECT_GT(area->verticalScrollBar()->value(), 0) << "the form scrolls instead";
        spin->setFocus();
        ASSERT_TRUE(waitFor([&] { return spin->hasFocus(); }, 2000));
        wheel(spin);
        EXPECT_NE(spin->value(), before);
    });
}

TEST_F(Dialog, DuringAScanTheFormStaysPutDisabledWithProgressAndAbbrechenBelowIt)
{
    acquire(path("slow.bmp"), [&](QDialog &d) {
        ASSERT_TRUE(waitForOptions(d));
        d.findChild<QAbstractButton *>(QStringLiteral("advancedToggle"))->click();
        ASSERT_TRUE(applySettings(d, {{"resolution", "300"}, {"read-delay", "yes"}, {"read-delay-duration", "200000"}}));
        QApplication::processEvents();
        auto *area = d.findChild<QScrollArea *>(QStringLiteral("optionsArea"));
        area->verticalScrollBar()->setValue(area->verticalScrollBar()->maximum() / 2);
        auto *field = d.findChild<QWidget *>(QStringLiteral("read-delay-duration"));
        const QRect areaBefore = area->geometry();
        const QPoint fieldBefore = field->mapTo(&d, QPoint(0, 0));
        const int scrolled = area->verticalScrollBar()->value();
        pressButton(d, "scan");
        auto *bar = d.findChild<QProgressBar *>(QStringLiteral("progress"));
        ASSERT_TRUE(waitFor([&] { return bar->isVisible() && bar->value() > 0; }));
        EXPECT_FALSE(area->widget()->isEnabled());
        EXPECT_TRUE(field->isVisible());
        EXPECT_EQ(area->geometry(), areaBefore);
        EXPECT_EQ(field->mapTo(&d, QPoint(0, 0)), fieldBefore);
        EXPECT_EQ(area->verticalScrollBar()->value(), scrolled);
        auto *cancel = d.findChild<QWidget *>(QStringLiteral("cancel"));
        EXPECT_TRUE(cancel->isEnabled());
        EXPECT_GT(bar->mapTo(&d, QPoint(0, 0)).y(), area->geometry().bottom());
        EXPECT_GT(cancel->mapTo(&d, QPoint(0, 0)).y(), area->geometry().bottom());
        pressButton(d, "cancel");
        EXPECT_TRUE(waitFor([&] { return d.findChild<QWidget *>(QStringLiteral("scan"))->isEnabled(); }));
    });
}

// ---- Remembered settings across runs ------------------------------------------------

// Runs one test of this program in a new process with the given configuration home, as
// the program's next start would find it.
void runAgain(const char *test, const QString &home)
{
    QProcess run;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QString::fromLatin1(phaseHome), home);
    run.setProcessEnvironment(env);
    run.setProcessChannelMode(QProcess::MergedChannels);
    run.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--gtest_filter=Run.") + QLatin1String(test)});
    ASSERT_TRUE(run.waitForFinished(120000));
    const QByteArray output = run.readAll();
    EXPECT_EQ(run.exitCode(), 0) << output.toStdString();
    EXPECT_TRUE(output.contains("[  PASSED  ] 1 test")) << output.toStdString();
}

// The runs themselves: each only when a restart test starts it.
class Run : public testing::Test {
protected:
    void SetUp() override
    {
        if (qEnvironmentVariableIsEmpty(phaseHome))
            GTEST_SKIP() << "started by the restart tests";
        qputenv("XDG_CONFIG_HOME", qgetenv(phaseHome));
    }
    std::int16_t acquire(const std::function<void(QDialog &)> &script)
    {
        return withDialog([&] { return AcquireToFile(owner_.id(), QFile::encodeName(dir_.filePath("x.bmp")).constData()); },
                          script);
    }
    QTemporaryDir dir_;
    OwnerWindow owner_;
};

TEST_F(Run, ChooseTheSecondScannerAndSetItUp)
{
    withSourceList(owner_, 2, [](QDialog &d, QTreeWidget &list) {
        list.setCurrentItem(list.topLevelItem(1));
        QTest::keyClick(&d, Qt::Key_Return);
    });
    acquire([&](QDialog &d) {
        ASSERT_TRUE(waitForOptions(d));
        // Three-pass is enabled only by the colour mode.
        ASSERT_TRUE(applySettings(d, {{"mode", "Color"}, {"three-pass", "yes"}, {"resolution", "300"}}));
        d.findChild<QAbstractButton *>(QStringLiteral("advancedToggle"))->click();
        d.resize(700, 600);
        pressButton(d, "cancel");
    });
}

TEST_F(Run, FindItAllAsItWasLeft)
{
    acquire([&](QDialog &d) {
        ASSERT_TRUE(waitForOptions(d));
        EXPECT_EQ(d.findChild<QLabel *>(QStringLiteral("device"))->text(),
                  QStringLiteral("Noname frontend-tester <small>(test:1)</small>"));
        EXPECT_EQ(d.findChild<QComboBox *>(QStringLiteral("mode"))->currentData().toString(), QStringLiteral("Color"));
        EXPECT_TRUE(d.findChild<QCheckBox *>(QStringLiteral("three-pass"))->isChecked());
        EXPECT_EQ(d.findChild<QComboBox *>(QStringLiteral("resolution"))->currentText(), QStringLiteral("300 dpi"));
        EXPECT_TRUE(d.findChild<QWidget *>(QStringLiteral("advanced"))->isVisibleTo(&d));
        EXPECT_EQ(d.size(), QSize(700, 600));
        EXPECT_EQ(shownMessage(d), QString());
        pressButton(d, "cancel");
    });
}

TEST_F(Run, FindTheFirstScannerAsTheDeviceSetsIt)
{
    acquire([&](QDialog &d) {
        ASSERT_TRUE(waitForOptions(d));
        auto *device = d.findChild<QLabel *>(QStringLiteral("device"));
        EXPECT_TRUE(waitFor([&] { return device->text().contains(QStringLiteral("(test:0)")); })) << device->text().toStdString();
        EXPECT_EQ(d.findChild<QComboBox *>(QStringLiteral("mode"))->currentData().toString(), QStringLiteral("Gray"));
        EXPECT_FALSE(d.findChild<QCheckBox *>(QStringLiteral("three-pass"))->isChecked());
        EXPECT_EQ(d.findChild<QComboBox *>(QStringLiteral("resolution"))->currentText(), QStringLiteral("50 dpi"));
        EXPECT_EQ(d.size(), QSize(900, 560)); // the default with the preview pane beside the form
        EXPECT_EQ(shownMessage(d), QString());
        pressButton(d, "cancel");
    });
}

TEST(Remembered, SourceOptionsAndSizesSurviveARestartAndBadValuesArePassedOver)
{
    QTemporaryDir home;
    const QString file = home.filePath(QStringLiteral("vistoramo/vistoramo.ini"));
    runAgain("ChooseTheSecondScannerAndSetItUp", home.path());
    ASSERT_TRUE(QFile::exists(file));
    runAgain("FindItAllAsItWasLeft", home.path());

    // Edited by hand: a scanner that is gone, and for the first scanner, which then takes its
    // place, values the device does not take; a size that is none.
    QFile ini(file);
    ASSERT_TRUE(ini.open(QIODevice::ReadOnly));
    QByteArray text = ini.readAll();
    ini.close();
    for (const auto &[from, to] : {std::pair<QByteArray, QByteArray>{"=test:1", "=weg:7"},
                                   {"test%3A1", "test%3A0"},
                                   {"=Color", "=Sepia"},
                                   {"resolution=300", "resolution=99999"},
                                   {"three-pass=1", "three-pass=vielleicht"},
                                   {"@Size(700 600)", "@Size(700"}}) {
        ASSERT_TRUE(text.contains(from)) << from.toStdString() << " in\n" << text.toStdString();
        text.replace(from, to);
    }
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ini.write(text);
    ini.close();
    runAgain("FindTheFirstScannerAsTheDeviceSetsIt", home.path());
}

TEST(Remembered, ADamagedFileIsIgnoredAndReplaced)
{
    QTemporaryDir home;
    const QString file = home.filePath(QStringLiteral("vistoramo/vistoramo.ini"));
    runAgain("ChooseTheSecondScannerAndSetItUp", home.path());
    QFile ini(file);
    ASSERT_TRUE(ini.open(QIODevice::ReadWrite));
    QByteArray text = ini.readAll();
    ASSERT_TRUE(ini.resize(0));
    ini.write(QByteArray("\xff\xfe\0[[[\n=\n\x01\x02", 12) + text.left(text.size() / 3).replace('=', '\0'));
    ini.close();
    runAgain("FindTheFirstScannerAsTheDeviceSetsIt", home.path());
    const QSettings again(file, QSettings::IniFormat);
    EXPECT_EQ(again.status(), QSettings::NoError);
    EXPECT_EQ(again.value(QStringLiteral("Scannen/Groesse")).toSize(), QSize(900, 560)) << "written anew on closing";
}

// The settings file is read and written only as a regular file: a pipe, a directory or a
// device in its place is said so and left alone, and the dialog works with the defaults.
TEST_F(Dialog, ASettingsFileThatIsNoRegularFileIsRefusedAndTheDialogWorks)
{
    const QByteArray dir = QFile::encodeName(home_.filePath(QStringLiteral("vistoramo")));
    const QByteArray ini = dir + "/vistoramo.ini";
    const std::vector<std::pair<const char *, std::function<void()>>> kinds{
        {"pipe", [&] { ASSERT_EQ(::mkfifo(ini.constData(), 0600), 0); }},
        {"directory", [&] { ASSERT_EQ(::mkdir(ini.constData(), 0700), 0); }},
        {"device", [&] { ASSERT_EQ(::symlink("/dev/zero", ini.constData()), 0); }},
    };
    for (const auto &[kind, make] : kinds) {
        QDir(QString::fromLocal8Bit(dir)).removeRecursively();
        ASSERT_EQ(::mkdir(dir.constData(), 0700), 0);
        make();
        QString message;
        acquire(path("x.bmp"), [&](QDialog &d) {
            ASSERT_TRUE(waitForOptions(d));
            message = shownMessage(d);
            d.resize(640, 480);
            pressButton(d, "cancel");
        });
        EXPECT_TRUE(message.contains(QStringLiteral("keine gewöhnliche Datei"))) << kind << ": " << message.toStdString();
        struct stat st { };
        ASSERT_EQ(::lstat(ini.constData(), &st), 0) << kind;
        EXPECT_FALSE(S_ISREG(st.st_mode)) << kind << ": replaced";
    }
}

// The lock is waited for a few seconds at most, whatever holds it; closing the dialog then
// goes on without saving.
TEST_F(Dialog, ALockThatIsNeverFreedCostsTheSavingNotTheDialog)
{
    const QString dir = home_.filePath(QStringLiteral("vistoramo"));
    const QString lock = dir + QStringLiteral("/vistoramo.ini.lock");
    ASSERT_TRUE(QDir().mkpath(dir));
    for (const bool asDirectory : {true, false}) {
        QDir(lock).removeRecursively();
        QFile::remove(lock);
        if (asDirectory) {
            ASSERT_TRUE(QDir().mkpath(lock));
        } else { // held by a live process, this one, as QLockFile writes it
            QLockFile held(lock);
            ASSERT_TRUE(held.tryLock(0));
            QFile copy(lock);
            ASSERT_TRUE(copy.open(QIODevice::ReadOnly));
            const QByteArray content = copy.readAll();
            copy.close();
            held.unlock();
            ASSERT_TRUE(copy.open(QIODevice::WriteOnly));
            copy.write(content);
        }
        acquire(path("x.bmp"), [&](QDialog &d) {
            ASSERT_TRUE(waitForOptions(d));
            d.resize(640, 480);
            pressButton(d, "cancel");
        });
        EXPECT_FALSE(QFile::exists(dir + QStringLiteral("/vistoramo.ini"))) << asDirectory;
    }
}

// A home whose name is no UTF-8 still gets the settings saved, under its very bytes.
TEST_F(Dialog, SettingsAreSavedUnderAHomeWhoseNameIsNoUtf8)
{
    const QByteArray home = QFile::encodeName(home_.path())
        + "/Gr\xfc\xdf"
          "e";
    ASSERT_EQ(::mkdir(home.constData(), 0700), 0);
    const QByteArray oldHome = qgetenv("HOME"), oldConfig = qgetenv("XDG_CONFIG_HOME");
    qputenv("HOME", home);
    qunsetenv("XDG_CONFIG_HOME");
    acquire(path("x.bmp"), [&](QDialog &d) {
        ASSERT_TRUE(waitForOptions(d));
        d.resize(640, 480);
        pressButton(d, "cancel");
    });
    qputenv("HOME", oldHome);
    qputenv("XDG_CONFIG_HOME", oldConfig);
    QFile ini;
    const QByteArray file = home + "/.config/vistoramo/vistoramo.ini";
    const int fd = ::open(file.constData(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0) << "not saved";
    ASSERT_TRUE(ini.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle));
    EXPECT_TRUE(ini.readAll().contains("@Size(640 480)"));
}

} // namespace
