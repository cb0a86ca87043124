// AES with the processor's AES instructions (AES-NI), for x86 in 32 and 64 bits. The round keys
// of AesContext are already in the byte order these instructions use, and its inverse keys are
// those of the equivalent inverse cipher that AESDEC expects, so the context is shared with the
// table cipher. CBC encryption is serial by nature; CBC decryption runs several independent
// blocks through the rounds side by side to hide the instruction latency.
//
// Only these functions are compiled for the AES instruction set (target attributes), so the rest
// of the build needs no special flags and still runs on processors without it.
#include "common/crypto/aes_engine.h"

#if defined(__i386__) || defined(__x86_64__)

#include <cpuid.h>
#include <wmmintrin.h>

#define QUILLON_AES_TARGET __attribute__((target("sse2,aes")))
// Windows promises only 4-byte stack alignment to 32-bit code (threads, callbacks), and vector
// spills need 16, so the entry points realign their frame.
#if defined(__i386__)
#define QUILLON_AES_ENTRY QUILLON_AES_TARGET __attribute__((force_align_arg_pointer))
#else
#define QUILLON_AES_ENTRY QUILLON_AES_TARGET
#endif

namespace {

QUILLON_AES_TARGET inline __m128i loadKey(const uint32_t* keys, int round) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(keys + 4 * round));
}

QUILLON_AES_TARGET inline __m128i encryptOne(const AesContext& ctx, __m128i b) {
    const int nr = ctx.rounds;
    b = _mm_xor_si128(b, loadKey(ctx.encryptKeys, 0));
    for (int r = 1; r < nr; ++r) b = _mm_aesenc_si128(b, loadKey(ctx.encryptKeys, r));
    return _mm_aesenclast_si128(b, loadKey(ctx.encryptKeys, nr));
}

[[gnu::noinline]] QUILLON_AES_ENTRY void encryptCore(AesContext& ctx, uint8_t* data,
                                                     std::size_t blocks) {
    __m128i* p = reinterpret_cast<__m128i*>(data);
    if (ctx.mode == kAesModeEcb) {
        for (std::size_t i = 0; i < blocks; ++i) {
            _mm_storeu_si128(p + i, encryptOne(ctx, _mm_loadu_si128(p + i)));
        }
        return;
    }
    __m128i chain = _mm_loadu_si128(reinterpret_cast<const __m128i*>(ctx.chain));
    if (ctx.rounds == 14) {
        // The system's case, AES-256: keys held in registers across the whole run.
        const uint32_t* k = ctx.encryptKeys;
        const __m128i k0 = loadKey(k, 0), k1 = loadKey(k, 1), k2 = loadKey(k, 2),
                      k3 = loadKey(k, 3), k4 = loadKey(k, 4), k5 = loadKey(k, 5),
                      k6 = loadKey(k, 6), k7 = loadKey(k, 7), k8 = loadKey(k, 8),
                      k9 = loadKey(k, 9), k10 = loadKey(k, 10), k11 = loadKey(k, 11),
                      k12 = loadKey(k, 12), k13 = loadKey(k, 13), k14 = loadKey(k, 14);
        for (std::size_t i = 0; i < blocks; ++i) {
            // Folding the first round key into the plaintext first keeps it off the chain.
            __m128i b = _mm_xor_si128(_mm_loadu_si128(p + i), k0);
            b = _mm_xor_si128(b, chain);
            b = _mm_aesenc_si128(b, k1);
            b = _mm_aesenc_si128(b, k2);
            b = _mm_aesenc_si128(b, k3);
            b = _mm_aesenc_si128(b, k4);
            b = _mm_aesenc_si128(b, k5);
            b = _mm_aesenc_si128(b, k6);
            b = _mm_aesenc_si128(b, k7);
            b = _mm_aesenc_si128(b, k8);
            b = _mm_aesenc_si128(b, k9);
            b = _mm_aesenc_si128(b, k10);
            b = _mm_aesenc_si128(b, k11);
            b = _mm_aesenc_si128(b, k12);
            b = _mm_aesenc_si128(b, k13);
            chain = _mm_aesenclast_si128(b, k14);
            _mm_storeu_si128(p + i, chain);
        }
    } else {
        for (std::size_t i = 0; i < blocks; ++i) {
            chain = encryptOne(ctx, _mm_xor_si128(_mm_loadu_si128(p + i), chain));
            _mm_storeu_si128(p + i, chain);
        }
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(ctx.chain), chain);
}

