#include "ui/ScratchDirectory.h"

#include "base/Errors.h"
#include "base/Paths.h"
#include "runtime/ProgramFiles.h"

#include <QDir>
#include <array>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <vector>

#ifndef VISTORAMO_INSTALL_PREFIX
#define VISTORAMO_INSTALL_PREFIX "/usr/local"
#endif

namespace {

bool inGroup(gid_t gid)
{
    if (gid == ::getegid())
        return true;
    const int n = ::getgroups(0, nullptr);
    if (n <= 0)
        return false;
    std::vector<gid_t> groups(static_cast<size_t>(n));
    const int got = ::getgroups(n, groups.data());
    for (int i = 0; i < got; ++i)
        if (groups[static_cast<size_t>(i)] == gid)
            return true;
    return false;
}

bool isBelow(const QByteArray &path, QByteArray top)
{
    if (top.size() > 1 && top.endsWith('/'))
        top.chop(1);
    return path == top || path.startsWith(top + '/');
}

// Directories of installed software: a program there is shared by every user.
bool isSystemDirectory(const QByteArray &dir)
{
    std::array<char, PATH_MAX> resolved{};
    const QByteArray real = ::realpath(dir.constData(), resolved.data()) ? QByteArray(resolved.data()) : dir;
    for (const char *top : {"/usr", "/opt", VISTORAMO_INSTALL_PREFIX})
        if (isBelow(real, top) || isBelow(dir, top))
            return true;
    return false;
}

// Makes a new private directory under base; empty when that cannot be done.
QByteArray makePrivateDirectory(const QByteArray &base)
{
    if (base.isEmpty() || !isWritableDirectory(rt::decodePath(base)))
        return {};
    // mkdtemp makes a new directory of a unique name with mode 0700; it never reuses an
    // existing entry, so no link planted there can redirect it.
    QByteArray pattern = base + "/vistoramo-XXXXXX";
    return ::mkdtemp(pattern.data()) ? pattern : QByteArray();
}

// Removes a directory and all it holds; links are removed, never followed.
void removeTree(const QByteArray &dir)
{
    if (DIR *d = ::opendir(dir.constData())) {
        while (const dirent *entry = ::readdir(d)) {
            const QByteArray name(entry->d_name);
            if (name == "." || name == "..")
                continue;
            const QByteArray path = dir + '/' + name;
            struct stat st { };
            if (::lstat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode))
                removeTree(path);
            else
                ::unlink(path.constData());
        }
        ::closedir(d);
    }
    ::rmdir(dir.constData());
}

} // namespace

bool isWritableDirectory(const QString &dir)
{
    const QByteArray path = rt::encodePath(dir);
    struct stat st { };
    if (::stat(path.constData(), &st) != 0 || !S_ISDIR(st.st_mode))
        return false;
    struct statvfs fs { };
    if (::statvfs(path.constData(), &fs) == 0 && (fs.f_flag & ST_RDONLY))
        return false;
    const mode_t bit = st.st_uid == ::geteuid() ? S_IWUSR : inGroup(st.st_gid) ? S_IWGRP : S_IWOTH;
    return (st.st_mode & bit) && ::access(path.constData(), W_OK | X_OK) == 0;
}

bool isOwnProgramDirectory(const QString &dir)
{
    const QByteArray path = rt::encodePath(dir);
    struct stat st { };
    return ::stat(path.constData(), &st) == 0 && st.st_uid == ::geteuid() && isWritableDirectory(dir) && !isSystemDirectory(path);
}

ScratchDirectory::ScratchDirectory(const QString &programDir, const QString &name)
{
    if (isOwnProgramDirectory(programDir) && lockProgramDirectory(programDir, name)) {
        path_ = withTrailingSeparator(programDir);
        ::unlink(rt::encodePath(path_ + name).constData()); // an earlier run's, or a link
        return;
    }
    QByteArray dir = makePrivateDirectory(qgetenv("XDG_RUNTIME_DIR"));
    if (dir.isEmpty())
        dir = makePrivateDirectory(qEnvironmentVariableIsEmpty("TMPDIR") ? QByteArray("/tmp") : qgetenv("TMPDIR"));
    if (dir.isEmpty())
        rt::raise(rt::ErrorCode::PathFileAccess, QStringLiteral("Kein beschreibbares Verzeichnis für die Bilddatei"));
    path_ = withTrailingSeparator(rt::decodePath(dir));
    private_ = true;
}

// The lock file beside the temporary file. The holder deletes it before letting go, so a
// copy that locked a file no longer in the directory has not got the lock: it checks that
// the file it locked is the one under the name.
bool ScratchDirectory::lockProgramDirectory(const QString &dir, const QString &name)
{
    const QByteArray path = rt::encodePath(withTrailingSeparator(dir) + name + QStringLiteral(".lock"));
    const int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    struct stat locked {
    }, named{};
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::fstat(fd, &locked) != 0 || ::lstat(path.constData(), &named) != 0
        || locked.st_dev != named.st_dev || locked.st_ino != named.st_ino) {
        ::close(fd);
        return false;
    }
    lock_ = fd;
    lockPath_ = path;
    return true;
}

ScratchDirectory::~ScratchDirectory()
{
    if (private_)
        removeTree(rt::encodePath(path_).chopped(1));
    if (lock_ >= 0) {
        ::unlink(lockPath_.constData());
        ::close(lock_);
    }
}
