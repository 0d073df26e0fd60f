#include "scanlib-loader/LibraryFile.h"

#include "base/Errors.h"
#include "base/Paths.h"

#include <cerrno>
#include <cstring>
#include <elf.h>
#include <fcntl.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Scanner {

namespace {

// Reads exactly size bytes at offset; false when the file holds fewer.
bool readAt(int fd, void *into, size_t size, off_t offset)
{
    auto *p = static_cast<char *>(into);
    while (size > 0) {
        const ssize_t n = ::pread(fd, p, size, offset);
        if (n <= 0)
            return false;
        p += n;
        size -= static_cast<size_t>(n);
        offset += n;
    }
    return true;
}

// The program's own ELF header, the measure of "this machine".
const ElfW(Ehdr) & programHeader()
{
    static const ElfW(Ehdr) header = [] {
        ElfW(Ehdr) h{};
        const int fd = ::open("/proc/self/exe", O_RDONLY | O_CLOEXEC);
        if (fd >= 0) {
            readAt(fd, &h, sizeof h, 0);
            ::close(fd);
        }
        return h;
    }();
    return header;
}

// Why the file is no complete shared object for this machine; empty when it is one.
QString elfProblem(int fd, off_t size)
{
    QString foreign = QStringLiteral("keine Programmbibliothek für diesen Rechner");
    QString truncated = QStringLiteral("die Datei ist unvollständig");
    ElfW(Ehdr) h{};
    if (!readAt(fd, &h, sizeof h, 0) || std::memcmp(h.e_ident, ELFMAG, SELFMAG) != 0)
        return foreign;
    const ElfW(Ehdr) &own = programHeader();
    if (h.e_ident[EI_CLASS] != own.e_ident[EI_CLASS] || h.e_ident[EI_DATA] != own.e_ident[EI_DATA] || h.e_machine != own.e_machine
        || h.e_type != ET_DYN || h.e_phentsize != sizeof(ElfW(Phdr)))
        return foreign;
    const auto fileSize = static_cast<unsigned long long>(size);
    const unsigned long long tableEnd = h.e_phoff + static_cast<unsigned long long>(h.e_phnum) * sizeof(ElfW(Phdr));
    if (h.e_phnum == 0 || tableEnd > fileSize)
        return truncated;
    bool loadable = false;
    for (unsigned i = 0; i < h.e_phnum; ++i) {
        ElfW(Phdr) ph{};
        if (!readAt(fd, &ph, sizeof ph, static_cast<off_t>(h.e_phoff + i * sizeof ph)))
            return truncated;
        if (ph.p_type != PT_LOAD && ph.p_type != PT_DYNAMIC)
            continue;
        loadable = loadable || ph.p_type == PT_LOAD;
        if (ph.p_offset > fileSize || ph.p_filesz > fileSize - ph.p_offset)
            return truncated;
    }
    return loadable ? QString() : foreign;
}

} // namespace

void cannotLoad(const QByteArray &path, const QString &reason)
{
    rt::raise(rt::ErrorCode::CantLoadLibrary,
              QStringLiteral("Die Scanner-Bibliothek %1 kann nicht geladen werden: %2.  ").arg(rt::decodePath(path), reason));
}

void checkLibraryFile(const QByteArray &path)
{
    // Opened without waiting, so that a FIFO is seen for what it is.
    const int fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        cannotLoad(path,
                   errno == ENOENT
                       ? QStringLiteral("die Datei ist nicht vorhanden")
                       : QStringLiteral("die Datei ist nicht lesbar (%1)").arg(QString::fromLocal8Bit(std::strerror(errno))));
    struct stat st { };
    const QString problem
        = ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ? QStringLiteral("keine gewöhnliche Datei") : elfProblem(fd, st.st_size);
    ::close(fd);
    if (!problem.isEmpty())
        cannotLoad(path, problem);
}

} // namespace Scanner
