#include "common/crypto/sha512.h"

#include "common/support/secure_zero.h"
#include "common/support/stack_wipe.h"

namespace {

constexpr uint64_t kInitial[8] = {
    0x6a09e667f3bcc908, 0xbb67ae8584caa73b, 0x3c6ef372fe94f82b, 0xa54ff53a5f1d36f1,
    0x510e527fade682d1, 0x9b05688c2b3e6c1f, 0x1f83d9abfb41bd6b, 0x5be0cd19137e2179,
};

constexpr uint64_t kRound[80] = {
    0x428a2f98d728ae22, 0x7137449123ef65cd, 0xb5c0fbcfec4d3b2f, 0xe9b5dba58189dbbc,
    0x3956c25bf348b538, 0x59f111f1b605d019, 0x923f82a4af194f9b, 0xab1c5ed5da6d8118,
    0xd807aa98a3030242, 0x12835b0145706fbe, 0x243185be4ee4b28c, 0x550c7dc3d5ffb4e2,
    0x72be5d74f27b896f, 0x80deb1fe3b1696b1, 0x9bdc06a725c71235, 0xc19bf174cf692694,
    0xe49b69c19ef14ad2, 0xefbe4786384f25e3, 0x0fc19dc68b8cd5b5, 0x240ca1cc77ac9c65,
    0x2de92c6f592b0275, 0x4a7484aa6ea6e483, 0x5cb0a9dcbd41fbd4, 0x76f988da831153b5,
    0x983e5152ee66dfab, 0xa831c66d2db43210, 0xb00327c898fb213f, 0xbf597fc7beef0ee4,
    0xc6e00bf33da88fc2, 0xd5a79147930aa725, 0x06ca6351e003826f, 0x142929670a0e6e70,
    0x27b70a8546d22ffc, 0x2e1b21385c26c926, 0x4d2c6dfc5ac42aed, 0x53380d139d95b3df,
    0x650a73548baf63de, 0x766a0abb3c77b2a8, 0x81c2c92e47edaee6, 0x92722c851482353b,
    0xa2bfe8a14cf10364, 0xa81a664bbc423001, 0xc24b8b70d0f89791, 0xc76c51a30654be30,
    0xd192e819d6ef5218, 0xd69906245565a910, 0xf40e35855771202a, 0x106aa07032bbd1b8,
    0x19a4c116b8d2d0c8, 0x1e376c085141ab53, 0x2748774cdf8eeb99, 0x34b0bcb5e19b48a8,
    0x391c0cb3c5c95a63, 0x4ed8aa4ae3418acb, 0x5b9cca4f7763e373, 0x682e6ff3d6b2b8a3,
    0x748f82ee5defb2fc, 0x78a5636f43172f60, 0x84c87814a1f0ab72, 0x8cc702081a6439ec,
    0x90befffa23631e28, 0xa4506cebde82bde9, 0xbef9a3f7b2c67915, 0xc67178f2e372532b,
    0xca273eceea26619c, 0xd186b8c721c0c207, 0xeada7dd6cde0eb1e, 0xf57d4f7fee6ed178,
    0x06f067aa72176fba, 0x0a637dc5a2c898a6, 0x113f9804bef90dae, 0x1b710b35131c471b,
    0x28db77f523047d84, 0x32caab7b40c72493, 0x3c9ebe0a15c9bebc, 0x431d67c49c100d4c,
    0x4cc5d4becb3e42b6, 0x597f299cfc657e2a, 0x5fcb6fab3ad6faec, 0x6c44198c4a475817,
};

constexpr std::size_t kBlockBytes = 128;

inline uint64_t rotr(uint64_t x, int n) {
    return (x >> n) | (x << (64 - n));
}

inline uint64_t loadBigEndian(const uint8_t* p) {
    uint64_t v = 0;
    for (int i = 0; i < 8; ++i) v = (v << 8) | p[i];
    return v;
}

// The next schedule word in the rolling 16-word window: W[t] replaces W[t - 16] in place.
[[gnu::always_inline]] inline uint64_t nextWord(uint64_t* w, int t) {
    const uint64_t w15 = w[(t - 15) & 15], w2 = w[(t - 2) & 15];
    const uint64_t s0 = rotr(w15, 1) ^ rotr(w15, 8) ^ (w15 >> 7);
    const uint64_t s1 = rotr(w2, 19) ^ rotr(w2, 61) ^ (w2 >> 6);
    return w[t & 15] += s0 + w[(t - 7) & 15] + s1;
}

// W[t]: a message word in the first sixteen rounds, a schedule word computed in place after.
[[gnu::always_inline]] inline uint64_t scheduleWord(uint64_t* w, int t) {
    return t < 16 ? w[t] : nextWord(w, t);
}

// The compression function over one block whose sixteen message words are in w. The schedule
// runs as a rolling window inside w, so the only working storage is w and the eight variables;
// w is left holding schedule words, which the callers wipe. A plain loop, one copy for both
// paths: the extractor carries this code and must stay under 100 KiB; rounds unrolled by eight
// were about 12% faster natively but 5 KiB larger on i686.
[[gnu::noinline]] void compressWords(uint64_t* state, uint64_t* w) {
    uint64_t a = state[0], b = state[1], c = state[2], d = state[3];
    uint64_t e = state[4], f = state[5], g = state[6], h = state[7];
    for (int t = 0; t < 80; ++t) {
        const uint64_t t1 = h + (rotr(e, 14) ^ rotr(e, 18) ^ rotr(e, 41)) + (g ^ (e & (f ^ g))) +
                            kRound[t] + scheduleWord(w, t);
        const uint64_t t2 = (rotr(a, 28) ^ rotr(a, 34) ^ rotr(a, 39)) + ((a & b) | (c & (a | b)));
        h = g;
        g = f;
        f = e;
        e = d + t1;
        d = c;
        c = b;
        b = a;
        a = t1 + t2;
    }
    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
    state[4] += e;
    state[5] += f;
    state[6] += g;
    state[7] += h;
}

// The block the byte path gathered in the context. Its words are wiped afterwards; the next
// bytes shift into zeroed words, which gives the same words as shifting into the old ones.
[[gnu::noinline]] void compressGathered(Sha512Context& ctx) {
    compressWords(ctx.h, ctx.w);
    secureZero(ctx.w, sizeof ctx.w);
}

// Whole blocks straight from the caller's bytes, the schedule in this frame, wiped at the end.
[[gnu::noinline]] void compressBlocks(uint64_t* state, const uint8_t* data, std::size_t blocks) {
    uint64_t w[16];
    for (std::size_t i = 0; i < blocks; ++i, data += kBlockBytes) {
        for (int j = 0; j < 16; ++j) w[j] = loadBigEndian(data + 8 * j);
        compressWords(state, w);
    }
    secureZero(w, sizeof w);
}

// How deep the wipe after a compression reaches: on i686 the eight 64-bit working variables do
// not fit the registers and spill, and the compression's frames reach about 350 bytes down.
constexpr std::size_t kCompressionStackBytes = 1024;

// Adds `bytes` (a multiple of 8) to the 128-bit bit count, the carry running through all words.
void addToBitCount(Sha512Context& ctx, uint64_t bytes) {
    const uint64_t bits = bytes << 3;  // callers pass far less than 2^61 bytes at a time
    uint64_t low = (uint64_t{ctx.bitCount[1]} << 32 | ctx.bitCount[0]) + bits;
    const bool carry = low < bits;
    ctx.bitCount[0] = static_cast<uint32_t>(low);
    ctx.bitCount[1] = static_cast<uint32_t>(low >> 32);
    if (carry) {
        for (int i = 2; i < 4 && ++ctx.bitCount[i] == 0; ++i) {
        }
    }
}

}  // namespace

