// Where the scan file goes and that nothing of it stays behind; one scanner command at a time.

#include "FakeLibrary.h"
#include "TestSupport.h"
#include "base/Paths.h"
#include "runtime/ProgramFiles.h"
#include "runtime/System.h"
#include "ui/Root.h"
#include "ui/ScratchDirectory.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QPushButton>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>

namespace {

// Sets an environment variable for as long as it lives.
class Env {
public:
    Env(const char *name, const QByteArray &value) : name_(name), old_(qgetenv(name)), had_(qEnvironmentVariableIsSet(name))
    {
        qputenv(name, value);
    }
    ~Env() { had_ ? qputenv(name_, old_) : qunsetenv(name_); }

private:
    const char *name_;
    QByteArray old_;
    bool had_;
};

bool isEmptyDirectory(const QString &dir)
{
    return QDir(dir).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden | QDir::System).isEmpty();
}

struct ScanFile : ::testing::Test {
    ProgramDir dir;
    FakeLibrary library{dir};
    Root root;
    std::vector<ShownMessage> messages;
    // Private directories go here, and the temporary directory is the test's own too.
    QString runtime = dir.file("runtime"), tmp = dir.file("tmp");
    Env runtimeEnv{"XDG_RUNTIME_DIR", QFile::encodeName(runtime)};
    Env tmpEnv{"TMPDIR", QFile::encodeName(tmp)};
    QString source = dir.file("scan-source.bmp");
    QString scratch; // where the library was asked to write, seen while it runs

    void SetUp() override
    {
        ASSERT_TRUE(QDir().mkpath(runtime) && QDir().mkpath(tmp));
        ASSERT_TRUE(QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        patternImage(90, 70).save(source, "BMP");
        library.set(source, 0, [this] { scratch = QFileInfo(library.lastPath()).absolutePath(); });
        root.show();
    }
    void scan()
    {
        MessageBoxWatcher watcher;
        root.BScannen.button()->click();
        messages = watcher.shown();
    }
    void expectShownFromPrivateDirectoryUnder(const QString &base)
    {
        EXPECT_TRUE(messages.empty());
        EXPECT_EQ(root.Picture2.picture().image().size(), QSize(90, 70));
        EXPECT_EQ(QFileInfo(scratch).absolutePath(), QFileInfo(base).absoluteFilePath());
        EXPECT_FALSE(QFileInfo::exists(scratch)) << "the private directory stayed";
    }
    void makeProgramDirectoryReadOnly() const
    {
        ASSERT_TRUE(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner));
    }
    void TearDown() override { QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner); }
};

} // namespace

TEST_F(ScanFile, AnotherCopyScanningIntoTheProgramDirectorySendsThisOneToAPrivateDirectory)
{
    // The other copy holds the lock beside the scan file; the lock is a file of its own.
    scan();
    ASSERT_EQ(library.lastPath(), dir.path() + "/Temp.bmp");
    const QStringList left = QDir(dir.path()).entryList({"Temp.bmp*"});
    EXPECT_TRUE(left.isEmpty()) << left.join(' ').toStdString();

    const int other = ::open(QFile::encodeName(dir.file("Temp.bmp.lock")).constData(), O_RDWR | O_CREAT, 0600);
    ASSERT_GE(other, 0);
    ASSERT_EQ(::flock(other, LOCK_EX), 0);
    scan();
    expectShownFromPrivateDirectoryUnder(runtime);
    ::close(other);
}

