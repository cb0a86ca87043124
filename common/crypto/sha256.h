// SHA-256 (FIPS 180-4), for the leaves of the archive's integrity record: the hash of each
// 512 KiB chunk of the data stream. It is the hash the processor itself computes on current x86
// (the SHA extensions), several times faster there than SHA-512 in software, so checking an
// archive keeps pace with deciphering it; elsewhere a portable compression does the same work.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr uint32_t kSha256Size = 32;

// The 64 round constants, 16-byte aligned for the vector code.
alignas(16) extern const uint32_t kSha256Rounds[64];

struct Sha256Context {
    uint32_t h[8];
    uint64_t length;      // bytes hashed so far
    uint8_t pending[64];  // a block's start, until it is whole
};

void sha256Init(Sha256Context& ctx);
void sha256Update(Sha256Context& ctx, const uint8_t* data, std::size_t length);
// Pads, writes the digest and leaves the context freshly initialised.
void sha256Final(Sha256Context& ctx, uint8_t* digest);
// The digest of one message in one call.
void sha256(const uint8_t* data, std::size_t length, uint8_t* digest);
// The digests of two messages of the same length, hashed side by side where the processor's
// instructions allow (nearly twice the speed of one after the other there).
void sha256Pair(const uint8_t* a, const uint8_t* b, std::size_t length, uint8_t* digestA,
                uint8_t* digestB);

// The compression of whole 64-byte blocks, as the processor's SHA instructions do it; null when
// this processor (or build) has none. Asked once and kept by the portable side.
using Sha256Blocks = void (*)(uint32_t* state, const uint8_t* blocks, std::size_t count);
Sha256Blocks sha256HardwareBlocks();
// The same for two messages' blocks side by side; null without the instructions.
using Sha256PairBlocks = void (*)(uint32_t* stateA, const uint8_t* a, uint32_t* stateB,
                                  const uint8_t* b, std::size_t count);
Sha256PairBlocks sha256HardwarePairBlocks();
// The portable compression, which every processor runs.
void sha256PortableBlocks(uint32_t* state, const uint8_t* blocks, std::size_t count);
