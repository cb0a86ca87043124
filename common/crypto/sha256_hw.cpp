// SHA-256 with the processor's SHA extensions (x86, 32 and 64 bits). Each SHA256RNDS2 does two
// rounds on the state held as ABEF and CDGH; SHA256MSG1 and SHA256MSG2 extend the message
// schedule four words at a time. Only these functions are compiled for the instructions, so the
// rest of the build runs on any processor.
#include "common/crypto/sha256.h"

#if defined(__i386__) || defined(__x86_64__)

#include <cpuid.h>
#include <immintrin.h>

#define QUILLON_SHA_TARGET __attribute__((target("sse4.1,sha")))
#if defined(__i386__)
// 32-bit Windows promises threads only 4-byte stack alignment; vector spills need 16.
#define QUILLON_SHA_ENTRY QUILLON_SHA_TARGET __attribute__((force_align_arg_pointer))
#else
#define QUILLON_SHA_ENTRY QUILLON_SHA_TARGET
#endif

namespace {

alignas(16) constexpr uint32_t kRound[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

QUILLON_SHA_ENTRY void hardwareBlocks(uint32_t* state, const uint8_t* data, std::size_t count) {
    // Big-endian words from the message bytes.
    const __m128i swap = _mm_set_epi64x(0x0c0d0e0f08090a0bULL, 0x0405060700010203ULL);
    __m128i dcba = _mm_loadu_si128(reinterpret_cast<const __m128i*>(state));
    __m128i hgfe = _mm_loadu_si128(reinterpret_cast<const __m128i*>(state + 4));
    const __m128i cdab = _mm_shuffle_epi32(dcba, 0xB1);
    const __m128i efgh = _mm_shuffle_epi32(hgfe, 0x1B);
    __m128i abef = _mm_alignr_epi8(cdab, efgh, 8);
    __m128i cdgh = _mm_blend_epi16(efgh, cdab, 0xF0);

// Four rounds with the message words `m` and the round constants of group `g`.
#define QUILLON_SHA_QUAD(m, g)                                                                    \
    do {                                                                                          \
        __m128i k =                                                                               \
            _mm_add_epi32(m, _mm_load_si128(reinterpret_cast<const __m128i*>(kRound + 4 * (g)))); \
        cdgh = _mm_sha256rnds2_epu32(cdgh, abef, k);                                              \
        abef = _mm_sha256rnds2_epu32(abef, cdgh, _mm_shuffle_epi32(k, 0x0E));                     \
    } while (0)
// The next four schedule words, W[t] = s1(W[t-2]) + W[t-7] + s0(W[t-15]) + W[t-16], into `w16`,
// which holds the words 16 back; w12, w8 and w4 hold those 12, 8 and 4 back.
#define QUILLON_SHA_EXTEND(w16, w12, w8, w4) \
    w16 = _mm_sha256msg2_epu32(              \
        _mm_add_epi32(_mm_sha256msg1_epu32(w16, w12), _mm_alignr_epi8(w4, w8, 4)), w4)

    for (; count > 0; --count, data += 64) {
        const __m128i abefStart = abef, cdghStart = cdgh;
        const __m128i* in = reinterpret_cast<const __m128i*>(data);
        __m128i w0 = _mm_shuffle_epi8(_mm_loadu_si128(in), swap);
        __m128i w1 = _mm_shuffle_epi8(_mm_loadu_si128(in + 1), swap);
        __m128i w2 = _mm_shuffle_epi8(_mm_loadu_si128(in + 2), swap);
        __m128i w3 = _mm_shuffle_epi8(_mm_loadu_si128(in + 3), swap);
        QUILLON_SHA_QUAD(w0, 0);
        QUILLON_SHA_QUAD(w1, 1);
        QUILLON_SHA_QUAD(w2, 2);
        QUILLON_SHA_QUAD(w3, 3);
#pragma GCC unroll 3
        for (int g = 4; g < 16; g += 4) {
            QUILLON_SHA_EXTEND(w0, w1, w2, w3);
            QUILLON_SHA_QUAD(w0, g);
            QUILLON_SHA_EXTEND(w1, w2, w3, w0);
            QUILLON_SHA_QUAD(w1, g + 1);
            QUILLON_SHA_EXTEND(w2, w3, w0, w1);
            QUILLON_SHA_QUAD(w2, g + 2);
            QUILLON_SHA_EXTEND(w3, w0, w1, w2);
            QUILLON_SHA_QUAD(w3, g + 3);
        }
        abef = _mm_add_epi32(abef, abefStart);
        cdgh = _mm_add_epi32(cdgh, cdghStart);
    }
#undef QUILLON_SHA_QUAD
#undef QUILLON_SHA_EXTEND

    const __m128i feba = _mm_shuffle_epi32(abef, 0x1B);
    const __m128i dchg = _mm_shuffle_epi32(cdgh, 0xB1);
    dcba = _mm_blend_epi16(feba, dchg, 0xF0);
    hgfe = _mm_alignr_epi8(dchg, feba, 8);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state), dcba);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state + 4), hgfe);
}

