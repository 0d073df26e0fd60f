#pragma once
// Opening the scanner library's file for loading: only a regular file that is a complete
// shared object for this machine (the same ELF class, byte order and machine as the program,
// every loadable segment inside the file) gets as far as the dynamic loader. A FIFO would
// block the loader for good, and a truncated file would end the program with SIGBUS once
// the loader touched a page past its end.

#include <QByteArray>
#include <QString>

namespace Scanner {

// Checks the file at path (the system's bytes) before it is handed to the loader; a
// "cannot load library" run-time error, naming the file and the reason in German, when it is
// not loadable. (The loader is then given the path again: the directory is the user's own
// or the installation's, so no one else can swap the file in between.)
void checkLibraryFile(const QByteArray &path);

// The run-time error for a library that cannot be loaded: "path" and the reason.
[[noreturn]] void cannotLoad(const QByteArray &path, const QString &reason);

} // namespace Scanner
