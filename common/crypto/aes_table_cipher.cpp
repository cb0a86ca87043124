// The portable AES: each middle round builds every output column from four 32-bit table
// lookups and the round key; the last round uses the S-box and the shift pattern alone. No
// allocation; the working state lives in registers, and the stack it may spill to is wiped.
#include <cstring>

#include "common/crypto/aes_engine.h"
#include "common/crypto/aes_tables.h"

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

inline uint32_t b0(uint32_t w) {
    return w & 0xFF;
}
inline uint32_t b1(uint32_t w) {
    return (w >> 8) & 0xFF;
}
inline uint32_t b2(uint32_t w) {
    return (w >> 16) & 0xFF;
}
inline uint32_t b3(uint32_t w) {
    return w >> 24;
}

// One middle round: every output column is four table lookups and a round-key word.
inline void encryptRound(uint32_t& d0, uint32_t& d1, uint32_t& d2, uint32_t& d3, uint32_t s0,
                         uint32_t s1, uint32_t s2, uint32_t s3, const uint32_t* rk) {
    const auto& te = T.te;
    d0 = te[0][b0(s0)] ^ te[1][b1(s1)] ^ te[2][b2(s2)] ^ te[3][b3(s3)] ^ rk[0];
    d1 = te[0][b0(s1)] ^ te[1][b1(s2)] ^ te[2][b2(s3)] ^ te[3][b3(s0)] ^ rk[1];
    d2 = te[0][b0(s2)] ^ te[1][b1(s3)] ^ te[2][b2(s0)] ^ te[3][b3(s1)] ^ rk[2];
    d3 = te[0][b0(s3)] ^ te[1][b1(s0)] ^ te[2][b2(s1)] ^ te[3][b3(s2)] ^ rk[3];
}

inline uint32_t lastColumn(const uint8_t* box, uint32_t a, uint32_t b, uint32_t c, uint32_t d,
                           uint32_t rk) {
    return (uint32_t{box[b0(a)]} | uint32_t{box[b1(b)]} << 8 | uint32_t{box[b2(c)]} << 16 |
            uint32_t{box[b3(d)]} << 24) ^
           rk;
}

inline void decryptRound(uint32_t& d0, uint32_t& d1, uint32_t& d2, uint32_t& d3, uint32_t s0,
                         uint32_t s1, uint32_t s2, uint32_t s3, const uint32_t* rk) {
    const auto& td = T.td;
    d0 = td[0][b0(s0)] ^ td[1][b1(s3)] ^ td[2][b2(s2)] ^ td[3][b3(s1)] ^ rk[0];
    d1 = td[0][b0(s1)] ^ td[1][b1(s0)] ^ td[2][b2(s3)] ^ td[3][b3(s2)] ^ rk[1];
    d2 = td[0][b0(s2)] ^ td[1][b1(s1)] ^ td[2][b2(s0)] ^ td[3][b3(s3)] ^ rk[2];
    d3 = td[0][b0(s3)] ^ td[1][b1(s2)] ^ td[2][b2(s1)] ^ td[3][b3(s0)] ^ rk[3];
}

// The forward cipher on one block held as four column words. Nr is even, so the middle rounds
// are an odd count: pairs that swap the two halves of the state, then one more.
inline void forward(const AesContext& ctx, uint32_t& s0, uint32_t& s1, uint32_t& s2, uint32_t& s3) {
    const uint32_t* rk = ctx.encryptKeys;
    const int nr = ctx.rounds;
    uint32_t t0, t1, t2, t3;
    s0 ^= rk[0];
    s1 ^= rk[1];
    s2 ^= rk[2];
    s3 ^= rk[3];
    int r = 1;
    for (; r + 1 < nr; r += 2) {
        encryptRound(t0, t1, t2, t3, s0, s1, s2, s3, rk + 4 * r);
        encryptRound(s0, s1, s2, s3, t0, t1, t2, t3, rk + 4 * r + 4);
    }
    encryptRound(t0, t1, t2, t3, s0, s1, s2, s3, rk + 4 * r);
    rk += 4 * nr;
    s0 = lastColumn(T.sbox, t0, t1, t2, t3, rk[0]);
    s1 = lastColumn(T.sbox, t1, t2, t3, t0, rk[1]);
    s2 = lastColumn(T.sbox, t2, t3, t0, t1, rk[2]);
    s3 = lastColumn(T.sbox, t3, t0, t1, t2, rk[3]);
}

