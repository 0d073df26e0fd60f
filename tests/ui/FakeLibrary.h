#pragma once
// The fake scanner library (tests/fakescan), copied into a test's program directory under
// the real library's name, and its controls.

#include "TestSupport.h"
#include "base/Paths.h"
#include "scanlib-loader/Scanner.h"

#include <QFile>
#include <cstdint>
#include <dlfcn.h>
#include <fcntl.h>
#include <functional>
#include <stdexcept>
#include <unistd.h>

// The fake library, copied into the program directory under the real library's name.
class FakeLibrary {
public:
    explicit FakeLibrary(const ProgramDir &dir) : FakeLibrary(rt::encodePath(dir.path())) { }
    // In a directory named by the system's bytes.
    explicit FakeLibrary(const QByteArray &dir)
    {
        const QByteArray target = dir + '/' + Scanner::libraryFileName;
        QFile source(QStringLiteral(FAKESCAN_PATH));
        const int fd = ::open(target.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0755);
        const QByteArray bytes = source.open(QIODevice::ReadOnly) ? source.readAll() : QByteArray();
        const bool written = fd >= 0 && ::write(fd, bytes.constData(), static_cast<size_t>(bytes.size())) == bytes.size();
        if (fd >= 0)
            ::close(fd);
        if (bytes.isEmpty() || !written)
            throw std::runtime_error("cannot copy the fake library");
        handle_ = ::dlopen(target.constData(), RTLD_NOW | RTLD_LOCAL);
        if (!handle_)
            throw std::runtime_error(::dlerror());
        set_ = reinterpret_cast<decltype(set_)>(::dlsym(handle_, "FakeScan_Set"));
        calls_ = reinterpret_cast<decltype(calls_)>(::dlsym(handle_, "FakeScan_Calls"));
        owner_ = reinterpret_cast<decltype(owner_)>(::dlsym(handle_, "FakeScan_LastOwner"));
        path_ = reinterpret_cast<decltype(path_)>(::dlsym(handle_, "FakeScan_LastPath"));
    }
    // The library writes `source` to its target path, runs `during` while "scanning" and
    // returns `result`.
    void set(const QString &source, std::int16_t result, std::function<void()> during = {})
    {
        during_ = std::move(during);
        source_ = QFile::encodeName(source);
        set_(source.isEmpty() ? nullptr : source_.constData(), result, &FakeLibrary::runDuring, this);
    }
    int chooseCalls() const { return calls_(0); }
    int acquireCalls() const { return calls_(1); }
    std::uintptr_t lastOwner() const { return owner_(); }
    QString lastPath() const { return rt::decodePath(path_()); }

private:
    static void runDuring(void *self)
    {
        auto *me = static_cast<FakeLibrary *>(self);
        if (me->during_)
            me->during_();
    }
    void *handle_ = nullptr;
    void (*set_)(const char *, std::int16_t, void (*)(void *), void *) = nullptr;
    int (*calls_)(int) = nullptr;
    std::uintptr_t (*owner_)() = nullptr;
    const char *(*path_)() = nullptr;
    std::function<void()> during_;
    QByteArray source_;
};
