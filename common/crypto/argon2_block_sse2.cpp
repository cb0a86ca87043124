// The block compression with SSE2, two 64-bit words to a register: the multiply (PMULUDQ takes
// the low halves of both words at once), the additions and the XORs all run two words wide. On
// i686 this matters most: there every 64-bit operation of the portable code is two or more
// instructions on eight general registers, while the vector form is one instruction on eight
// vector registers. Rotations use only SSE2 (shuffles for 32 and 16 bits, shifts otherwise), so
// every processor that 64-bit Windows runs on, and every x86-64, has it.
//
// Only these functions are compiled for SSE2 (target attributes); the 32-bit build asks the
// processor before using them.
#include "common/crypto/argon2_block.h"

#if defined(__i386__) || defined(__x86_64__)

#include <cpuid.h>
#include <emmintrin.h>

#define QUILLON_SSE2_TARGET __attribute__((target("sse2")))
// Windows promises only 4-byte stack alignment to 32-bit code (threads, callbacks), and vector
// spills need 16, so the entry point realigns its frame.
#if defined(__i386__)
#define QUILLON_SSE2_ENTRY QUILLON_SSE2_TARGET __attribute__((force_align_arg_pointer))
#else
#define QUILLON_SSE2_ENTRY QUILLON_SSE2_TARGET
#endif

