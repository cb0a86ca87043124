// SHA-512 (FIPS 180-2), fed one byte at a time: it digests passwords, never bulk data.
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
void sha512Update(Sha512Context& ctx, const uint8_t* data, std::size_t length);
// Pads, writes the 64-byte digest and leaves the context freshly initialised.
void sha512Final(Sha512Context& ctx, uint8_t* digest);
