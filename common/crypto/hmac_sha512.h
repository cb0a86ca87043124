// HMAC-SHA-512 (RFC 2104, with the SHA-512 test vectors of RFC 4231): the keyed digest that
// proves an archive was written by someone who knew its password. The object keeps the two
// keyed digest states (key XOR ipad absorbed, key XOR opad absorbed) and nothing else of the
// key; every secret it holds is wiped by finish, by wipe and by its destructor.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/crypto/sha512.h"

constexpr std::size_t kHmacSha512Size = 64;

struct HmacSha512 {
    Sha512Context inner;  // SHA-512 after (key XOR ipad), then the message
    Sha512Context outer;  // SHA-512 after (key XOR opad), waiting for the inner digest

    HmacSha512() { wipe(); }
    ~HmacSha512() { wipe(); }
    HmacSha512(const HmacSha512&) = delete;
    HmacSha512& operator=(const HmacSha512&) = delete;

    // Starts a MAC under `key`. A key longer than the 128-byte block is first digested, as the
    // standard says; any length, including 0, is accepted.
    void init(const uint8_t* key, std::size_t keyLength);
    void update(const uint8_t* data, std::size_t length);
    // Writes the 64-byte MAC and wipes the object; init starts the next one.
    void finish(uint8_t* mac);
    // Forgets the key and the message so far.
    void wipe();
};

// The MAC of one message in one call.
void hmacSha512(const uint8_t* key, std::size_t keyLength, const uint8_t* data, std::size_t length,
                uint8_t* mac);
