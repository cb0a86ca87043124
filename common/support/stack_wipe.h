// Overwrites a stretch of the stack below the caller with zeros. Cipher routines keep their
// working state in registers, and what the compiler spills lands in their own frame; calling this
// right after such a routine, from the same caller, lays a zeroed frame over the one it left.
// `Bytes` is how far down the wipe reaches: enough for the deepest call chain it follows.
#pragma once

#include <cstddef>

#include "common/support/secure_zero.h"

template <std::size_t Bytes = 384>
[[gnu::noinline]] void wipeStack() {
    unsigned char area[Bytes];
    secureZero(area, sizeof area);
}