// Deciphers kLanes independent blocks at once; the AESDEC latency of one is hidden by the rest.
template <int kLanes>
QUILLON_AES_TARGET inline void decryptLanes(const AesContext& ctx, __m128i* b) {
    const uint32_t* k = ctx.decryptKeys;
    const int nr = ctx.rounds;
    __m128i key = loadKey(k, 0);
#pragma GCC unroll 8
    for (int j = 0; j < kLanes; ++j) b[j] = _mm_xor_si128(b[j], key);
    for (int r = 1; r < nr; ++r) {
        key = loadKey(k, r);
#pragma GCC unroll 8
        for (int j = 0; j < kLanes; ++j) b[j] = _mm_aesdec_si128(b[j], key);
    }
    key = loadKey(k, nr);
#pragma GCC unroll 8
    for (int j = 0; j < kLanes; ++j) b[j] = _mm_aesdeclast_si128(b[j], key);
}

// Eight lanes need sixteen vector registers with the keys; 32-bit x86 has eight.
#if defined(__x86_64__)
constexpr int kLanes = 8;
#else
constexpr int kLanes = 4;
#endif

[[gnu::noinline]] QUILLON_AES_ENTRY void decryptCore(AesContext& ctx, uint8_t* data,
                                                     std::size_t blocks) {
    __m128i* p = reinterpret_cast<__m128i*>(data);
    const bool cbc = ctx.mode != kAesModeEcb;
    __m128i chain = _mm_loadu_si128(reinterpret_cast<const __m128i*>(ctx.chain));
    std::size_t i = 0;
    for (; i + kLanes <= blocks; i += kLanes) {
        __m128i in[kLanes], b[kLanes];
#pragma GCC unroll 8
        for (int j = 0; j < kLanes; ++j) b[j] = in[j] = _mm_loadu_si128(p + i + j);
        decryptLanes<kLanes>(ctx, b);
        if (cbc) {
            b[0] = _mm_xor_si128(b[0], chain);
#pragma GCC unroll 8
            for (int j = 1; j < kLanes; ++j) b[j] = _mm_xor_si128(b[j], in[j - 1]);
            chain = in[kLanes - 1];
        }
#pragma GCC unroll 8
        for (int j = 0; j < kLanes; ++j) _mm_storeu_si128(p + i + j, b[j]);
    }
    for (; i < blocks; ++i) {
        __m128i in = _mm_loadu_si128(p + i), b = in;
        decryptLanes<1>(ctx, &b);
        if (cbc) {
            b = _mm_xor_si128(b, chain);
            chain = in;
        }
        _mm_storeu_si128(p + i, b);
    }
    if (cbc) _mm_storeu_si128(reinterpret_cast<__m128i*>(ctx.chain), chain);
}

const AesEngine kHardwareEngine = {"aes-ni", withStackWipe<encryptCore>,
                                   withStackWipe<decryptCore>};

bool processorHasAes() {
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx)) return false;
    const bool sse2 = (edx & bit_SSE2) != 0;
    const bool aes = (ecx & bit_AES) != 0;
    return sse2 && aes;
}

}  // namespace

const AesEngine* aesHardwareEngine() {
    // Asked once by aesEngine, which keeps the answer.
    return processorHasAes() ? &kHardwareEngine : nullptr;
}

#else

const AesEngine* aesHardwareEngine() {
    return nullptr;
}

#endif
