#include "common/crypto/sha256.h"

#include <atomic>
#include <cstring>

#include "common/support/secure_zero.h"

alignas(16) const uint32_t kSha256Rounds[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

namespace {

inline uint32_t rotr(uint32_t x, int n) {
    return (x >> n) | (x << (32 - n));
}

}  // namespace

void sha256PortableBlocks(uint32_t* state, const uint8_t* p, std::size_t count) {
    uint32_t w[64];
    for (; count > 0; --count, p += 64) {
        for (int i = 0; i < 16; ++i) {
            w[i] = uint32_t{p[4 * i]} << 24 | uint32_t{p[4 * i + 1]} << 16 |
                   uint32_t{p[4 * i + 2]} << 8 | p[4 * i + 3];
        }
        for (int i = 16; i < 64; ++i) {
            const uint32_t s0 = rotr(w[i - 15], 7) ^ rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
            const uint32_t s1 = rotr(w[i - 2], 17) ^ rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
            w[i] = w[i - 16] + s0 + w[i - 7] + s1;
        }
        uint32_t v[8];
        std::memcpy(v, state, sizeof v);
        for (int i = 0; i < 64; ++i) {
            const uint32_t e = v[4];
            const uint32_t t1 = v[7] + (rotr(e, 6) ^ rotr(e, 11) ^ rotr(e, 25)) +
                                ((e & v[5]) ^ (~e & v[6])) + kSha256Rounds[i] + w[i];
            const uint32_t a = v[0];
            const uint32_t t2 = (rotr(a, 2) ^ rotr(a, 13) ^ rotr(a, 22)) +
                                ((a & v[1]) ^ (a & v[2]) ^ (v[1] & v[2]));
            std::memmove(v + 1, v, 7 * sizeof(uint32_t));
            v[4] += t1;
            v[0] = t1 + t2;
        }
        for (int i = 0; i < 8; ++i) state[i] += v[i];
    }
    // The leaves hash ciphertext, but the same code may one day see secrets.
    secureZero(w, sizeof w);
}

namespace {

// The compression in use: asked of the processor on first use and kept.
std::atomic<Sha256Blocks> g_blocks{nullptr};

void compress(uint32_t* state, const uint8_t* blocks, std::size_t count) {
    Sha256Blocks run = g_blocks.load(std::memory_order_acquire);
    if (run == nullptr) {
        run = sha256HardwareBlocks();
        if (run == nullptr) run = sha256PortableBlocks;
        g_blocks.store(run, std::memory_order_release);
    }
    run(state, blocks, count);
}

// The same for two messages side by side; null when only the portable path exists.
std::atomic<int> g_pairAsked{0};
std::atomic<Sha256PairBlocks> g_pair{nullptr};

Sha256PairBlocks pairBlocks() {
    if (g_pairAsked.load(std::memory_order_acquire) == 0) {
        g_pair.store(sha256HardwarePairBlocks(), std::memory_order_relaxed);
        g_pairAsked.store(1, std::memory_order_release);
    }
    return g_pair.load(std::memory_order_relaxed);
}

}  // namespace

void sha256Init(Sha256Context& ctx) {
    static constexpr uint32_t kStart[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                           0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
    std::memcpy(ctx.h, kStart, sizeof kStart);
    ctx.length = 0;
}

void sha256Update(Sha256Context& ctx, const uint8_t* data, std::size_t length) {
    std::size_t fill = static_cast<std::size_t>(ctx.length % 64);
    ctx.length += length;
    if (fill != 0) {
        const std::size_t take = length < 64 - fill ? length : 64 - fill;
        std::memcpy(ctx.pending + fill, data, take);
        data += take;
        length -= take;
        fill += take;
        if (fill < 64) return;
        compress(ctx.h, ctx.pending, 1);
    }
    const std::size_t whole = length / 64;
    if (whole > 0) compress(ctx.h, data, whole);
    std::memcpy(ctx.pending, data + whole * 64, length % 64);
}

void sha256Final(Sha256Context& ctx, uint8_t* digest) {
    const uint64_t bits = ctx.length * 8;
    const std::size_t fill = static_cast<std::size_t>(ctx.length % 64);
    uint8_t tail[128] = {};
    std::memcpy(tail, ctx.pending, fill);
    tail[fill] = 0x80;
    const std::size_t blocks = fill < 56 ? 1 : 2;
    for (int i = 0; i < 8; ++i) tail[blocks * 64 - 1 - i] = static_cast<uint8_t>(bits >> (8 * i));
    compress(ctx.h, tail, blocks);
    for (int i = 0; i < 8; ++i) {
        for (int b = 0; b < 4; ++b)
            digest[4 * i + b] = static_cast<uint8_t>(ctx.h[i] >> (24 - 8 * b));
    }
    secureZero(tail, sizeof tail);
    sha256Init(ctx);
}

void sha256(const uint8_t* data, std::size_t length, uint8_t* digest) {
    Sha256Context ctx;
    sha256Init(ctx);
    sha256Update(ctx, data, length);
    sha256Final(ctx, digest);
}

void sha256Pair(const uint8_t* a, const uint8_t* b, std::size_t length, uint8_t* digestA,
                uint8_t* digestB) {
    const Sha256PairBlocks pair = pairBlocks();
    Sha256Context x, y;
    sha256Init(x);
    sha256Init(y);
    std::size_t done = 0;
    if (pair != nullptr) {
        done = length / 64 * 64;
        pair(x.h, a, y.h, b, length / 64);
        x.length = y.length = done;
    }
    sha256Update(x, a + done, length - done);
    sha256Update(y, b + done, length - done);
    sha256Final(x, digestA);
    sha256Final(y, digestB);
}
