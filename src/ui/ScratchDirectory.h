#pragma once
// Where an acquisition's temporary file goes: the program's directory where the user may
// write there, else a private directory of the user's (mode 0700, a unique name, made
// without following links), which is removed again once it is empty.

#include <QString>

class ScratchDirectory {
public:
    explicit ScratchDirectory(const QString &programDir);
    ~ScratchDirectory();
    ScratchDirectory(const ScratchDirectory &) = delete;
    ScratchDirectory &operator=(const ScratchDirectory &) = delete;

    // The directory, ending in "/".
    const QString &path() const { return path_; }
    bool isPrivate() const { return private_; }

private:
    QString path_;
    bool private_ = false;
};

// Whether the user may create files in dir: by its permission bits for the user (also for
// root, who would otherwise write anywhere), and not on a read-only file system.
bool isWritableDirectory(const QString &dir);
