// A helper that is missing, of another protocol version, or that talks nonsense costs the
// operation and is reported in the dialog; the library never reads beyond what it got.
// Each case puts a copy of the library beside a stand-in helper of its own.

#include "ScanTestSupport.h"

#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct HelperCase {
    const char *name;
    const char *script; // the stand-in helper, a shell script; nullptr for none
    const char *words; // what the dialog must say
};

void PrintTo(const HelperCase &c, std::ostream *out)
{
    *out << c.name;
}

class BrokenHelper : public testing::TestWithParam<HelperCase> { };

TEST_P(BrokenHelper, IsReportedInTheDialogWhichCloses)
{
    const HelperCase &c = GetParam();
    QTemporaryDir dir;
    const QString library = dir.filePath(QStringLiteral(VISTORAMO_SCAN_LIBRARY));
    ASSERT_TRUE(QFile::copy(QStringLiteral(VISTORAMO_LIBRARY_FILE), library));
    if (c.script) {
        QFile helper(dir.filePath(QStringLiteral("vistoramo-scanner")));
        ASSERT_TRUE(helper.open(QIODevice::WriteOnly));
        helper.write(QByteArray("#!/bin/sh\n") + c.script + "\n");
        helper.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }
    void *handle = ::dlopen(QFile::encodeName(library).constData(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle, nullptr) << ::dlerror();
    const auto acquire = reinterpret_cast<AcquireToFileFunction>(::dlsym(handle, "AcquireToFile"));
    ASSERT_NE(acquire, nullptr);

    OwnerWindow owner;
    QTemporaryDir scans;
    QString message;
    bool closed = false;
    const std::int16_t result = withDialog(
        [&] { return acquire(owner.id(), QFile::encodeName(scans.filePath(QStringLiteral("scan.bmp"))).constData()); },
        [&](QDialog &d) {
            waitFor([&] { return !shownMessage(d).isEmpty(); });
            message = shownMessage(d);
            pressButton(d, "cancel");
            closed = !d.isVisible();
        });
    EXPECT_TRUE(message.contains(QString::fromUtf8(c.words))) << message.toStdString();
    EXPECT_TRUE(closed);
    EXPECT_EQ(result, VISTORAMO_NOT_ACQUIRED);
    EXPECT_EQ(strayFiles(scans.path()), QStringList());
}

// The greeting: length 9, kind 64, the magic number, the version; little-endian.
#define GREETING "\\011\\000\\000\\000\\100\\116\\103\\123\\126"

INSTANTIATE_TEST_SUITE_P(Library, BrokenHelper,
                         testing::Values(HelperCase{"Missing", nullptr, "lässt sich nicht starten"},
                                         HelperCase{"OtherVersion", "printf '" GREETING "\\143\\000\\000\\000'; exec sleep 60",
                                                    "abgestürzt (unverständliche Antwort)"},
                                         HelperCase{"OversizedMessage", "printf '\\377\\377\\377\\377'; exec sleep 60",
                                                    "abgestürzt (unverständliche Antwort)"},
                                         HelperCase{"LyingAnswer",
                                                    // an answer to the opening whose error text claims 1000 bytes of 9
                                                    "printf '" GREETING "\\001\\000\\000\\000\\011\\000\\000\\000\\102"
                                                    "\\000\\000\\000\\000\\350\\003\\000\\000'; exec sleep 60",
                                                    "abgestürzt (unverständliche Antwort)"},
                                         HelperCase{"EndsAtOnce", "exit 3", "abgestürzt (Ende mit Code 3)"}),
                         [](const testing::TestParamInfo<HelperCase> &param) { return std::string(param.param.name); });

// A program directory whose name is no UTF-8 (a Latin-1 "ä"): the library and its helper
// there scan from SANE's test scanner into the scan file beside them.
TEST(ProgramDirectory, WhoseNameIsNoUtf8TakesTheScanFile)
{
    useSaneConfig(Backends::TestOnly);
    QTemporaryDir parent;
    const QByteArray dir = QFile::encodeName(parent.path()) + "/Ger\xe4te";
    ASSERT_EQ(::mkdir(dir.constData(), 0755), 0);
    const auto copy = [&](const char *from, const QByteArray &name) {
        QFile source(QString::fromUtf8(from));
        const int fd = ::open((dir + '/' + name).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0755);
        const QByteArray bytes = source.open(QIODevice::ReadOnly) ? source.readAll() : QByteArray();
        const bool done
            = fd >= 0 && !bytes.isEmpty() && ::write(fd, bytes.constData(), std::size_t(bytes.size())) == bytes.size();
        if (fd >= 0)
            ::close(fd);
        return done;
    };
    ASSERT_TRUE(copy(VISTORAMO_LIBRARY_FILE, VISTORAMO_SCAN_LIBRARY));
    ASSERT_TRUE(copy(VISTORAMO_HELPER_FILE, "vistoramo-scanner"));
    void *handle = ::dlopen((dir + "/" VISTORAMO_SCAN_LIBRARY).constData(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle, nullptr) << ::dlerror();
    const auto acquire = reinterpret_cast<AcquireToFileFunction>(::dlsym(handle, "AcquireToFile"));
    ASSERT_NE(acquire, nullptr);

    OwnerWindow owner;
    const QByteArray file = dir + "/Temp.bmp";
    QString message = QStringLiteral("(kein Dialog)");
    const std::int16_t result = withDialog([&] { return acquire(owner.id(), file.constData()); },
                                           [&](QDialog &d) {
                                               if (waitForOptions(d))
                                                   message = pressScan(d);
                                           });
    EXPECT_TRUE(message.isEmpty()) << message.toStdString();
    EXPECT_EQ(result, VISTORAMO_ACQUIRED);
    QByteArray bytes;
    if (const int fd = ::open(file.constData(), O_RDONLY | O_CLOEXEC); fd >= 0) {
        char chunk[65536];
        for (ssize_t n; (n = ::read(fd, chunk, sizeof chunk)) > 0;)
            bytes.append(chunk, n);
        ::close(fd);
    }
    EXPECT_FALSE(QImage::fromData(bytes, "BMP").isNull()) << "no picture in Temp.bmp";
    for (const char *name : {"/Temp.bmp", "/vistoramo-scanner", "/" VISTORAMO_SCAN_LIBRARY})
        ::unlink((dir + name).constData());
    EXPECT_EQ(::rmdir(dir.constData()), 0) << "something else stayed in the directory";
}

} // namespace
