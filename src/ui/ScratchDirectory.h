#pragma once
// Where an acquisition's temporary file goes, for the span of one command.
//
// The program's directory, when the user owns it and may write there, it is no system
// directory (under /usr, /opt or the install prefix) and no other running copy of the
// program uses it: a lock on a file beside the temporary file, held until the object ends,
// keeps two copies from taking each other's file. Otherwise a new private directory of the
// user's (mode 0700, a unique name, made without following links) under $XDG_RUNTIME_DIR,
// or under the temporary directory where that is missing or not writable.
//
// When the object ends, a private directory is removed with everything in it, whatever the
// outcome. In the program's directory only the lock goes: a file that was written but could
// not be shown stays there (the user's own directory; the scan may be sound but too large to
// show, and other programs can open it; the next scan replaces it).

#include <QString>

class ScratchDirectory {
public:
    // name: the temporary file's name. A file of that name that is left in the program's
    // directory from an earlier run is removed first.
    ScratchDirectory(const QString &programDir, const QString &name);
    ~ScratchDirectory();
    ScratchDirectory(const ScratchDirectory &) = delete;
    ScratchDirectory &operator=(const ScratchDirectory &) = delete;

    // The directory, ending in "/".
    const QString &path() const { return path_; }

private:
    bool lockProgramDirectory(const QString &dir, const QString &name);
    QString path_;
    QByteArray lockPath_;
    int lock_ = -1;
    bool private_ = false;
};

// Whether the user may create files in dir: by its permission bits for the user (also for
// root, who would otherwise write anywhere), and not on a read-only file system.
bool isWritableDirectory(const QString &dir);

// Whether the program may keep its temporary file in dir: the user's own, writable, and no
// system directory.
bool isOwnProgramDirectory(const QString &dir);
