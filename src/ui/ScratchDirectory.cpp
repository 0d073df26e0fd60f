#include "ui/ScratchDirectory.h"

#include "base/Errors.h"
#include "base/Paths.h"
#include "runtime/ProgramFiles.h"

#include <QDateTime>
#include <QDir>
#include <QStandardPaths>
#include <array>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <vector>

#ifndef VISTORAMO_INSTALL_PREFIX
#define VISTORAMO_INSTALL_PREFIX "/usr/local"
#endif

namespace {

const QByteArray PrivatePrefix = "vistoramo-";
const char LockName[] = ".lock";
// A private directory without its lock that is older than this is taken for a dead run's
// (a live run locks its directory a moment after making it).
constexpr time_t UnlockedGraceSeconds = 60;

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

// Whether the user may create entries in the directory described by st (open on fd): by its
// permission bits for the user, also for root, and not on a read-only file system.
bool mayCreateIn(int fd, const struct stat &st)
{
    struct statvfs fs { };
    if (!S_ISDIR(st.st_mode) || (::fstatvfs(fd, &fs) == 0 && (fs.f_flag & ST_RDONLY)))
        return false;
    const mode_t bit = st.st_uid == ::geteuid() ? S_IWUSR : inGroup(st.st_gid) ? S_IWGRP : S_IWOTH;
    return (st.st_mode & bit) && ::faccessat(fd, ".", W_OK | X_OK, AT_EACCESS) == 0;
}

int openDirectory(int at, const char *name, int extra = 0)
{
    return ::openat(at, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC | extra);
}

bool sameFile(const struct stat &a, const struct stat &b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Removes everything in the directory open on fd; links are removed, never followed.
void removeContents(int fd)
{
    const int listFd = ::dup(fd);
    DIR *d = listFd >= 0 ? ::fdopendir(listFd) : nullptr;
    if (!d) {
        if (listFd >= 0)
            ::close(listFd);
        return;
    }
    std::vector<QByteArray> names;
    while (const dirent *entry = ::readdir(d))
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
            names.emplace_back(entry->d_name);
    ::closedir(d);
    for (const QByteArray &name : names) {
        struct stat st { };
        if (::fstatat(fd, name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        if (S_ISDIR(st.st_mode)) {
            const int sub = openDirectory(fd, name.constData(), O_NOFOLLOW);
            if (sub >= 0) {
                removeContents(sub);
                ::close(sub);
            }
            ::unlinkat(fd, name.constData(), AT_REMOVEDIR);
        } else {
            ::unlinkat(fd, name.constData(), 0);
        }
    }
}

// Removes the directory open on fd and the entry name of base, if that entry still is it.
void removeDirectory(int base, const QByteArray &name, int fd)
{
    removeContents(fd);
    struct stat mine {
    }, named{};
    if (::fstat(fd, &mine) == 0 && ::fstatat(base, name.constData(), &named, AT_SYMLINK_NOFOLLOW) == 0 && sameFile(mine, named))
        ::unlinkat(base, name.constData(), AT_REMOVEDIR);
}

// The names in the directory open on fd that keep is true for.
template <typename Keep>
std::vector<QByteArray> entries(int fd, Keep keep)
{
    std::vector<QByteArray> names;
    const int listFd = ::dup(fd);
    if (DIR *d = listFd >= 0 ? ::fdopendir(listFd) : nullptr) {
        while (const dirent *entry = ::readdir(d))
            if (keep(QByteArray(entry->d_name)))
                names.emplace_back(entry->d_name);
        ::closedir(d);
    } else if (listFd >= 0) {
        ::close(listFd);
    }
    return names;
}

// Removes the private directories under base that runs of the program left when they ended
// without removing them: their lock is no longer held. One that still holds a finished scan
// (keeping it elsewhere failed) is left alone.
void removeDeadPrivateDirectories(int base, const QByteArray &scanName)
{
    const auto isPrivateName
        = [](const QByteArray &name) { return name.size() == PrivatePrefix.size() + 6 && name.startsWith(PrivatePrefix); };
    for (const QByteArray &name : entries(base, isPrivateName)) {
        struct stat st { };
        if (::fstatat(base, name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid())
            continue;
        const int fd = openDirectory(base, name.constData(), O_NOFOLLOW);
        if (fd < 0)
            continue;
        const int lock = ::openat(fd, LockName, O_RDWR | O_NOFOLLOW | O_CLOEXEC);
        const bool dead = lock >= 0 ? ::flock(lock, LOCK_EX | LOCK_NB) == 0
                                    : errno == ENOENT && st.st_mtime + UnlockedGraceSeconds < ::time(nullptr);
        struct stat scan { };
        if (dead && ::fstatat(fd, scanName.constData(), &scan, AT_SYMLINK_NOFOLLOW) != 0)
            removeDirectory(base, name, fd);
        if (lock >= 0)
            ::close(lock);
        ::close(fd);
    }
}

// Opens dir as a base for private directories where that is safe: the user's own and closed
// to everyone else (for the runtime directory, closed to the group too, as its standard asks),
// or the system's sticky temporary directory, where nobody may rename another's entries.
int openSafeBase(const QByteArray &dir, bool runtimeDirectory)
{
    if (dir.isEmpty())
        return -1;
    const int fd = openDirectory(AT_FDCWD, dir.constData());
    struct stat st { };
    if (fd < 0 || ::fstat(fd, &st) != 0) {
        if (fd >= 0)
            ::close(fd);
        return -1;
    }
    const mode_t others = runtimeDirectory ? mode_t{S_IRWXG | S_IRWXO} : mode_t{S_IWGRP | S_IWOTH};
    const bool own = st.st_uid == ::geteuid() && (st.st_mode & others) == 0;
    const bool sticky = !runtimeDirectory && st.st_uid == 0 && (st.st_mode & S_ISVTX);
    if ((!own && !sticky) || !mayCreateIn(fd, st)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// A name for a scan kept in dir that no entry there has yet: "Scan 2026-12-09 14.03.27.bmp".
QByteArray freeKeptName(int dir)
{
    const QByteArray stem = "Scan " + QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH.mm.ss")).toUtf8();
    QByteArray name = stem + ".bmp";
    struct stat st { };
    for (int n = 2; ::fstatat(dir, name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0; ++n)
        name = stem + " (" + QByteArray::number(n) + ").bmp";
    return name;
}

// Copies the file name of from into a new file of to; false, with nothing left, on failure.
bool copyFile(int from, const QByteArray &name, int to, const QByteArray &target)
{
    const int in = ::openat(from, name.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    const int out = ::openat(to, target.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    struct stat st { };
    bool ok = in >= 0 && out >= 0 && ::fstat(in, &st) == 0;
    for (off_t done = 0; ok && done < st.st_size;) {
        const ssize_t n = ::sendfile(out, in, &done, static_cast<size_t>(st.st_size - done));
        ok = n > 0 || (n < 0 && errno == EINTR);
    }
    ok = ok && ::close(out) == 0;
    if (in >= 0)
        ::close(in);
    if (!ok) {
        if (out >= 0)
            ::unlinkat(to, target.constData(), 0);
    }
    return ok;
}

} // namespace

bool isSystemDirectory(const QByteArray &dir)
{
    std::array<char, PATH_MAX> resolved{};
    const QByteArray real = ::realpath(dir.constData(), resolved.data()) ? QByteArray(resolved.data()) : dir;
    for (const char *top : {"/usr", "/opt", VISTORAMO_INSTALL_PREFIX})
        if (isBelow(real, top) || isBelow(dir, top))
            return true;
    return false;
}

bool isWritableDirectory(const QString &dir)
{
    const int fd = openDirectory(AT_FDCWD, rt::encodePath(dir).constData());
    struct stat st { };
    const bool ok = fd >= 0 && ::fstat(fd, &st) == 0 && mayCreateIn(fd, st);
    if (fd >= 0)
        ::close(fd);
    return ok;
}

bool isOwnProgramDirectory(const QString &dir)
{
    const QByteArray path = rt::encodePath(dir);
    struct stat st { };
    return ::stat(path.constData(), &st) == 0 && st.st_uid == ::geteuid() && (st.st_mode & (S_IWGRP | S_IWOTH)) == 0
        && isWritableDirectory(dir) && !isSystemDirectory(path);
}

ScratchDirectory::ScratchDirectory(const QString &programDir, const QString &name, QString *keptAt) : name_(name), keptAt_(keptAt)
{
    removeDeadScratchDirectories(name);
    if (isOwnProgramDirectory(programDir) && lockProgramDirectory(programDir)) {
        path_ = withTrailingSeparator(programDir);
        return;
    }
    if (!makePrivateDirectory())
        rt::raise(rt::ErrorCode::PathFileAccess, QStringLiteral("Kein sicheres Verzeichnis für die Bilddatei gefunden."));
}

// The lock file beside the temporary file. The holder deletes it before letting go, so a
// copy that locked a file no longer in the directory has not got the lock: it checks that
// the file it locked is the one under the name. Whoever holds the lock is the only copy
// scanning into the directory, so staged files found there are a dead copy's, and go.
bool ScratchDirectory::lockProgramDirectory(const QString &dir)
{
    const int dirFd = openDirectory(AT_FDCWD, rt::encodePath(dir).constData());
    if (dirFd < 0)
        return false;
    const QByteArray file = rt::encodePath(name_);
    const QByteArray lockName = file + ".lock";
    struct stat existing { };
    // The scan file's name must be free or a plain file of the user's, which the library's
    // rename may replace; a directory, a link or someone else's file there sends the scan to a
    // private directory.
    const bool nameUsable = ::fstatat(dirFd, file.constData(), &existing, AT_SYMLINK_NOFOLLOW) != 0
        ? errno == ENOENT
        : S_ISREG(existing.st_mode) && existing.st_uid == ::geteuid();
    const int fd = nameUsable ? ::openat(dirFd, lockName.constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600) : -1;
    struct stat locked {
    }, named{};
    if (fd < 0 || ::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::fstat(fd, &locked) != 0
        || ::fstatat(dirFd, lockName.constData(), &named, AT_SYMLINK_NOFOLLOW) != 0 || !sameFile(locked, named)) {
        if (fd >= 0)
            ::close(fd);
        ::close(dirFd);
        return false;
    }
    const QByteArray stagedPrefix = "." + file + ".";
    for (const QByteArray &staged :
         entries(dirFd, [&](const QByteArray &n) { return n.startsWith(stagedPrefix) && n.endsWith(".part"); })) {
        struct stat st { };
        if (::fstatat(dirFd, staged.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode)
            && st.st_uid == ::geteuid())
            ::unlinkat(dirFd, staged.constData(), 0);
    }
    ::close(dirFd);
    lock_ = fd;
    lockPath_ = rt::encodePath(withTrailingSeparator(dir)) + lockName;
    return true;
}

namespace {

// The bases for private directories, in the order they are tried (the flag: the runtime
// directory, which must be closed to the group too).
std::vector<std::pair<QByteArray, bool>> privateBases()
{
    const QByteArray tmp = qEnvironmentVariableIsEmpty("TMPDIR") ? QByteArray("/tmp") : qgetenv("TMPDIR");
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    return {{qgetenv("XDG_RUNTIME_DIR"), true}, {tmp, false}, {"/tmp", false}, {rt::encodePath(cache), false}};
}

} // namespace

bool ScratchDirectory::makePrivateDirectory()
{
    QDir().mkpath(QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation));
    for (const auto &[base, isRuntime] : privateBases()) {
        const int baseFd = openSafeBase(base, isRuntime);
        if (baseFd < 0)
            continue;
        // mkdtemp makes a new directory of a unique name, mode 0700, and never reuses an existing
        // entry; it is made through the base's descriptor, so the base cannot change under it.
        QByteArray pattern = "/proc/self/fd/" + QByteArray::number(baseFd) + "/" + PrivatePrefix + "XXXXXX";
        if (::mkdtemp(pattern.data())) {
            privateName_ = pattern.mid(pattern.lastIndexOf('/') + 1);
            privateFd_ = openDirectory(baseFd, privateName_.constData(), O_NOFOLLOW);
            const int lock
                = privateFd_ >= 0 ? ::openat(privateFd_, LockName, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600) : -1;
            if (lock >= 0 && ::flock(lock, LOCK_EX | LOCK_NB) == 0) {
                baseFd_ = baseFd;
                lock_ = lock;
                path_ = withTrailingSeparator(rt::decodePath(base) + QLatin1Char('/') + rt::decodePath(privateName_));
                return true;
            }
            if (lock >= 0)
                ::close(lock);
            if (privateFd_ >= 0) {
                removeDirectory(baseFd, privateName_, privateFd_);
                ::close(privateFd_);
            }
            privateFd_ = -1;
        }
        ::close(baseFd);
    }
    return false;
}

void removeDeadScratchDirectories(const QString &name)
{
    for (const auto &[base, isRuntime] : privateBases()) {
        const int fd = openSafeBase(base, isRuntime);
        if (fd >= 0) {
            removeDeadPrivateDirectories(fd, rt::encodePath(name));
            ::close(fd);
        }
    }
}

// A scan the library wrote and that is still here was not shown: it stays where the user finds
// it. From a private directory it goes to the pictures directory; should that fail, the
// private directory stays with it.
void ScratchDirectory::keepLeftScan()
{
    const QByteArray file = rt::encodePath(name_);
    const int dir = privateFd_ >= 0 ? privateFd_ : openDirectory(AT_FDCWD, rt::encodePath(path_).constData());
    struct stat st { };
    const bool left = dir >= 0 && ::fstatat(dir, file.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode);
    if (privateFd_ < 0) {
        if (dir >= 0)
            ::close(dir);
        if (left && keptAt_)
            *keptAt_ = path_ + name_;
        return;
    }
    if (!left)
        return;
    QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    if (pictures.isEmpty() || !QDir().mkpath(pictures))
        pictures = QDir::homePath();
    const int target = openDirectory(AT_FDCWD, rt::encodePath(pictures).constData());
    const QByteArray keptName = target >= 0 ? freeKeptName(target) : QByteArray();
    bool moved = false;
    if (target >= 0) {
        moved = ::renameat(privateFd_, file.constData(), target, keptName.constData()) == 0
            || (errno == EXDEV && copyFile(privateFd_, file, target, keptName));
        ::close(target);
    }
    if (moved) {
        ::unlinkat(privateFd_, file.constData(), 0);
        if (keptAt_)
            *keptAt_ = withTrailingSeparator(pictures) + rt::decodePath(keptName);
    } else {
        if (keptAt_)
            *keptAt_ = path_ + name_;
        ::close(privateFd_); // the directory stays, with the scan
        privateFd_ = -1;
    }
}

ScratchDirectory::~ScratchDirectory()
{
    if (written_)
        keepLeftScan();
    if (privateFd_ >= 0) {
        removeDirectory(baseFd_, privateName_, privateFd_);
        ::close(privateFd_);
    }
    if (baseFd_ >= 0)
        ::close(baseFd_);
    if (lock_ >= 0) {
        if (!lockPath_.isEmpty())
            ::unlink(lockPath_.constData());
        ::close(lock_);
    }
}