namespace {

QUILLON_SSE2_TARGET inline __m128i blaMka(__m128i x, __m128i y) {
    const __m128i product = _mm_mul_epu32(x, y);
    return _mm_add_epi64(_mm_add_epi64(x, y), _mm_add_epi64(product, product));
}

QUILLON_SSE2_TARGET inline __m128i rotr32(__m128i x) {
    return _mm_shuffle_epi32(x, _MM_SHUFFLE(2, 3, 0, 1));
}

QUILLON_SSE2_TARGET inline __m128i rotr24(__m128i x) {
    return _mm_or_si128(_mm_srli_epi64(x, 24), _mm_slli_epi64(x, 40));
}

// The four 16-bit pieces of each word move down by one.
QUILLON_SSE2_TARGET inline __m128i rotr16(__m128i x) {
    return _mm_shufflehi_epi16(_mm_shufflelo_epi16(x, _MM_SHUFFLE(0, 3, 2, 1)),
                               _MM_SHUFFLE(0, 3, 2, 1));
}

QUILLON_SSE2_TARGET inline __m128i rotr63(__m128i x) {
    return _mm_xor_si128(_mm_add_epi64(x, x), _mm_srli_epi64(x, 63));
}

// The mixing step on two columns of the 4x4 word matrix at once.
QUILLON_SSE2_TARGET inline void mix(__m128i& a, __m128i& b, __m128i& c, __m128i& d) {
    a = blaMka(a, b);
    d = rotr32(_mm_xor_si128(d, a));
    c = blaMka(c, d);
    b = rotr24(_mm_xor_si128(b, c));
    a = blaMka(a, b);
    d = rotr16(_mm_xor_si128(d, a));
    c = blaMka(c, d);
    b = rotr63(_mm_xor_si128(b, c));
}

// (x.high, y.low): one word from each of two registers.
QUILLON_SSE2_TARGET inline __m128i highLow(__m128i x, __m128i y) {
    return _mm_unpackhi_epi64(x, _mm_unpacklo_epi64(y, y));
}

// One BLAKE2b round without message words over sixteen words in eight registers: w0 w1 | w2 w3
// are row a, w4..w7 row b, w8..w11 row c, w12..w15 row d of the 4x4 matrix. The columns are
// mixed as they stand; for the diagonals rows b, c and d are turned left by one, two and three
// words, mixed, and turned back.
QUILLON_SSE2_TARGET inline void blakeRound(__m128i& a0, __m128i& a1, __m128i& b0, __m128i& b1,
                                           __m128i& c0, __m128i& c1, __m128i& d0, __m128i& d1) {
    mix(a0, b0, c0, d0);
    mix(a1, b1, c1, d1);

    __m128i t = b0;
    b0 = highLow(b0, b1);  // w5 w6
    b1 = highLow(b1, t);   // w7 w4
    t = c0;
    c0 = c1;  // w10 w11
    c1 = t;   // w8 w9
    t = d0;
    d0 = highLow(d1, d0);  // w15 w12
    d1 = highLow(t, d1);   // w13 w14

    mix(a0, b0, c0, d0);
    mix(a1, b1, c1, d1);

    t = b0;
    b0 = highLow(b1, b0);  // w4 w5
    b1 = highLow(t, b1);   // w6 w7
    t = c0;
    c0 = c1;
    c1 = t;
    t = d0;
    d0 = highLow(d0, d1);  // w12 w13
    d1 = highLow(d1, t);   // w14 w15
}

// The round over eight registers of the block, register k of the round being r[at(k)].
template <typename At>
QUILLON_SSE2_TARGET inline void roundOver(__m128i* r, At at) {
    __m128i a0 = _mm_loadu_si128(r + at(0)), a1 = _mm_loadu_si128(r + at(1));
    __m128i b0 = _mm_loadu_si128(r + at(2)), b1 = _mm_loadu_si128(r + at(3));
    __m128i c0 = _mm_loadu_si128(r + at(4)), c1 = _mm_loadu_si128(r + at(5));
    __m128i d0 = _mm_loadu_si128(r + at(6)), d1 = _mm_loadu_si128(r + at(7));
    blakeRound(a0, a1, b0, b1, c0, c1, d0, d1);
    _mm_storeu_si128(r + at(0), a0), _mm_storeu_si128(r + at(1), a1);
    _mm_storeu_si128(r + at(2), b0), _mm_storeu_si128(r + at(3), b1);
    _mm_storeu_si128(r + at(4), c0), _mm_storeu_si128(r + at(5), c1);
    _mm_storeu_si128(r + at(6), d0), _mm_storeu_si128(r + at(7), d1);
}

constexpr int kRegisters = kArgon2BlockWords / 2;

// The same function as argon2Compress, and the same contract. Blocks need no particular
// alignment: the heap of 32-bit Windows gives 8 bytes.
[[gnu::noinline]] QUILLON_SSE2_ENTRY void compressSse2(const Argon2Block& prev,
                                                       const Argon2Block& ref, Argon2Block& out,
                                                       bool xorIntoOut, Argon2Block& scratch) {
    const __m128i* p = reinterpret_cast<const __m128i*>(prev.v);
    const __m128i* q = reinterpret_cast<const __m128i*>(ref.v);
    __m128i* o = reinterpret_cast<__m128i*>(out.v);
    __m128i* r = reinterpret_cast<__m128i*>(scratch.v);
    for (int i = 0; i < kRegisters; ++i) {
        const __m128i x = _mm_xor_si128(_mm_loadu_si128(p + i), _mm_loadu_si128(q + i));
        _mm_storeu_si128(r + i, x);
        _mm_storeu_si128(o + i, xorIntoOut ? _mm_xor_si128(_mm_loadu_si128(o + i), x) : x);
    }
    // Rows: eight consecutive registers. Columns: register i of every row.
    for (int i = 0; i < 8; ++i) roundOver(r, [i](int k) { return 8 * i + k; });
    for (int i = 0; i < 8; ++i) roundOver(r, [i](int k) { return 8 * k + i; });
    for (int i = 0; i < kRegisters; ++i) {
        _mm_storeu_si128(o + i, _mm_xor_si128(_mm_loadu_si128(o + i), _mm_loadu_si128(r + i)));
    }
}

}  // namespace

Argon2CompressFunction argon2VectorCompress() {
#if defined(__i386__)
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx) || (edx & bit_SSE2) == 0) return nullptr;
#endif
    return compressSse2;
}

#else

Argon2CompressFunction argon2VectorCompress() {
    return nullptr;
}

#endif
