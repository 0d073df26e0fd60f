// A stand-in for the scanner library in the program's tests: it writes a prepared file to
// the path it is given and returns what the test asked for. The real library is tested on
// its own against SANE.

#include "scanlib/api/VistoramoScan.h"

#include <QFile>
#include <QString>
#include <cstdint>
#include <fcntl.h>
#include <unistd.h>

namespace {
struct State {
    int chooseCalls = 0;
    int acquireCalls = 0;
    std::uintptr_t lastOwner = 0;
    QByteArray lastPath; // the system's bytes, as given
    QString source; // copied to the target path, when set
    std::int16_t result = 0; // what AcquireToFile returns
    void (*during)(void *) = nullptr;
    void *context = nullptr;
};
State &state()
{
    static State s;
    return s;
}
} // namespace

extern "C" {

__attribute__((visibility("default"))) void ChooseSource(std::uintptr_t owner) noexcept
{
    ++state().chooseCalls;
    state().lastOwner = owner;
    if (state().during)
        state().during(state().context);
}

__attribute__((visibility("default"))) std::int16_t AcquireToFile(std::uintptr_t owner, const char *path) noexcept
{
    State &s = state();
    ++s.acquireCalls;
    s.lastOwner = owner;
    s.lastPath = path;
    if (s.during)
        s.during(s.context);
    if (!s.source.isEmpty()) {
        // Written through the path's bytes: a directory's name need not be UTF-8.
        QFile source(s.source);
        const QByteArray bytes = source.open(QIODevice::ReadOnly) ? source.readAll() : QByteArray();
        ::unlink(path);
        const int fd = ::open(path, O_WRONLY | O_CREAT | O_EXCL, 0644);
        if (fd >= 0) {
            if (::write(fd, bytes.constData(), static_cast<size_t>(bytes.size())) != bytes.size())
                s.result = 1;
            ::close(fd);
        }
    }
    return s.result;
}

// The test's controls.
__attribute__((visibility("default"))) void FakeScan_Set(const char *source, std::int16_t result, void (*during)(void *),
                                                         void *context)
{
    State &s = state();
    s.source = source ? QFile::decodeName(source) : QString();
    s.result = result;
    s.during = during;
    s.context = context;
}

__attribute__((visibility("default"))) int FakeScan_Calls(int which)
{
    return which == 0 ? state().chooseCalls : state().acquireCalls;
}

__attribute__((visibility("default"))) std::uintptr_t FakeScan_LastOwner()
{
    return state().lastOwner;
}

__attribute__((visibility("default"))) const char *FakeScan_LastPath()
{
    return state().lastPath.constData();
}
}
