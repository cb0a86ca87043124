// What the page's cipher workers run: AES-256-CBC decryption of chunks that each carry their own
// IV, and the integrity record's leaves where the browser cannot hash them itself. The data
// stream is one CBC chain, but every ciphertext block is the IV of the next, so chunks can be
// deciphered apart, on as many workers as the machine has cores. Each worker keys its own copy
// of the module from the 48 key and IV bytes the password derived (the engine's own
// derivation, done once in the main worker).
#include <cstdint>
#include <cstring>

#include "common/archive/integrity_record.h"
#include "common/crypto/aes_context.h"
#include "common/support/secure_zero.h"
#include "web/engine/exports.h"

namespace {

AesContext g_context;

}  // namespace

QUILLON_EXPORT(qn_cipher_key) void qnCipherKey(const uint8_t* keyAndIv) {
    aesSetKey(g_context, kAesModeCbc, 32, keyAndIv, keyAndIv + 32);
}

QUILLON_EXPORT(qn_cipher_clear) void qnCipherClear() {
    secureZeroObject(g_context);
}

// Deciphers `blocks` blocks in place, chained from the 16 bytes at `iv`.
QUILLON_EXPORT(qn_cipher_decrypt)
void qnCipherDecrypt(const uint8_t* iv, uint8_t* data, uint32_t blocks) {
    std::memcpy(g_context.chain, iv, sizeof g_context.chain);
    aesDecryptBlocks(g_context, data, blocks);
}

// The integrity leaf (32 bytes at `leaf`) of one chunk of data-stream ciphertext: `length`
// bytes, 512 KiB but for the last chunk.
QUILLON_EXPORT(qn_leaf_of)
void qnLeafOf(const uint8_t* chunk, uint32_t length, uint8_t* leaf) {
    IntegrityTag::leafOf(chunk, length, leaf);
}
