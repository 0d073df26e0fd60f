// What the machine needs at least for a scan to reach the screen as the program hands it
// over, through a file: SANE's test device delivering the page into memory (the SANE floor),
// the page's bytes written as a BMP file (the file floor) and that file read back into
// memory (the read floor).
//
//   bench_sane_floor FILE
//
// Opens test:0 once (SANE_CONFIG_DIR names its configuration) and, for each line read on
// its standard input, measures one run of each and prints "SANE_MS FILE_MS READ_MS BYTES",
// where BYTES is the size of the raw page. Ends at the end of its input.

#include <sane/sane.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sched.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

double nowMs()
{
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

// Moves size bytes through io (read or write), as often as it takes.
template <typename Data, typename Io>
bool moveAll(int fd, Data *data, size_t size, Io io)
{
    while (size > 0) {
        const ssize_t n = io(fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool writeAll(int fd, const unsigned char *data, size_t size)
{
    return moveAll(fd, data, size, ::write);
}

// One page from sane_start until its last byte is in page; the device is cancelled after
// the clock stops. Returns the time, or a negative value on failure.
double readPage(SANE_Handle device, std::vector<unsigned char> &page, SANE_Parameters &parameters)
{
    const double t0 = nowMs();
    if (sane_start(device) != SANE_STATUS_GOOD || sane_get_parameters(device, &parameters) != SANE_STATUS_GOOD
        || parameters.lines <= 0) {
        sane_cancel(device);
        return -1;
    }
    const size_t size = static_cast<size_t>(parameters.bytes_per_line) * static_cast<size_t>(parameters.lines);
    if (page.size() != size)
        page.assign(size, 0); // in the warm-up run; later runs reuse the memory
    size_t filled = 0;
    SANE_Status status = SANE_STATUS_GOOD;
    while (status == SANE_STATUS_GOOD && filled < size) {
        SANE_Int length = 0;
        const size_t want = std::min<size_t>(size - filled, 1u << 30);
        status = sane_read(device, page.data() + filled, static_cast<SANE_Int>(want), &length);
        filled += static_cast<size_t>(length);
    }
    const double elapsed = nowMs() - t0;
    sane_cancel(device);
    return filled == size ? elapsed : -1;
}

bool readAll(int fd, unsigned char *data, size_t size)
{
    return moveAll(fd, data, size, ::read);
}

// The page as a BMP of 24-bit rows padded to four bytes: a header and the rows, in two
// writes to a new file; closed without syncing. Returns the time, or a negative value.
double writeFile(const std::string &path, const std::vector<unsigned char> &header, const std::vector<unsigned char> &rows)
{
    const double t0 = nowMs();
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        return -1;
    const bool written = writeAll(fd, header.data(), header.size()) && writeAll(fd, rows.data(), rows.size());
    const bool closed = ::close(fd) == 0;
    const double elapsed = nowMs() - t0;
    return written && closed ? elapsed : -1;
}

// The file read back: its header, then its rows into memory of the page's size (allocated
// once, as the SANE floor's). Returns the time, or a negative value.
double readFile(const std::string &path, std::vector<unsigned char> &header, std::vector<unsigned char> &rows)
{
    const double t0 = nowMs();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    const bool read = readAll(fd, header.data(), header.size()) && readAll(fd, rows.data(), rows.size());
    ::close(fd);
    const double elapsed = nowMs() - t0;
    return read ? elapsed : -1;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc < 2) {
        std::fprintf(stderr, "Aufruf: bench_sane_floor DATEI\n");
        return 2;
    }
    const std::string path = argv[1];
    SANE_Int version = 0;
    SANE_Handle device = nullptr;
    if (sane_init(&version, nullptr) != SANE_STATUS_GOOD || sane_open("test:0", &device) != SANE_STATUS_GOOD) {
        std::fprintf(stderr, "bench_sane_floor: test:0 lässt sich nicht öffnen\n");
        return 1;
    }
    // The driver's reading thread and this one on one processor, as the scanner helper keeps
    // them during a scan: the page's handover through the driver's pipe is cheapest so.
    if (const int here = sched_getcpu(); here >= 0) {
        cpu_set_t one;
        CPU_ZERO(&one);
        CPU_SET(static_cast<std::size_t>(here), &one);
        sched_setaffinity(0, sizeof one, &one);
    }
    std::vector<unsigned char> page, header(54, 0), rows, readHeader(54, 0), readRows;
    char line[16];
    int code = 0;
    while (std::fgets(line, sizeof line, stdin)) {
        SANE_Parameters parameters{};
        const double sane = readPage(device, page, parameters);
        const size_t padded = (static_cast<size_t>(parameters.pixels_per_line) * 3 + 3) & ~size_t{3};
        rows.resize(padded * static_cast<size_t>(parameters.lines)); // the same bytes, rows padded
        for (size_t y = 0; sane >= 0 && y < static_cast<size_t>(parameters.lines); ++y)
            std::memcpy(rows.data() + y * padded, page.data() + y * static_cast<size_t>(parameters.bytes_per_line),
                        static_cast<size_t>(parameters.bytes_per_line));
        const double file = writeFile(path, header, rows);
        readRows.resize(rows.size());
        const double read = file >= 0 ? readFile(path, readHeader, readRows) : -1;
        ::unlink(path.c_str()); // after the clocks stopped
        if (sane < 0 || file < 0 || read < 0) {
            std::fprintf(stderr, "bench_sane_floor: %s\n", sane < 0 ? "die Seite kam nicht ganz an" : std::strerror(errno));
            code = 1;
            break;
        }
        std::printf("%.3f %.3f %.3f %zu\n", sane, file, read, page.size());
        std::fflush(stdout);
    }
    sane_close(device);
    sane_exit();
    return code;
}
