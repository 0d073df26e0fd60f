#pragma once
// Rounding as the window's values need it.

#include <cstdint>

namespace rt {

// Rounds to the nearest integer, halves to the even neighbour; an overflow error outside
// the 32-bit signed range.
std::int32_t to32(double value);

} // namespace rt