TEST_F(ScanFile, AWrittenScanThatCannotBeShownMovesToThePicturesAndNoPrivateDirectoryStays)
{
    makeProgramDirectoryReadOnly();
    const QString home = tmp + "/home";
    Env homeEnv{"HOME", QFile::encodeName(home)};
    Env configEnv{"XDG_CONFIG_HOME", QFile::encodeName(home + "/.config")};
    dir.write("../junk.bin", "keine Bitmap");
    library.set(QFileInfo(dir.path() + "/../junk.bin").absoluteFilePath(), 0);
    scan();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_TRUE(root.Picture2.picture().isEmpty());
    EXPECT_TRUE(isEmptyDirectory(runtime));
    const QStringList kept = QDir(home + "/Pictures").entryList({"Scan *.bmp"});
    ASSERT_EQ(kept.size(), 1) << messages[1].text.toStdString();
    EXPECT_TRUE(messages[1].text.contains(home + "/Pictures/" + kept[0]));
    QFile file(home + "/Pictures/" + kept[0]);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), "keine Bitmap");
    // Cancelled after the library wrote part of a file: the same.
    library.set(source, 1);
    scan();
    EXPECT_TRUE(isEmptyDirectory(runtime));
    QFile::remove(dir.path() + "/../junk.bin");
}

TEST_F(ScanFile, AnUnwritableRuntimeDirectoryFallsBackToTheTemporaryDirectory)
{
    makeProgramDirectoryReadOnly();
    ASSERT_TRUE(QFile::setPermissions(runtime, QFile::ReadOwner | QFile::ExeOwner));
    scan();
    expectShownFromPrivateDirectoryUnder(tmp);
    EXPECT_TRUE(isEmptyDirectory(tmp));
}

TEST_F(ScanFile, ASharedStickyDirectoryWithAnotherUsersTempFileIsLeftAlone)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "handing files to another user needs root";
    const QByteArray program = QFile::encodeName(dir.path());
    const QByteArray foreign = program + "/Temp.bmp";
    dir.write("Temp.bmp", "von jemand anderem");
    ASSERT_EQ(::chown(foreign.constData(), 65534, 65534), 0);
    ASSERT_EQ(::chown(program.constData(), 65534, 65534), 0);
    ASSERT_EQ(::chmod(program.constData(), 01777), 0);
    scan();
    expectShownFromPrivateDirectoryUnder(runtime);
    QFile kept(dir.file("Temp.bmp"));
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), "von jemand anderem");
    ASSERT_EQ(::chown(program.constData(), 0, 0), 0);
}

TEST(ScanFileSystemDirectory, AProgramDirectoryUnderUsrGetsAPrivateDirectory)
{
    // Installed software is shared by all: not even its owner, root, scans into it.
    QTemporaryDir installed(QStringLiteral("/usr/lib/vistoramo-test-XXXXXX"));
    if (!installed.isValid())
        GTEST_SKIP() << "cannot make a directory under /usr";
    ProgramDir runtimeDir;
    Env runtimeEnv{"XDG_RUNTIME_DIR", QFile::encodeName(runtimeDir.path())};
    rt::setProgramDirectoryForTesting(installed.path());
    FakeLibrary library(QFile::encodeName(installed.path()));
    const QString source = runtimeDir.file("source.bmp");
    patternImage(40, 30).save(source, "BMP");
    library.set(source, 0);
    Root root;
    root.show();
    MessageBoxWatcher watcher;
    root.BScannen.button()->click();
    rt::setProgramDirectoryForTesting(QString());
    EXPECT_TRUE(watcher.shown().empty());
    EXPECT_EQ(root.Picture2.picture().image().size(), QSize(40, 30));
    EXPECT_TRUE(library.lastPath().startsWith(runtimeDir.path() + "/vistoramo-")) << library.lastPath().toStdString();
    EXPECT_FALSE(QFileInfo::exists(installed.filePath("Temp.bmp")));
}

