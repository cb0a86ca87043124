// The 1 KiB block of the memory-hard derivation and its compression function G, the one place
// the derivation spends its time. A block is 128 64-bit words, held in the machine's order; it
// becomes bytes (little-endian) only where a block is hashed in or out of BLAKE2b.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr std::size_t kArgon2BlockWords = 128;
constexpr std::size_t kArgon2BlockBytes = 1024;

struct Argon2Block {
    uint64_t v[kArgon2BlockWords];
};

// G(prev, ref): with R = prev XOR ref, out becomes P(R) XOR R, where P runs the BLAKE2b round
// (with the multiplying mix) over the eight rows and then the eight columns of R seen as an 8x8
// matrix of 16-byte registers. With `xorIntoOut` the old contents of out are XORed in as well,
// as every pass after the first does. out may be the same block as ref. `scratch` holds R while
// P works on it; it is left holding secret-derived words, which the caller wipes.
void argon2Compress(const Argon2Block& prev, const Argon2Block& ref, Argon2Block& out,
                    bool xorIntoOut, Argon2Block& scratch);

using Argon2CompressFunction = void (*)(const Argon2Block& prev, const Argon2Block& ref,
                                        Argon2Block& out, bool xorIntoOut, Argon2Block& scratch);

// The same G on this processor's vector unit (SSE2 on x86, asked for on i686), or null where
// there is none; the portable one above serves then. Both give the same blocks.
Argon2CompressFunction argon2VectorCompress();

// The block as 1024 little-endian bytes, and back.
void argon2StoreBlock(const Argon2Block& block, uint8_t* bytes);
void argon2LoadBlock(Argon2Block& block, const uint8_t* bytes);
