#include "image/FileBacked.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

namespace img {

namespace {

struct Mapping {
    void *address;
    std::size_t size;
};

void unmap(void *info)
{
    auto *m = static_cast<Mapping *>(info);
    ::munmap(m->address, m->size);
    delete m;
}

// A file in folder that has no name, so that nothing is left behind whatever happens.
int unnamedFile(const QString &folder)
{
    const QByteArray dir = QFile::encodeName(folder);
    int fd = ::open(dir.constData(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0 || (errno != EOPNOTSUPP && errno != EISDIR && errno != ENOENT))
        return fd;
    QByteArray name = dir + "/.vistoramo-picture-XXXXXX";
    fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd >= 0)
        ::unlink(name.constData());
    return fd;
}

bool writeAll(int fd, const uchar *data, std::size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= std::size_t(n);
    }
    return true;
}

} // namespace

QImage fileBacked(const QImage &image, const QString &folder)
{
    if (image.isNull())
        return {};
    const int fd = unnamedFile(folder);
    if (fd < 0)
        return {};
    // The rows as a new image of the format would lay them out, written a block at a time
    // (a crop's rows keep a longer stride than their own).
    const qsizetype used = (qsizetype(image.width()) * image.depth() + 7) / 8;
    const qsizetype stride = (used + 3) / 4 * 4;
    const std::size_t size = std::size_t(stride) * std::size_t(image.height());
    std::vector<uchar> block(std::size_t(stride) * 256);
    bool written = true;
    for (int y0 = 0; written && y0 < image.height(); y0 += 256) {
        const int rows = std::min(256, image.height() - y0);
        for (int y = 0; y < rows; ++y)
            std::memcpy(block.data() + std::size_t(y) * std::size_t(stride), image.constScanLine(y0 + y), std::size_t(used));
        written = writeAll(fd, block.data(), std::size_t(stride) * std::size_t(rows));
    }
    void *address = written ? ::mmap(nullptr, size, PROT_READ, MAP_SHARED, fd, 0) : MAP_FAILED;
    ::close(fd);
    if (address == MAP_FAILED)
        return {};
    auto *mapping = new Mapping{address, size};
    QImage out(static_cast<const uchar *>(address), image.width(), image.height(), stride, image.format(), unmap, mapping);
    if (out.isNull()) {
        unmap(mapping);
        return {};
    }
    if (image.colorCount() > 0)
        out.setColorTable(image.colorTable());
    out.setDotsPerMeterX(image.dotsPerMeterX());
    out.setDotsPerMeterY(image.dotsPerMeterY());
    return out;
}

} // namespace img
