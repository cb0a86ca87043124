#include "common/crypto/hmac_sha512.h"

#include "common/support/secure_zero.h"

namespace {

constexpr std::size_t kBlock = 128;

}  // namespace

void HmacSha512::init(const uint8_t* key, std::size_t keyLength) {
    // The key, padded with zeros to one block (or its digest when it is longer than a block).
    uint8_t block[kBlock] = {};
    if (keyLength > kBlock) {
        sha512Init(inner);
        sha512Update(inner, key, keyLength);
        sha512Final(inner, block);
    } else {
        for (std::size_t i = 0; i < keyLength; ++i) block[i] = key[i];
    }

    uint8_t pad[kBlock];
    for (std::size_t i = 0; i < kBlock; ++i) pad[i] = block[i] ^ 0x36;
    sha512Init(inner);
    sha512Update(inner, pad, kBlock);
    for (std::size_t i = 0; i < kBlock; ++i) pad[i] = block[i] ^ 0x5c;
    sha512Init(outer);
    sha512Update(outer, pad, kBlock);

    secureZero(block, sizeof block);
    secureZero(pad, sizeof pad);
}

void HmacSha512::update(const uint8_t* data, std::size_t length) {
    sha512Update(inner, data, length);
}

void HmacSha512::finish(uint8_t* mac) {
    uint8_t innerDigest[kHmacSha512Size];
    sha512Final(inner, innerDigest);
    sha512Update(outer, innerDigest, sizeof innerDigest);
    sha512Final(outer, mac);
    secureZero(innerDigest, sizeof innerDigest);
    wipe();
}

void HmacSha512::wipe() {
    secureZeroObject(inner);
    secureZeroObject(outer);
}

void hmacSha512(const uint8_t* key, std::size_t keyLength, const uint8_t* data, std::size_t length,
                uint8_t* mac) {
    HmacSha512 h;
    h.init(key, keyLength);
    h.update(data, length);
    h.finish(mac);
}
