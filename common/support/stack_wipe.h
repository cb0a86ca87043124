// Overwrites a stretch of the stack below the caller with zeros. Cipher routines keep their
// working state in registers, and what the compiler spills lands in their own frame; calling this
// right after such a routine, from the same caller, lays a zeroed frame over the one it left.
#pragma once

#include <cstddef>

#include "common/support/secure_zero.h"

[[gnu::noinline]] inline void wipeStack() {
    unsigned char area[384];
    secureZero(area, sizeof area);
}
