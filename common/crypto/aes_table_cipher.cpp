// The portable AES: each middle round builds every output column from four 32-bit table
// lookups and the round key; the last round uses the S-box and the shift pattern alone. No
// allocation; the working state lives in two small arrays that are wiped before returning.
#include <cstring>

#include "common/crypto/aes_engine.h"
#include "common/crypto/aes_tables.h"
#include "common/support/secure_zero.h"

namespace {

const AesTables& T = kAesTables;

inline uint32_t load32(const uint8_t* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

inline void store32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}

inline uint32_t b0(uint32_t w) { return w & 0xFF; }
inline uint32_t b1(uint32_t w) { return (w >> 8) & 0xFF; }
inline uint32_t b2(uint32_t w) { return (w >> 16) & 0xFF; }
inline uint32_t b3(uint32_t w) { return w >> 24; }

// Forward cipher of the block in s (columns), leaving the result in s; t is scratch.
inline void forward(const AesContext& ctx, uint32_t* s, uint32_t* t) {
    const uint32_t* rk = ctx.encryptKeys;
    for (int c = 0; c < 4; ++c) s[c] ^= rk[c];
    for (int r = 1; r < ctx.rounds; ++r) {
        rk += 4;
        for (int c = 0; c < 4; ++c) {
            t[c] = T.te[0][b0(s[c])] ^ T.te[1][b1(s[(c + 1) & 3])] ^ T.te[2][b2(s[(c + 2) & 3])] ^
                   T.te[3][b3(s[(c + 3) & 3])] ^ rk[c];
        }
        std::memcpy(s, t, 16);
    }
    rk += 4;
    for (int c = 0; c < 4; ++c) {
        t[c] = (uint32_t{T.sbox[b0(s[c])]} | uint32_t{T.sbox[b1(s[(c + 1) & 3])]} << 8 |
                uint32_t{T.sbox[b2(s[(c + 2) & 3])]} << 16 |
                uint32_t{T.sbox[b3(s[(c + 3) & 3])]} << 24) ^
               rk[c];
    }
    std::memcpy(s, t, 16);
}

inline void inverse(const AesContext& ctx, uint32_t* s, uint32_t* t) {
    const uint32_t* rk = ctx.decryptKeys;
    for (int c = 0; c < 4; ++c) s[c] ^= rk[c];
    for (int r = 1; r < ctx.rounds; ++r) {
        rk += 4;
        for (int c = 0; c < 4; ++c) {
            t[c] = T.td[0][b0(s[c])] ^ T.td[1][b1(s[(c + 3) & 3])] ^ T.td[2][b2(s[(c + 2) & 3])] ^
                   T.td[3][b3(s[(c + 1) & 3])] ^ rk[c];
        }
        std::memcpy(s, t, 16);
    }
    rk += 4;
    for (int c = 0; c < 4; ++c) {
        t[c] = (uint32_t{T.invSbox[b0(s[c])]} | uint32_t{T.invSbox[b1(s[(c + 3) & 3])]} << 8 |
                uint32_t{T.invSbox[b2(s[(c + 2) & 3])]} << 16 |
                uint32_t{T.invSbox[b3(s[(c + 1) & 3])]} << 24) ^
               rk[c];
    }
    std::memcpy(s, t, 16);
}

void encryptBlocks(AesContext& ctx, uint8_t* data, std::size_t blocks) {
    uint32_t s[4], t[4];
    const bool cbc = ctx.mode != kAesModeEcb;
    for (std::size_t i = 0; i < blocks; ++i, data += 16) {
        for (int c = 0; c < 4; ++c) {
            s[c] = load32(data + 4 * c);
            if (cbc) s[c] ^= load32(ctx.chain + 4 * c);
        }
        forward(ctx, s, t);
        for (int c = 0; c < 4; ++c) store32(data + 4 * c, s[c]);
        if (cbc) std::memcpy(ctx.chain, data, 16);
    }
    secureZero(s, sizeof s);
    secureZero(t, sizeof t);
}

void decryptBlocks(AesContext& ctx, uint8_t* data, std::size_t blocks) {
    uint32_t s[4], t[4];
    uint8_t previous[16];
    const bool cbc = ctx.mode != kAesModeEcb;
    for (std::size_t i = 0; i < blocks; ++i, data += 16) {
        for (int c = 0; c < 4; ++c) s[c] = load32(data + 4 * c);
        if (cbc) {
            std::memcpy(previous, ctx.chain, 16);
            std::memcpy(ctx.chain, data, 16);
        }
        inverse(ctx, s, t);
        for (int c = 0; c < 4; ++c) {
            if (cbc) s[c] ^= load32(previous + 4 * c);
            store32(data + 4 * c, s[c]);
        }
    }
    secureZero(s, sizeof s);
    secureZero(t, sizeof t);
    secureZero(previous, sizeof previous);
}

const AesEngine kTableEngine = {"table", encryptBlocks, decryptBlocks};

}  // namespace

const AesEngine& aesTableEngine() { return kTableEngine; }