inline void inverse(const AesContext& ctx, uint32_t& s0, uint32_t& s1, uint32_t& s2, uint32_t& s3) {
    const uint32_t* rk = ctx.decryptKeys;
    const int nr = ctx.rounds;
    uint32_t t0, t1, t2, t3;
    s0 ^= rk[0];
    s1 ^= rk[1];
    s2 ^= rk[2];
    s3 ^= rk[3];
    int r = 1;
    for (; r + 1 < nr; r += 2) {
        decryptRound(t0, t1, t2, t3, s0, s1, s2, s3, rk + 4 * r);
        decryptRound(s0, s1, s2, s3, t0, t1, t2, t3, rk + 4 * r + 4);
    }
    decryptRound(t0, t1, t2, t3, s0, s1, s2, s3, rk + 4 * r);
    rk += 4 * nr;
    s0 = lastColumn(T.invSbox, t0, t3, t2, t1, rk[0]);
    s1 = lastColumn(T.invSbox, t1, t0, t3, t2, rk[1]);
    s2 = lastColumn(T.invSbox, t2, t1, t0, t3, rk[2]);
    s3 = lastColumn(T.invSbox, t3, t2, t1, t0, rk[3]);
}

[[gnu::noinline]] void encryptCore(AesContext& ctx, uint8_t* data, std::size_t blocks) {
    const bool cbc = ctx.mode != kAesModeEcb;
    uint32_t c0 = load32(ctx.chain), c1 = load32(ctx.chain + 4), c2 = load32(ctx.chain + 8),
             c3 = load32(ctx.chain + 12);
    for (std::size_t i = 0; i < blocks; ++i, data += 16) {
        uint32_t s0 = load32(data), s1 = load32(data + 4), s2 = load32(data + 8),
                 s3 = load32(data + 12);
        if (cbc) {
            s0 ^= c0;
            s1 ^= c1;
            s2 ^= c2;
            s3 ^= c3;
        }
        forward(ctx, s0, s1, s2, s3);
        store32(data, s0);
        store32(data + 4, s1);
        store32(data + 8, s2);
        store32(data + 12, s3);
        c0 = s0;
        c1 = s1;
        c2 = s2;
        c3 = s3;
    }
    if (cbc && blocks > 0) std::memcpy(ctx.chain, data - 16, 16);
}

[[gnu::noinline]] void decryptCore(AesContext& ctx, uint8_t* data, std::size_t blocks) {
    const bool cbc = ctx.mode != kAesModeEcb;
    uint32_t c0 = load32(ctx.chain), c1 = load32(ctx.chain + 4), c2 = load32(ctx.chain + 8),
             c3 = load32(ctx.chain + 12);
    for (std::size_t i = 0; i < blocks; ++i, data += 16) {
        const uint32_t i0 = load32(data), i1 = load32(data + 4), i2 = load32(data + 8),
                       i3 = load32(data + 12);
        uint32_t s0 = i0, s1 = i1, s2 = i2, s3 = i3;
        inverse(ctx, s0, s1, s2, s3);
        if (cbc) {
            s0 ^= c0;
            s1 ^= c1;
            s2 ^= c2;
            s3 ^= c3;
            c0 = i0;
            c1 = i1;
            c2 = i2;
            c3 = i3;
        }
        store32(data, s0);
        store32(data + 4, s1);
        store32(data + 8, s2);
        store32(data + 12, s3);
    }
    if (cbc) {
        store32(ctx.chain, c0);
        store32(ctx.chain + 4, c1);
        store32(ctx.chain + 8, c2);
        store32(ctx.chain + 12, c3);
    }
}

const AesEngine kTableEngine = {"table", withStackWipe<encryptCore>, withStackWipe<decryptCore>};

}  // namespace

const AesEngine& aesTableEngine() {
    return kTableEngine;
}
