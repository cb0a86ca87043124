// AES (FIPS-197) with CBC chaining (NIST SP 800-38A), one keyed cipher per flat record.
//
// The record holds no pointers, so it can be copied byte for byte: the key object keeps a copy
// taken right after keying and restores it to restart the chain. Round-key words hold the state
// columns as little-endian 32-bit words (byte 0 of a column in the low byte); keys, IVs and
// blocks are in the published byte order, so the output is standard AES-CBC without padding.
#pragma once

#include <cstddef>
#include <cstdint>

enum AesMode : uint32_t {
    kAesModeEcb = 0,  // no chaining
    kAesModeCbc = 1,  // what the system always uses
};

struct AesContext {
    int32_t keyWords;          // Nk: 4, 6 or 8
    int32_t rounds;            // Nr = Nk + 6
    uint32_t mode;             // AesMode
    uint32_t encryptKeys[60];  // expanded key, 4 * (Nr + 1) words used
    uint32_t decryptKeys[60];  // equivalent inverse cipher: reversed, middle keys InvMixColumns'd
    uint8_t chain[16];         // CBC: the IV after keying, then the last ciphertext block
};

// Keys the context. Returns 1, or 0 if keyLength / 4 is not 4, 6 or 8. The chaining block is
// cleared and, unless mode is ECB and when an IV is given, takes the 16 IV bytes.
int aesSetKey(AesContext& ctx, uint32_t mode, uint32_t keyLength, const uint8_t* key,
              const uint8_t* iv);

// One 16-byte block in place, chaining by the context's mode. Result 0.
int aesEncrypt(AesContext& ctx, uint8_t* block);
int aesDecrypt(AesContext& ctx, uint8_t* block);

// `blocks` consecutive 16-byte blocks in place: exactly the result of that many single-block
// calls, but carried by the fastest implementation the processor has, without allocating.
void aesEncryptBlocks(AesContext& ctx, uint8_t* data, std::size_t blocks);
void aesDecryptBlocks(AesContext& ctx, uint8_t* data, std::size_t blocks);
