// BLAKE2b (RFC 7693): the hash under the memory-hard password derivation, which uses it to digest
// the password and its parameters, to seed and to finish the memory. Digests of 1 to 64 bytes,
// optionally keyed with up to 64 bytes. The object holds the chaining value, the byte count and
// the block not yet compressed; every one of them is wiped by finish, by wipe and by the
// destructor, and the working values of each compression before it returns.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr std::size_t kBlake2bBlockBytes = 128;
constexpr std::size_t kBlake2bMaxDigestBytes = 64;
constexpr std::size_t kBlake2bMaxKeyBytes = 64;

struct Blake2b {
    uint64_t h[8];                      // chaining value
    uint64_t count[2];                  // bytes compressed so far, 128 bits, low word first
    uint8_t block[kBlake2bBlockBytes];  // bytes waiting for the next compression
    uint32_t filled;                    // how many of them
    uint32_t digestLength;              // 1..64, fixed by init

    Blake2b() { wipe(); }
    ~Blake2b() { wipe(); }
    Blake2b(const Blake2b&) = delete;
    Blake2b& operator=(const Blake2b&) = delete;

    // Starts a digest of `digestLength` bytes (1..64) under `key` (0..64 bytes; null for none).
    // False, with the object wiped, for a length out of range.
    [[nodiscard]] bool init(std::size_t digestLength, const uint8_t* key = nullptr,
                            std::size_t keyLength = 0);
    // Any number of bytes, split however the caller likes.
    void update(const uint8_t* data, std::size_t length);
    // Little-endian 32-bit value, the way the password derivation frames its inputs.
    void updateWord(uint32_t value);
    // Writes digestLength bytes and wipes the object; init starts the next digest.
    void finish(uint8_t* digest);
    // Forgets everything, the key included.
    void wipe();
};

// The digest of one message in one call. False when a length is out of range, and then nothing
// is written.
[[nodiscard]] bool blake2b(uint8_t* digest, std::size_t digestLength, const uint8_t* data,
                           std::size_t length, const uint8_t* key = nullptr,
                           std::size_t keyLength = 0);
