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

// One message's state and schedule: ABEF and CDGH, their values at the block's start, and the
// last 16 schedule words.
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

QUILLON_SHA_TARGET inline void endBlock(Lane& l) {
    l.abef = _mm_add_epi32(l.abef, l.start0);
    l.cdgh = _mm_add_epi32(l.cdgh, l.start1);
}

// Rounds 4g to 4g + 3, extending the schedule first from group 4 on.
QUILLON_SHA_TARGET inline void group(Lane& l, int g) {
    if (g >= 4) {
        const __m128i w4 = l.w[(g + 3) & 3], w8 = l.w[(g + 2) & 3], w12 = l.w[(g + 1) & 3];
        __m128i& w16 = l.w[g & 3];
        w16 = _mm_sha256msg2_epu32(
            _mm_add_epi32(_mm_sha256msg1_epu32(w16, w12), _mm_alignr_epi8(w4, w8, 4)), w4);
    }
    const __m128i k = _mm_add_epi32(
        l.w[g & 3], _mm_load_si128(reinterpret_cast<const __m128i*>(kSha256Rounds + 4 * g)));
    l.cdgh = _mm_sha256rnds2_epu32(l.cdgh, l.abef, k);
    l.abef = _mm_sha256rnds2_epu32(l.abef, l.cdgh, _mm_shuffle_epi32(k, 0x0E));
}

QUILLON_SHA_ENTRY void hardwareBlocks(uint32_t* state, const uint8_t* data, std::size_t count) {
    const __m128i swap = _mm_set_epi64x(0x0c0d0e0f08090a0bULL, 0x0405060700010203ULL);
    Lane x;
    loadState(x, state);
    for (; count > 0; --count, data += 64) {
        beginBlock(x, data, swap);
        // Whole in 64-bit code; four groups at a time in 32-bit code, which the extractor
        // carries and where the whole would be larger, not faster, with eight vector registers.
#if defined(__x86_64__)
#pragma GCC unroll 16
#else
#pragma GCC unroll 4
#endif
        for (int g = 0; g < 16; ++g) group(x, g);
        endBlock(x);
    }
    storeState(x, state);
}

#if defined(__x86_64__)
// Two messages at once, each in its own registers. One message's rounds wait on each other
// (every SHA256RNDS2 needs the last one's result); two independent ones fill those waits, so the
// pair takes little longer than one. The reader hashes its chunks two at a time this way.
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
        endBlock(x);
        endBlock(y);
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
