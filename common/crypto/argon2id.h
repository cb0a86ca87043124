// Argon2id, version 1.3 (RFC 9106): the salted, memory-hard password derivation. Every guess
// costs an attacker `memoryKiB` of memory filled `passes` times over, so guessing in parallel on
// graphics cards or dedicated hardware gains little over an ordinary processor.
//
// The memory is taken without throwing and is wiped and released before any call returns, as
// are the password-derived hash states. The lanes of each slice can run on threads of their own;
// the result is the same either way, and where no thread can be had (the browser) every lane
// runs on the caller's thread.
#pragma once

#include <cstddef>
#include <cstdint>

// What a reader accepts. The bounds keep a hostile archive from asking for more than 1 GiB of
// memory or an unbounded number of passes before a single byte of it is checked.
constexpr uint32_t kArgon2MinLanes = 1;
constexpr uint32_t kArgon2MaxLanes = 16;
constexpr uint32_t kArgon2MinPasses = 1;
constexpr uint32_t kArgon2MaxPasses = 16;
constexpr uint32_t kArgon2MinMemoryKiBPerLane = 8;  // the algorithm's own floor, 8p KiB
constexpr uint32_t kArgon2MaxMemoryKiB = 1048576;   // 1 GiB
// Lengths the algorithm itself requires or that no caller needs more of.
constexpr std::size_t kArgon2MinSaltBytes = 8;
constexpr std::size_t kArgon2MinTagBytes = 4;
constexpr std::size_t kArgon2MaxTagBytes = 1024;

struct Argon2Cost {
    uint32_t memoryKiB;  // m: rounded down to a multiple of 4 * lanes when the memory is laid out
    uint32_t passes;     // t
    uint32_t lanes;      // p
};

// Whether a cost lies within the bounds above. Nothing is allocated.
[[nodiscard]] bool argon2CostAcceptable(const Argon2Cost& cost);

// Everything hashed besides the cost. Only the salt is required; the secret (K) and the
// associated data (X) are optional and empty by default.
struct Argon2Inputs {
    const uint8_t* password = nullptr;
    std::size_t passwordLength = 0;
    const uint8_t* salt = nullptr;
    std::size_t saltLength = 0;
    const uint8_t* secret = nullptr;
    std::size_t secretLength = 0;
    const uint8_t* associatedData = nullptr;
    std::size_t associatedDataLength = 0;
};

enum Argon2Result : int {
    kArgon2Ok = 0,
    kArgon2BadParameters = 1,  // a cost out of bounds, a short salt, a tag length out of range
    kArgon2OutOfMemory = 2,    // the memory (or nothing at all) could not be had
};

enum class Argon2Lanes {
    kOnThreads,  // one thread per lane in each slice, where threads can be had
    kOneByOne,   // every lane on the caller's thread
};

// The tag of `tagLength` bytes (4..1024). Nothing is allocated for a rejected cost; on any
// failure the tag is left zeroed.
[[nodiscard]] Argon2Result argon2id(const Argon2Inputs& inputs, const Argon2Cost& cost,
                                    uint8_t* tag, std::size_t tagLength,
                                    Argon2Lanes lanes = Argon2Lanes::kOnThreads);

// The key material of a password-protected archive: `outLength` bytes (4..1024; the caller cuts
// them into key, IV and integrity key) from the password's bytes and the archive's salt, with the
// lanes on threads.
[[nodiscard]] Argon2Result argon2idDerive(const uint8_t* password, std::size_t passwordLength,
                                          const uint8_t* salt, std::size_t saltLength,
                                          const Argon2Cost& cost, uint8_t* out,
                                          std::size_t outLength);
