#pragma once
// A read-only view of a whole file in memory that stays intact whatever happens to the file
// afterwards.
//
// The file's pages are used where they lie, with no copy: the mapping holds a read lease on
// the file, so any other process that opens it for writing or truncates it first waits
// while the mapping is replaced, at the same address, by a private copy of what it showed.
// Memory that the mapping hands out therefore never changes and never faults, also for the
// threads that read it at that moment.

#include <cstddef>
#include <memory>

namespace img {

class LeasedMapping {
public:
    // Maps the whole regular file open (for reading) on fd, taking the descriptor over
    // whether or not it succeeds. Null where the file cannot be leased (open for writing
    // elsewhere, someone else's file, a file system without leases) or mapped.
    static std::unique_ptr<LeasedMapping> map(int fd);
    ~LeasedMapping();
    LeasedMapping(const LeasedMapping &) = delete;
    LeasedMapping &operator=(const LeasedMapping &) = delete;

    const unsigned char *data() const { return data_; }
    std::size_t size() const { return size_; }

private:
    LeasedMapping(int slot, const unsigned char *data, std::size_t size) : slot_(slot), data_(data), size_(size) { }
    int slot_;
    const unsigned char *data_;
    std::size_t size_;
};

} // namespace img
