// Key expansion (FIPS-197 5.2) and the round keys of the equivalent inverse cipher (5.3.5).
#include <cstring>

#include "common/crypto/aes_context.h"
#include "common/crypto/aes_tables.h"
#include "common/support/secure_zero.h"

namespace {

uint32_t load32(const uint8_t* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

uint32_t subWord(uint32_t w) {
    const uint8_t* s = kAesTables.sbox;
    return uint32_t{s[w & 0xFF]} | uint32_t{s[(w >> 8) & 0xFF]} << 8 |
           uint32_t{s[(w >> 16) & 0xFF]} << 16 | uint32_t{s[w >> 24]} << 24;
}

// RotWord moves byte 0 of the word to the end, a right rotation of the little-endian word.
uint32_t rotWord(uint32_t w) {
    return (w >> 8) | (w << 24);
}

// InvMixColumns of one column: the inverse tables carry InvS, so undo it with S first.
uint32_t invMixColumn(uint32_t w) {
    const uint8_t* s = kAesTables.sbox;
    return kAesTables.td[0][s[w & 0xFF]] ^ kAesTables.td[1][s[(w >> 8) & 0xFF]] ^
           kAesTables.td[2][s[(w >> 16) & 0xFF]] ^ kAesTables.td[3][s[w >> 24]];
}

}  // namespace

int aesSetKey(AesContext& ctx, uint32_t mode, uint32_t keyLength, const uint8_t* key,
              const uint8_t* iv) {
    const uint32_t nk = keyLength / 4;
    if (key == nullptr || (nk != 4 && nk != 6 && nk != 8)) return 0;
    buildAesTables();
    ctx.keyWords = static_cast<int32_t>(nk);
    ctx.rounds = static_cast<int32_t>(nk + 6);
    ctx.mode = mode;
    std::memset(ctx.chain, 0, sizeof ctx.chain);
    if (mode != kAesModeEcb && iv != nullptr) std::memcpy(ctx.chain, iv, sizeof ctx.chain);

    uint32_t* w = ctx.encryptKeys;
    const uint32_t total = 4 * (nk + 7);
    for (uint32_t i = 0; i < nk; ++i) w[i] = load32(key + 4 * i);
    for (uint32_t i = nk; i < total; ++i) {
        uint32_t t = w[i - 1];
        if (i % nk == 0) {
            t = subWord(rotWord(t)) ^ kAesTables.rcon[i / nk - 1];
        } else if (nk > 6 && i % nk == 4) {
            t = subWord(t);
        }
        w[i] = w[i - nk] ^ t;
    }
    for (uint32_t i = total; i < 60; ++i) w[i] = 0;

    const uint32_t nr = nk + 6;
    uint32_t* d = ctx.decryptKeys;
    for (uint32_t c = 0; c < 4; ++c) {
        d[c] = w[4 * nr + c];
        d[4 * nr + c] = w[c];
    }
    for (uint32_t r = 1; r < nr; ++r) {
        for (uint32_t c = 0; c < 4; ++c) d[4 * r + c] = invMixColumn(w[4 * (nr - r) + c]);
    }
    for (uint32_t i = total; i < 60; ++i) d[i] = 0;
    return 1;
}
