// SHA-512 (FIPS 180-2). Passwords are fed one byte at a time; bulk data (the archive's integrity
// digest) goes through the buffer form, which compresses whole 128-byte blocks straight from the
// caller's bytes. Both give the same digest however a message is split. The schedule and working
// variables of each compression are wiped before the call returns, stack included.
#pragma once

#include <cstddef>
#include <cstdint>

struct Sha512Context {
    uint32_t bitCount[4];  // 128-bit message length in bits, least significant word first
    uint64_t h[8];         // chaining value H0..H7
    uint64_t w[80];        // message schedule; W0..W15 fill big-endian as bytes arrive
};

void sha512Init(Sha512Context& ctx);
void sha512Update(Sha512Context& ctx, uint8_t byte);
// `length` bytes, the same as feeding them one at a time.
void sha512Update(Sha512Context& ctx, const uint8_t* data, std::size_t length);
// Pads, writes the 64-byte digest and leaves the context freshly initialised.
void sha512Final(Sha512Context& ctx, uint8_t* digest);
