#include "common/crypto/aes_tables.h"

namespace {

constexpr uint8_t xtime(uint8_t a) {
    return static_cast<uint8_t>((a << 1) ^ ((a & 0x80) ? 0x1B : 0));
}

constexpr uint8_t gfMul(uint8_t a, uint8_t b) {
    uint8_t r = 0;
    while (b != 0) {
        if (b & 1) r ^= a;
        a = xtime(a);
        b >>= 1;
    }
    return r;
}

constexpr uint8_t rotl8(uint8_t x, int s) {
    return static_cast<uint8_t>((x << s) | (x >> (8 - s)));
}

constexpr uint32_t rotl32(uint32_t x, int s) {
    return s == 0 ? x : (x << s) | (x >> (32 - s));
}

constexpr uint32_t column(uint8_t r0, uint8_t r1, uint8_t r2, uint8_t r3) {
    return uint32_t{r0} | uint32_t{r1} << 8 | uint32_t{r2} << 16 | uint32_t{r3} << 24;
}

AesTables build() {
    AesTables t{};
    // Powers and logarithms of the generator 3 give every inverse in GF(2^8) at once.
    uint8_t power[255] = {}, logarithm[256] = {};
    uint8_t g = 1;
    for (int i = 0; i < 255; ++i) {
        power[i] = g;
        logarithm[g] = static_cast<uint8_t>(i);
        g = static_cast<uint8_t>(g ^ xtime(g));
    }
    // S-box: multiplicative inverse followed by the affine map of FIPS-197 5.1.1.
    for (int x = 0; x < 256; ++x) {
        const uint8_t inv = x == 0 ? 0 : power[(255 - logarithm[x]) % 255];
        uint8_t s = inv ^ rotl8(inv, 1) ^ rotl8(inv, 2) ^ rotl8(inv, 3) ^ rotl8(inv, 4) ^ 0x63;
        t.sbox[x] = s;
        t.invSbox[s] = static_cast<uint8_t>(x);
    }
    for (int x = 0; x < 256; ++x) {
        uint8_t s = t.sbox[x];
        uint32_t e = column(gfMul(s, 2), s, s, gfMul(s, 3));
        uint8_t i = t.invSbox[x];
        uint32_t d = column(gfMul(i, 14), gfMul(i, 9), gfMul(i, 13), gfMul(i, 11));
        for (int k = 0; k < 4; ++k) {
            t.te[k][x] = rotl32(e, 8 * k);
            t.td[k][x] = rotl32(d, 8 * k);
        }
    }
    uint8_t rc = 1;
    for (int i = 0; i < 10; ++i) {
        t.rcon[i] = rc;
        rc = xtime(rc);
    }
    return t;
}

}  // namespace

AesTables kAesTables;

void buildAesTables() {
    // S(0) is 0x63 in a built table and 0 in one never built; once built it is never written
    // again, so later calls only read.
    if (kAesTables.sbox[0] == 0x63) return;
    kAesTables = build();
}
