#include "common/crypto/blake2b.h"

#include "common/support/secure_zero.h"
#include "common/support/stack_wipe.h"

namespace {

constexpr uint64_t kInitial[8] = {
    0x6a09e667f3bcc908, 0xbb67ae8584caa73b, 0x3c6ef372fe94f82b, 0xa54ff53a5f1d36f1,
    0x510e527fade682d1, 0x9b05688c2b3e6c1f, 0x1f83d9abfb41bd6b, 0x5be0cd19137e2179,
};

// Which message word each round feeds to each mixing step; rounds 10 and 11 reuse rows 0 and 1.
constexpr uint8_t kSigma[12][16] = {
    {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15},
    {14, 10, 4, 8, 9, 15, 13, 6, 1, 12, 0, 2, 11, 7, 5, 3},
    {11, 8, 12, 0, 5, 2, 15, 13, 10, 14, 3, 6, 7, 1, 9, 4},
    {7, 9, 3, 1, 13, 12, 11, 14, 2, 6, 5, 10, 4, 0, 15, 8},
    {9, 0, 5, 7, 2, 4, 10, 15, 14, 1, 11, 12, 6, 8, 3, 13},
    {2, 12, 6, 10, 0, 11, 8, 3, 4, 13, 7, 5, 15, 14, 1, 9},
    {12, 5, 1, 15, 14, 13, 4, 10, 0, 7, 6, 3, 9, 2, 8, 11},
    {13, 11, 7, 14, 12, 1, 3, 9, 5, 0, 15, 4, 8, 6, 2, 10},
    {6, 15, 14, 9, 11, 3, 0, 8, 12, 2, 13, 7, 1, 4, 10, 5},
    {10, 2, 8, 4, 7, 6, 1, 5, 15, 11, 9, 14, 3, 12, 13, 0},
    {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15},
    {14, 10, 4, 8, 9, 15, 13, 6, 1, 12, 0, 2, 11, 7, 5, 3},
};

inline uint64_t rotr(uint64_t x, int n) {
    return (x >> n) | (x << (64 - n));
}

inline uint64_t loadLittleEndian(const uint8_t* p) {
    uint64_t v = 0;
    for (int i = 7; i >= 0; --i) v = (v << 8) | p[i];
    return v;
}

[[gnu::always_inline]] inline void mix(uint64_t* v, int a, int b, int c, int d, uint64_t x,
                                       uint64_t y) {
    v[a] = v[a] + v[b] + x;
    v[d] = rotr(v[d] ^ v[a], 32);
    v[c] = v[c] + v[d];
    v[b] = rotr(v[b] ^ v[c], 24);
    v[a] = v[a] + v[b] + y;
    v[d] = rotr(v[d] ^ v[a], 16);
    v[c] = v[c] + v[d];
    v[b] = rotr(v[b] ^ v[c], 63);
}

// The compression function F over the context's block. `last` marks the final block, whose
// count already includes its own bytes. The message words and working vector are wiped here;
// what the compiler spills below them is left to the callers' stack wipe.
[[gnu::noinline]] void compress(Blake2b& ctx, bool last) {
    uint64_t m[16], v[16];
    for (int i = 0; i < 16; ++i) m[i] = loadLittleEndian(ctx.block + 8 * i);
    for (int i = 0; i < 8; ++i) {
        v[i] = ctx.h[i];
        v[i + 8] = kInitial[i];
    }
    v[12] ^= ctx.count[0];
    v[13] ^= ctx.count[1];
    if (last) v[14] = ~v[14];
    for (const uint8_t* s : kSigma) {
        mix(v, 0, 4, 8, 12, m[s[0]], m[s[1]]);
        mix(v, 1, 5, 9, 13, m[s[2]], m[s[3]]);
        mix(v, 2, 6, 10, 14, m[s[4]], m[s[5]]);
        mix(v, 3, 7, 11, 15, m[s[6]], m[s[7]]);
        mix(v, 0, 5, 10, 15, m[s[8]], m[s[9]]);
        mix(v, 1, 6, 11, 12, m[s[10]], m[s[11]]);
        mix(v, 2, 7, 8, 13, m[s[12]], m[s[13]]);
        mix(v, 3, 4, 9, 14, m[s[14]], m[s[15]]);
    }
    for (int i = 0; i < 8; ++i) ctx.h[i] ^= v[i] ^ v[i + 8];
    secureZero(m, sizeof m);
    secureZero(v, sizeof v);
}

// How deep the wipe after a compression reaches: on i686 the working vector lives mostly in
// spill slots, and the compression's frame is a few hundred bytes.
constexpr std::size_t kCompressionStackBytes = 1024;

void addToCount(Blake2b& ctx, uint64_t bytes) {
    ctx.count[0] += bytes;
    if (ctx.count[0] < bytes) ++ctx.count[1];
}

}  // namespace

bool Blake2b::init(std::size_t length, const uint8_t* key, std::size_t keyLength) {
    wipe();
    if (length == 0 || length > kBlake2bMaxDigestBytes || keyLength > kBlake2bMaxKeyBytes ||
        (key == nullptr && keyLength != 0)) {
        return false;
    }
    for (int i = 0; i < 8; ++i) h[i] = kInitial[i];
    // The parameter block's first word: digest length, key length, fan-out 1, depth 1.
    h[0] ^= 0x01010000u ^ (uint64_t{keyLength} << 8) ^ length;
    digestLength = static_cast<uint32_t>(length);
    if (keyLength > 0) {
        // The key is the first block, zero-padded; it is compressed like any other, so it is
        // never the last one unless no message follows.
        for (std::size_t i = 0; i < keyLength; ++i) block[i] = key[i];
        filled = kBlake2bBlockBytes;
    }
    return true;
}

void Blake2b::update(const uint8_t* data, std::size_t length) {
    // A full block is compressed only once more bytes arrive: the last block of the message
    // must be compressed with the final flag, and only finish knows which one that is.
    bool compressed = false;
    while (length > 0) {
        if (filled == kBlake2bBlockBytes) {
            addToCount(*this, kBlake2bBlockBytes);
            compress(*this, false);
            filled = 0;
            compressed = true;
        }
        std::size_t take = kBlake2bBlockBytes - filled;
        if (take > length) take = length;
        for (std::size_t i = 0; i < take; ++i) block[filled + i] = data[i];
        filled += static_cast<uint32_t>(take);
        data += take;
        length -= take;
    }
    if (compressed) wipeStack<kCompressionStackBytes>();
}

void Blake2b::updateWord(uint32_t value) {
    const uint8_t bytes[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                              static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
    update(bytes, sizeof bytes);
}

void Blake2b::finish(uint8_t* digest) {
    addToCount(*this, filled);
    for (std::size_t i = filled; i < kBlake2bBlockBytes; ++i) block[i] = 0;
    compress(*this, true);
    wipeStack<kCompressionStackBytes>();
    for (uint32_t i = 0; i < digestLength; ++i)
        digest[i] = static_cast<uint8_t>(h[i / 8] >> (8 * (i % 8)));
    wipe();
}

void Blake2b::wipe() {
    secureZero(h, sizeof h);
    secureZero(count, sizeof count);
    secureZero(block, sizeof block);
    filled = 0;
    digestLength = 0;
}

bool blake2b(uint8_t* digest, std::size_t digestLength, const uint8_t* data, std::size_t length,
             const uint8_t* key, std::size_t keyLength) {
    Blake2b ctx;
    if (!ctx.init(digestLength, key, keyLength)) return false;
    ctx.update(data, length);
    ctx.finish(digest);
    return true;
}
