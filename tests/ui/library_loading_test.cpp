// A scanner library that cannot be loaded: both scanner commands say which file and why, in
// one message titled like the window; nothing blocks and nothing ends the program.

#include "TestSupport.h"
#include "runtime/System.h"
#include "scanlib-loader/Scanner.h"
#include "ui/Root.h"

#include <QDir>
#include <QFile>
#include <QPushButton>
#include <cstring>
#include <elf.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The library cut off halfway through its loadable segments.
QByteArray cutShort(const QByteArray &library)
{
    Elf64_Ehdr h{};
    std::memcpy(&h, library.constData(), sizeof h);
    quint64 end = 0;
    for (int i = 0; i < h.e_phnum; ++i) {
        Elf64_Phdr ph{};
        std::memcpy(&ph, library.constData() + h.e_phoff + static_cast<quint64>(i) * sizeof ph, sizeof ph);
        if (ph.p_type == PT_LOAD)
            end = std::max<quint64>(end, ph.p_offset + ph.p_filesz);
    }
    return library.left(static_cast<qsizetype>(end / 2));
}

} // namespace

TEST(LibraryLoading, EveryUnloadableLibraryGivesTheSameMessageForBothCommands)
{
    const QString name = QLatin1String(Scanner::libraryFileName);
    const QByteArray real = fileBytes(QStringLiteral(REAL_SCANLIB_PATH));
    const QByteArray fake = fileBytes(QStringLiteral(FAKESCAN_PATH));
    ASSERT_GT(real.size(), 4096);
    QByteArray foreign = fake; // the same library, built for another machine
    foreign[18] = static_cast<char>(EM_AARCH64);
    foreign[19] = 0;
    QByteArray otherClass = fake;
    otherClass[EI_CLASS] = ELFCLASS32;

    const std::vector<std::tuple<const char *, QString, std::function<void(ProgramDir &)>>> cases{
        {"fifo", "keine gewöhnliche Datei",
         [&](ProgramDir &d) { ASSERT_EQ(::mkfifo(QFile::encodeName(d.file(name)).constData(), 0600), 0); }},
        {"directory", "keine gewöhnliche Datei", [&](ProgramDir &d) { ASSERT_TRUE(QDir(d.path()).mkdir(name)); }},
        {"the real library cut short", "die Datei ist unvollständig", [&](ProgramDir &d) { d.write(name, cutShort(real)); }},
        {"another machine's library", "keine Programmbibliothek für diesen Rechner",
         [&](ProgramDir &d) { d.write(name, foreign); }},
        {"a 32-bit library", "keine Programmbibliothek für diesen Rechner", [&](ProgramDir &d) { d.write(name, otherClass); }},
        {"text", "keine Programmbibliothek für diesen Rechner", [&](ProgramDir &d) { d.write(name, "kein ELF"); }},
        {"missing its own dependency", "libfakescan_missingdep.so",
         [&](ProgramDir &d) { ASSERT_TRUE(QFile::copy(QStringLiteral(FAKESCAN_NODEP_PATH), d.file(name))); }},
        {"lacking the entries", "ChooseSource oder AcquireToFile fehlt",
         [&](ProgramDir &d) { ASSERT_TRUE(QFile::copy(QStringLiteral(FAKESCAN_MISSINGDEP_PATH), d.file(name))); }},
        {"missing altogether", "die Datei ist nicht vorhanden", [](ProgramDir &) {}},
    };
    for (const auto &[what, reason, make] : cases) {
        SCOPED_TRACE(what);
        ProgramDir dir;
        make(dir);
        Root root;
        root.show();
        MessageBoxWatcher watcher;
        root.BGerät.button()->click();
        root.BScannen.button()->click();
        ASSERT_EQ(watcher.shown().size(), 2u);
        const QString expected = QStringLiteral("Die Scanner-Bibliothek %1 kann nicht geladen werden: ").arg(dir.file(name));
        for (const ShownMessage &shown : watcher.shown()) {
            EXPECT_EQ(shown.title, QStringLiteral(" Vistoramo"));
            EXPECT_TRUE(shown.information);
            EXPECT_TRUE(shown.text.startsWith(expected)) << shown.text.toStdString();
            EXPECT_TRUE(shown.text.contains(reason)) << shown.text.toStdString();
            EXPECT_TRUE(shown.text.endsWith(QStringLiteral(".  ")));
        }
        EXPECT_EQ(watcher.shown()[0].text, watcher.shown()[1].text);
        EXPECT_EQ(rt::mousePointer(), rt::MousePointer::Default);
        EXPECT_TRUE(root.Picture2.picture().isEmpty());
    }
}
