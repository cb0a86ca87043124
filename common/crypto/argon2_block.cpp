#include "common/crypto/argon2_block.h"

namespace {

inline uint64_t rotr(uint64_t x, int n) {
    return (x >> n) | (x << (64 - n));
}

// BLAKE2b's addition with the low halves' product added twice: the multiplication is what makes
// the derivation as slow on dedicated hardware as on a processor. The product is 32x32 -> 64
// bits, a single instruction on i686 as well.
inline uint64_t blaMka(uint64_t x, uint64_t y) {
    const uint64_t product = uint64_t{static_cast<uint32_t>(x)} * static_cast<uint32_t>(y);
    return x + y + 2 * product;
}

[[gnu::always_inline]] inline void mix(uint64_t& a, uint64_t& b, uint64_t& c, uint64_t& d) {
    a = blaMka(a, b);
    d = rotr(d ^ a, 32);
    c = blaMka(c, d);
    b = rotr(b ^ c, 24);
    a = blaMka(a, b);
    d = rotr(d ^ a, 16);
    c = blaMka(c, d);
    b = rotr(b ^ c, 63);
}

// One BLAKE2b round without message words, over sixteen words of the block picked by `at`:
// word i of the round is v[at(i)].
template <typename At>
[[gnu::always_inline]] inline void blakeRound(uint64_t* v, At at) {
    uint64_t w0 = v[at(0)], w1 = v[at(1)], w2 = v[at(2)], w3 = v[at(3)];
    uint64_t w4 = v[at(4)], w5 = v[at(5)], w6 = v[at(6)], w7 = v[at(7)];
    uint64_t w8 = v[at(8)], w9 = v[at(9)], w10 = v[at(10)], w11 = v[at(11)];
    uint64_t w12 = v[at(12)], w13 = v[at(13)], w14 = v[at(14)], w15 = v[at(15)];
    mix(w0, w4, w8, w12);
    mix(w1, w5, w9, w13);
    mix(w2, w6, w10, w14);
    mix(w3, w7, w11, w15);
    mix(w0, w5, w10, w15);
    mix(w1, w6, w11, w12);
    mix(w2, w7, w8, w13);
    mix(w3, w4, w9, w14);
    v[at(0)] = w0, v[at(1)] = w1, v[at(2)] = w2, v[at(3)] = w3;
    v[at(4)] = w4, v[at(5)] = w5, v[at(6)] = w6, v[at(7)] = w7;
    v[at(8)] = w8, v[at(9)] = w9, v[at(10)] = w10, v[at(11)] = w11;
    v[at(12)] = w12, v[at(13)] = w13, v[at(14)] = w14, v[at(15)] = w15;
}

}  // namespace

void argon2Compress(const Argon2Block& prev, const Argon2Block& ref, Argon2Block& out,
                    bool xorIntoOut, Argon2Block& scratch) {
    uint64_t* r = scratch.v;
    for (std::size_t i = 0; i < kArgon2BlockWords; ++i) r[i] = prev.v[i] ^ ref.v[i];
    // out takes R (and its old self) now, P(R) at the end: R itself need not be kept twice.
    if (xorIntoOut) {
        for (std::size_t i = 0; i < kArgon2BlockWords; ++i) out.v[i] ^= r[i];
    } else {
        for (std::size_t i = 0; i < kArgon2BlockWords; ++i) out.v[i] = r[i];
    }
    // Rows: registers 8i..8i+7, i.e. sixteen consecutive words.
    for (int i = 0; i < 8; ++i) {
        blakeRound(r, [i](int k) { return 16 * i + k; });
    }
    // Columns: register i of every row, i.e. words 2i and 2i+1 of each run of sixteen.
    for (int i = 0; i < 8; ++i) {
        blakeRound(r, [i](int k) { return 16 * (k / 2) + 2 * i + (k % 2); });
    }
    for (std::size_t i = 0; i < kArgon2BlockWords; ++i) out.v[i] ^= r[i];
}

void argon2StoreBlock(const Argon2Block& block, uint8_t* bytes) {
    for (std::size_t i = 0; i < kArgon2BlockWords; ++i) {
        for (int j = 0; j < 8; ++j) bytes[8 * i + j] = static_cast<uint8_t>(block.v[i] >> (8 * j));
    }
}

void argon2LoadBlock(Argon2Block& block, const uint8_t* bytes) {
    for (std::size_t i = 0; i < kArgon2BlockWords; ++i) {
        uint64_t v = 0;
        for (int j = 7; j >= 0; --j) v = (v << 8) | bytes[8 * i + j];
        block.v[i] = v;
    }
}
