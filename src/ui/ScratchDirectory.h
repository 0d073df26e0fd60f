#pragma once
// Where an acquisition's temporary file goes, for the span of one command.
//
// The program's directory, when the user owns it, nobody else may write there, it is no system
// directory (under /usr, /opt or the install prefix), the file's name there is free or a plain
// file, and no other running copy of the program uses it: a lock on a file beside the temporary
// file, held until the object ends, keeps two copies from taking each other's file. Otherwise a
// new private directory of the user's (mode 0700, a unique name) under the first safe base of
// $XDG_RUNTIME_DIR, $TMPDIR, /tmp and the user's cache directory. A base is safe when the user
// owns it and nobody else may write there, or when it is the system's sticky temporary
// directory, where nobody can rename or replace another's entries.
//
// The private directory is made, used and removed through a descriptor held from its making, so
// whatever is renamed or linked into its place, the program removes nothing but its own files.
// Staged files and private directories that copies of the program left when they were killed
// are removed at the next scan.
//
// When the object ends, a private directory is removed with everything in it. A scan that the
// library wrote but the command could not show is never lost: in the program's directory it
// stays (the user's own directory; the next scan that succeeds replaces it), from a private
// directory it moves to the user's pictures directory under a dated name, and keptAt says
// where.

#include <QByteArray>
#include <QString>

class ScratchDirectory {
public:
    // name: the temporary file's name. keptAt, where asked for, receives where a written scan
    // that was left behind is kept.
    ScratchDirectory(const QString &programDir, const QString &name, QString *keptAt = nullptr);
    ~ScratchDirectory();
    ScratchDirectory(const ScratchDirectory &) = delete;
    ScratchDirectory &operator=(const ScratchDirectory &) = delete;

    // The directory, ending in "/".
    const QString &path() const { return path_; }
    // The library has written the file: from now on it is a scan to keep if it is left behind.
    void written() { written_ = true; }

private:
    bool lockProgramDirectory(const QString &dir);
    bool makePrivateDirectory();
    void keepLeftScan();

    QString name_;
    QString path_;
    QString *keptAt_;
    QByteArray lockPath_;
    int lock_ = -1; // the lock beside the file in the program's directory
    int baseFd_ = -1; // the private directory's base
    int privateFd_ = -1; // the private directory itself
    QByteArray privateName_;
    bool written_ = false;
};

// Removes the private directories that runs of the program left behind when they were ended
// without removing them (their lock is no longer held). Each scan does it first.
void removeDeadScratchDirectories(const QString &name);

// Whether the user may create files in dir: by its permission bits for the user (also for
// root, who would otherwise write anywhere), and not on a read-only file system.
bool isWritableDirectory(const QString &dir);

// Whether the program may keep its temporary file in dir: the user's own, writable by the
// user alone, and no system directory.
bool isOwnProgramDirectory(const QString &dir);

// Whether dir lies in a directory of installed software (a program there is shared by every
// user).
bool isSystemDirectory(const QByteArray &dir);
