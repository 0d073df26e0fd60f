#include "image/LeasedMapping.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <sched.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace img {

namespace {

// What the signal handlers know of each mapping. They may run on any thread at any moment,
// so a slot changes hands only through its state, and its other fields are set before the
// state that makes them visible.
enum State : int {
    Free,
    Claimed, // being set up; the lease may already be held
    Broken, // the lease broke while being set up: the mapping is not used
    Mapped, // the memory is the file's (leased, unless no copy could be made when it broke)
    Copying, // a lease break is replacing it with a copy
    Copied, // the memory is a private copy; the file is free again
    Releasing,
};

struct Slot {
    std::atomic<int> state{Free};
    std::atomic<int> fd{-1};
    unsigned char *address = nullptr;
    std::size_t size = 0;
};

constexpr int slotCount = 32;
Slot slots[slotCount];
struct sigaction previousBusAction { };
std::uintptr_t pageSize = 4096; // read once, before any handler can run

bool claim(int &slot)
{
    for (int i = 0; i < slotCount; ++i) {
        int expected = Free;
        if (slots[i].state.compare_exchange_strong(expected, Claimed)) {
            slot = i;
            return true;
        }
    }
    return false;
}

// Another process is about to open the file for writing or to truncate it, and waits until
// the lease is given up: the mapping becomes a copy of itself first.
void onLeaseBreak(int, siginfo_t *info, void *)
{
    const int saved = errno;
    for (Slot &s : slots) {
        if (s.fd != info->si_fd)
            continue;
        int expected = Claimed;
        if (s.state.compare_exchange_strong(expected, Broken)) {
            ::fcntl(s.fd, F_SETLEASE, F_UNLCK);
            break;
        }
        expected = Mapped;
        if (!s.state.compare_exchange_strong(expected, Copying))
            continue;
        bool copied = false;
        void *copy = ::mmap(nullptr, s.size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (copy != MAP_FAILED) {
            std::memcpy(copy, s.address, s.size);
            ::mprotect(copy, s.size, PROT_READ);
            // In one step: no other thread sees the address without memory behind it.
            copied = ::mremap(copy, s.size, s.size, MREMAP_MAYMOVE | MREMAP_FIXED, s.address) != MAP_FAILED;
            if (!copied)
                ::munmap(copy, s.size);
        }
        ::fcntl(s.fd, F_SETLEASE, F_UNLCK);
        s.state.store(copied ? Copied : Mapped); // still the file's: see onBusError
        break;
    }
    errno = saved;
}

// Only where no copy could be made (memory short) can the file shrink under a mapping: its
// lost pages read as zeros instead of ending the program.
void onBusError(int signal, siginfo_t *info, void *context)
{
    const auto *address = static_cast<unsigned char *>(info->si_addr);
    for (Slot &s : slots) {
        const int state = s.state.load();
        if (state == Mapped && address >= s.address && address < s.address + s.size) {
            void *start = reinterpret_cast<void *>(reinterpret_cast<std::uintptr_t>(address) & ~(pageSize - 1));
            ::mmap(start, pageSize, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0);
            return;
        }
    }
    if (previousBusAction.sa_flags & SA_SIGINFO) {
        previousBusAction.sa_sigaction(signal, info, context);
    } else {
        ::sigaction(SIGBUS, &previousBusAction, nullptr); // the fault comes again and ends the program
    }
}

void installHandlers()
{
    static std::once_flag once;
    std::call_once(once, [] {
        pageSize = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
        struct sigaction action { };
        action.sa_sigaction = onLeaseBreak;
        action.sa_flags = SA_SIGINFO | SA_RESTART;
        sigemptyset(&action.sa_mask);
        ::sigaction(SIGIO, &action, nullptr);
        action.sa_sigaction = onBusError;
        ::sigaction(SIGBUS, &action, &previousBusAction);
    });
}

// Gives up a slot's mapping and lease; waits while a lease break is copying it.
void release(Slot &s, bool mapped)
{
    for (;;) {
        int state = s.state.load();
        if (state == Copying) {
            ::sched_yield();
            continue;
        }
        if (s.state.compare_exchange_weak(state, Releasing))
            break;
    }
    if (mapped)
        ::munmap(s.address, s.size);
    ::close(s.fd); // ends the lease
    s.fd = -1;
    s.address = nullptr;
    s.state.store(Free);
}

} // namespace

std::unique_ptr<LeasedMapping> LeasedMapping::map(int fd)
{
    installHandlers();
    int slot = -1;
    if (!claim(slot)) {
        ::close(fd);
        return nullptr;
    }
    Slot &s = slots[slot];
    s.fd = fd;
    // The lease comes first: from then on the file cannot change without our knowing.
    struct stat st { };
    if (::fcntl(fd, F_SETSIG, SIGIO) != 0 || ::fcntl(fd, F_SETLEASE, F_RDLCK) != 0 || ::fstat(fd, &st) != 0
        || !S_ISREG(st.st_mode) || st.st_size <= 0) {
        release(s, false);
        return nullptr;
    }
    s.size = static_cast<std::size_t>(st.st_size);
    void *address = ::mmap(nullptr, s.size, PROT_READ, MAP_SHARED, fd, 0);
    if (address == MAP_FAILED) {
        release(s, false);
        return nullptr;
    }
    s.address = static_cast<unsigned char *>(address);
    int expected = Claimed;
    if (!s.state.compare_exchange_strong(expected, Mapped)) { // the lease broke meanwhile
        release(s, true);
        return nullptr;
    }
    return std::unique_ptr<LeasedMapping>(new LeasedMapping(slot, s.address, s.size));
}

LeasedMapping::~LeasedMapping()
{
    release(slots[slot_], true);
}

} // namespace img
