// Wiping secrets. A plain memset before a buffer is freed is a dead store that the optimiser may
// drop; the empty asm statement below tells the compiler the zeros are read, so they stay.
#pragma once

#include <cstddef>
#include <cstring>

inline void secureZero(void* p, std::size_t n) {
    if (p == nullptr || n == 0) return;
    std::memset(p, 0, n);
    asm volatile("" : : "r"(p) : "memory");
}

// Wipes a whole trivially-copyable object in place.
template <typename T>
inline void secureZeroObject(T& object) {
    secureZero(&object, sizeof object);
}