TEST(ScanFileSystemDirectory, InstalledSoftwareIsUnderUsrOptOrThePrefixOnly)
{
    const struct {
        const char *dir;
        bool system;
    } cases[] = {
        {"/usr", true},
        {"/usr/lib/vistoramo", true},
        {"/opt", true},
        {"/opt/vistoramo/bin", true},
        {"/optional/vistoramo", false},
        {"/usrlocal", false},
        {"/home/anna/vistoramo", false},
        {"/tmp/opt", false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(isSystemDirectory(c.dir), c.system) << c.dir;
}

TEST(ScanFileNames, AProgramDirectoryWhoseNameIsNoUtf8Works)
{
    ProgramDir parent;
    const QByteArray program = QFile::encodeName(parent.path()) + "/Ger\xe4te"; // Latin-1
    ASSERT_EQ(::mkdir(program.constData(), 0755), 0);
    FakeLibrary library(program);
    patternImage(30, 20).save(parent.file("source.bmp"), "BMP");
    library.set(parent.file("source.bmp"), 0);
    const QByteArray start = program + "/Rastelo.bmp";
    ASSERT_TRUE(QFile::copy(parent.file("source.bmp"), parent.file("start.bmp")));
    ASSERT_EQ(::rename(QFile::encodeName(parent.file("start.bmp")).constData(), start.constData()), 0);

    rt::setProgramDirectoryForTesting(rt::decodePath(program));
    EXPECT_EQ(rt::encodePath(Programmpfad()), program + "/");
    Root root;
    root.show();
    EXPECT_EQ(root.Picture2.picture().image().size(), QSize(30, 20)); // the start picture
    MessageBoxWatcher watcher;
    root.BScannen.button()->click();
    rt::setProgramDirectoryForTesting(QString());
    EXPECT_TRUE(watcher.shown().empty());
    EXPECT_EQ(library.acquireCalls(), 1);
    EXPECT_EQ(rt::encodePath(library.lastPath()), program + "/Temp.bmp") << "the program directory was passed over";
    struct stat st { };
    EXPECT_NE(::lstat((program + "/Temp.bmp").constData(), &st), 0) << "the scan file stayed";
    ::unlink(start.constData());
    ::unlink((program + "/" + Scanner::libraryFileName).constData());
    ::rmdir(program.constData());
}

TEST(Paths, EveryByteSequenceSurvivesTheTripThroughAString)
{
    const QByteArray names[]
        = {"/tmp/Ger\xe4te", "/tmp/Ger\xc3\xa4te", "\xff\xfe/\x80", "a\xed\xa0\x80z", "\xf0\x9f\x93\xb7", "\xe2\x82", ""};
    for (const QByteArray &name : names)
        EXPECT_EQ(rt::encodePath(rt::decodePath(name)), name) << name.toHex().toStdString();
    EXPECT_EQ(rt::decodePath("/tmp/Ger\xc3\xa4te"), QStringLiteral("/tmp/Geräte"));
    EXPECT_EQ(rt::encodePath(QStringLiteral("/tmp/Geräte 📷")), QByteArray("/tmp/Ger\xc3\xa4te \xf0\x9f\x93\xb7"));
}

TEST_F(ScanFile, OneScannerCommandAtATime)
{
    // Alt+G pending while the acquisition lets events run: no source dialog on top of it.
    library.set(source, 0);
    QMetaObject::invokeMethod(
        qApp, [this] { root.BGerät.button()->click(); }, Qt::QueuedConnection);
    scan();
    EXPECT_EQ(library.chooseCalls(), 0);
    EXPECT_EQ(library.acquireCalls(), 1);
    // Alt+B while the source dialog runs: no acquisition under it.
    library.set(source, 0, [this] { root.BScannen.button()->click(); });
    root.BGerät.button()->click();
    EXPECT_EQ(library.chooseCalls(), 1);
    EXPECT_EQ(library.acquireCalls(), 1);
    // Each runs again once the other has ended.
    library.set(source, 0);
    scan();
    root.BGerät.button()->click();
    EXPECT_EQ(library.acquireCalls(), 2);
    EXPECT_EQ(library.chooseCalls(), 2);
}

TEST_F(ScanFile, PlacesThatOthersMayWriteToAreNeverUsed)
{
    // The program's directory open to the group, then both bases open to others: the scan goes
    // to the system's sticky temporary directory instead.
    ASSERT_EQ(::chmod(QFile::encodeName(dir.path()).constData(), 0770), 0);
    scan();
    expectShownFromPrivateDirectoryUnder(runtime);
    for (const QString &base : {runtime, tmp})
        ASSERT_EQ(::chmod(QFile::encodeName(base).constData(), 0777), 0);
    scan();
    expectShownFromPrivateDirectoryUnder("/tmp");
    // A runtime directory that the group may read is not private either.
    ASSERT_EQ(::chmod(QFile::encodeName(runtime).constData(), 0750), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(tmp).constData(), 0700), 0);
    scan();
    expectShownFromPrivateDirectoryUnder(tmp);
}

TEST_F(ScanFile, APrivateDirectoryReplacedByALinkWhileTheScanRunsCostsNothingElse)
{
    makeProgramDirectoryReadOnly();
    const QString victim = dir.file("../victim");
    ASSERT_TRUE(QDir().mkpath(victim));
    dir.write("../victim/brief.txt", "wichtig");
    QString moved;
    library.set(source, 0, [&] {
        scratch = QFileInfo(library.lastPath()).absolutePath();
        moved = scratch + "-moved";
        ASSERT_EQ(::rename(QFile::encodeName(scratch).constData(), QFile::encodeName(moved).constData()), 0);
        ASSERT_EQ(::symlink(QFile::encodeName(victim).constData(), QFile::encodeName(scratch).constData()), 0);
    });
    scan();
    EXPECT_TRUE(QFileInfo::exists(victim + "/brief.txt")) << "the clean-up followed the link";
    EXPECT_TRUE(QFileInfo(scratch).isSymLink()) << "the planted link was removed in the program's place";
    EXPECT_TRUE(isEmptyDirectory(moved)) << "the program's own files stayed";
    QDir(victim).removeRecursively();
}

TEST_F(ScanFile, WhatKilledCopiesLeftIsRemovedAtTheNextScanAndALiveCopysIsNot)
{
    dir.write(".Temp.bmp.AbC123.part", "halber Scan");
    dir.write("Temp.bmp.lock", "");
    const auto privateDir = [this](const char *name) {
        const QString path = runtime + "/" + name;
        EXPECT_TRUE(QDir().mkpath(path));
        QFile(path + "/.lock").open(QIODevice::WriteOnly);
        QFile(path + "/.Temp.bmp.XyZ789.part").open(QIODevice::WriteOnly);
        return path;
    };
    const QString dead = privateDir("vistoramo-dead01"), live = privateDir("vistoramo-live01");
    const int held = ::open(QFile::encodeName(live + "/.lock").constData(), O_RDWR);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    scan();
    EXPECT_TRUE(messages.empty());
    const QStringList left = QDir(dir.path()).entryList({"*Temp.bmp*"}, QDir::Files | QDir::Hidden);
    EXPECT_TRUE(left.isEmpty()) << left.join(' ').toStdString();
    EXPECT_FALSE(QFileInfo::exists(dead));
    EXPECT_TRUE(QFileInfo::exists(live + "/.Temp.bmp.XyZ789.part"));
    ::close(held);
}

TEST_F(ScanFile, ALeftScanFileStaysUntilANewScanSucceedsAndOneThatIsNoFileIsPassedBy)
{
    dir.write("Temp.bmp", "von gestern");
    library.set(QString(), 1);
    scan();
    QFile old(dir.file("Temp.bmp"));
    ASSERT_TRUE(old.open(QIODevice::ReadOnly));
    EXPECT_EQ(old.readAll(), "von gestern");
    old.close();
    // A directory of that name: the scan goes elsewhere, the directory stays as it was.
    ASSERT_TRUE(QFile::remove(dir.file("Temp.bmp")) && QDir().mkpath(dir.file("Temp.bmp/innen")));
    library.set(source, 0, [this] { scratch = QFileInfo(library.lastPath()).absolutePath(); });
    scan();
    expectShownFromPrivateDirectoryUnder(runtime);
    EXPECT_TRUE(QFileInfo(dir.file("Temp.bmp/innen")).isDir());
}
