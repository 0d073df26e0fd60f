#include "ScratchDirectory.h"

#include "ProgramFiles.h"
#include "Errors.h"

#include <QDir>
#include <QFile>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <vector>

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

QString privateDirectoryBase()
{
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    struct stat st {};
    if (!runtime.isEmpty() && ::stat(runtime.constData(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid())
        return QFile::decodeName(runtime);
    return QDir::tempPath();
}

} // namespace

bool isWritableDirectory(const QString &dir)
{
    const QByteArray path = QFile::encodeName(dir);
    struct stat st {};
    if (::stat(path.constData(), &st) != 0 || !S_ISDIR(st.st_mode))
        return false;
    struct statvfs fs {};
    if (::statvfs(path.constData(), &fs) == 0 && (fs.f_flag & ST_RDONLY))
        return false;
    const mode_t bit = st.st_uid == ::geteuid() ? S_IWUSR : inGroup(st.st_gid) ? S_IWGRP : S_IWOTH;
    return (st.st_mode & bit) && ::access(path.constData(), W_OK | X_OK) == 0;
}

ScratchDirectory::ScratchDirectory(const QString &programDir)
{
    if (isWritableDirectory(programDir)) {
        path_ = withTrailingSeparator(programDir);
        return;
    }
    // mkdtemp makes a new directory of a unique name with mode 0700; it never reuses an
    // existing entry, so no link planted there can redirect it.
    QByteArray pattern = QFile::encodeName(privateDirectoryBase() + QStringLiteral("/vistoramo-XXXXXX"));
    if (!::mkdtemp(pattern.data()))
        rt::raise(rt::ErrorCode::PathFileAccess,
                  QStringLiteral("Kein beschreibbares Verzeichnis für die Bilddatei"));
    path_ = withTrailingSeparator(QFile::decodeName(pattern));
    private_ = true;
}

ScratchDirectory::~ScratchDirectory()
{
    if (private_) // only once empty: a file that could not be loaded stays for the user
        ::rmdir(QFile::encodeName(path_).constData());
}
