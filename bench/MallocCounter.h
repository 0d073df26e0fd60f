#pragma once
// Counts the heap the whole process holds, so a benchmark can tell the peak an operation
// needed. The counting replaces malloc and friends of the executable it is linked into.

#include <cstddef>

namespace heap {

// Bytes allocated and not yet freed.
std::size_t current();
// Highest value of current() since the last reset.
std::size_t peak();
// Starts a new peak from the current value.
void resetPeak();

} // namespace heap