void sha512Init(Sha512Context& ctx) {
    for (uint32_t& word : ctx.bitCount) word = 0;
    for (int i = 0; i < 8; ++i) ctx.h[i] = kInitial[i];
    for (uint64_t& word : ctx.w) word = 0;
}

void sha512Update(Sha512Context& ctx, uint8_t byte) {
    const uint32_t index = (ctx.bitCount[0] / 64) % 16;
    ctx.w[index] = (ctx.w[index] << 8) | byte;
    addToBitCount(ctx, 1);
    if ((ctx.bitCount[0] & 0x3FF) == 0) {
        compressGathered(ctx);
        wipeStack<kCompressionStackBytes>();
    }
}

void sha512Update(Sha512Context& ctx, const uint8_t* data, std::size_t length) {
    // Bytes up to the next block boundary go the byte way, then whole blocks are compressed
    // straight from the caller's buffer, then the rest goes the byte way again. The digest is
    // the same however a message is split between calls.
    while (length > 0 && (ctx.bitCount[0] & 0x3FF) != 0) {
        sha512Update(ctx, *data++);
        --length;
    }
    const std::size_t blocks = length / kBlockBytes;
    if (blocks > 0) {
        compressBlocks(ctx.h, data, blocks);
        wipeStack<kCompressionStackBytes>();
        addToBitCount(ctx, uint64_t{blocks} * kBlockBytes);
        data += blocks * kBlockBytes;
        length -= blocks * kBlockBytes;
    }
    for (std::size_t i = 0; i < length; ++i) sha512Update(ctx, data[i]);
}

void sha512Final(Sha512Context& ctx, uint8_t* digest) {
    const uint64_t low = uint64_t{ctx.bitCount[1]} << 32 | ctx.bitCount[0];
    const uint64_t high = uint64_t{ctx.bitCount[3]} << 32 | ctx.bitCount[2];
    sha512Update(ctx, 0x80);
    while ((ctx.bitCount[0] & 0x3FF) != 896) sha512Update(ctx, 0x00);
    ctx.w[14] = high;
    ctx.w[15] = low;
    compressGathered(ctx);
    wipeStack<kCompressionStackBytes>();
    for (int i = 0; i < 8; ++i) {
        for (int j = 0; j < 8; ++j)
            digest[8 * i + j] = static_cast<uint8_t>(ctx.h[i] >> (56 - 8 * j));
    }
    sha512Init(ctx);
}
