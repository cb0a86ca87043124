// Comparing a computed MAC with a stored one. An early-out comparison (memcmp) takes longer the
// more leading bytes match, which lets someone who can time many attempts forge a tag byte by
// byte; this one reads every byte whatever they hold, and the compiler is kept from turning the
// accumulated difference back into a branch per byte.
#pragma once

#include <cstddef>
#include <cstdint>

inline bool equalInConstantTime(const uint8_t* a, const uint8_t* b, std::size_t length) {
    uint8_t difference = 0;
    for (std::size_t i = 0; i < length; ++i) {
        difference |= static_cast<uint8_t>(a[i] ^ b[i]);
        asm volatile("" : "+r"(difference));
    }
    return difference == 0;
}