#if defined(__x86_64__)
// Two messages at once, each in its own registers. One message's rounds wait on each other
// (every SHA256RNDS2 needs the last one's result); two independent ones fill those waits, so the
// pair takes little longer than one. The reader hashes its chunks two at a time this way.
struct Lane {
    __m128i abef, cdgh, start0, start1;
    __m128i w[4];
};

QUILLON_SHA_TARGET inline void loadState(Lane& l, const uint32_t* state) {
    const __m128i cdab =
        _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(state)), 0xB1);
    const __m128i efgh =
        _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(state + 4)), 0x1B);
    l.abef = _mm_alignr_epi8(cdab, efgh, 8);
    l.cdgh = _mm_blend_epi16(efgh, cdab, 0xF0);
}

QUILLON_SHA_TARGET inline void storeState(const Lane& l, uint32_t* state) {
    const __m128i feba = _mm_shuffle_epi32(l.abef, 0x1B);
    const __m128i dchg = _mm_shuffle_epi32(l.cdgh, 0xB1);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state), _mm_blend_epi16(feba, dchg, 0xF0));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state + 4), _mm_alignr_epi8(dchg, feba, 8));
}

QUILLON_SHA_TARGET inline void beginBlock(Lane& l, const uint8_t* data, __m128i swap) {
    l.start0 = l.abef;
    l.start1 = l.cdgh;
    const __m128i* in = reinterpret_cast<const __m128i*>(data);
    for (int i = 0; i < 4; ++i) l.w[i] = _mm_shuffle_epi8(_mm_loadu_si128(in + i), swap);
}

// Rounds 4g to 4g + 3, extending the schedule first from group 4 on.
QUILLON_SHA_TARGET inline void group(Lane& l, int g) {
    if (g >= 4) {
        const __m128i w4 = l.w[(g + 3) & 3], w8 = l.w[(g + 2) & 3], w12 = l.w[(g + 1) & 3];
        __m128i& w16 = l.w[g & 3];
        w16 = _mm_sha256msg2_epu32(
            _mm_add_epi32(_mm_sha256msg1_epu32(w16, w12), _mm_alignr_epi8(w4, w8, 4)), w4);
    }
    const __m128i k =
        _mm_add_epi32(l.w[g & 3], _mm_load_si128(reinterpret_cast<const __m128i*>(kRound + 4 * g)));
    l.cdgh = _mm_sha256rnds2_epu32(l.cdgh, l.abef, k);
    l.abef = _mm_sha256rnds2_epu32(l.abef, l.cdgh, _mm_shuffle_epi32(k, 0x0E));
}

QUILLON_SHA_ENTRY void hardwarePairBlocks(uint32_t* stateA, const uint8_t* a, uint32_t* stateB,
                                          const uint8_t* b, std::size_t count) {
    const __m128i swap = _mm_set_epi64x(0x0c0d0e0f08090a0bULL, 0x0405060700010203ULL);
    Lane x, y;
    loadState(x, stateA);
    loadState(y, stateB);
    for (; count > 0; --count, a += 64, b += 64) {
        beginBlock(x, a, swap);
        beginBlock(y, b, swap);
#pragma GCC unroll 16
        for (int g = 0; g < 16; ++g) {
            group(x, g);
            group(y, g);
        }
        x.abef = _mm_add_epi32(x.abef, x.start0);
        x.cdgh = _mm_add_epi32(x.cdgh, x.start1);
        y.abef = _mm_add_epi32(y.abef, y.start0);
        y.cdgh = _mm_add_epi32(y.cdgh, y.start1);
    }
    storeState(x, stateA);
    storeState(y, stateB);
}
#endif

}  // namespace

Sha256Blocks sha256HardwareBlocks() {
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx)) return nullptr;
    if ((ecx & bit_SSSE3) == 0 || (ecx & bit_SSE4_1) == 0) return nullptr;
    if (!__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx)) return nullptr;
    return (ebx & bit_SHA) != 0 ? hardwareBlocks : nullptr;
}

Sha256PairBlocks sha256HardwarePairBlocks() {
#if defined(__x86_64__)
    return sha256HardwareBlocks() != nullptr ? hardwarePairBlocks : nullptr;
#else
    // Eight vector registers cannot hold two messages' state and schedule: side by side would
    // spill to memory and gain nothing, so 32-bit code hashes one after the other.
    return nullptr;
#endif
}

#else

Sha256Blocks sha256HardwareBlocks() {
    return nullptr;
}

Sha256PairBlocks sha256HardwarePairBlocks() {
    return nullptr;
}

#endif
