// Chooses the AES implementation once and routes the block entry points through it.
#include "common/crypto/aes_engine.h"

const AesEngine& aesEngine() {
    static const AesEngine& chosen =
        aesHardwareEngine() != nullptr ? *aesHardwareEngine() : aesTableEngine();
    return chosen;
}

int aesEncrypt(AesContext& ctx, uint8_t* block) {
    aesEngine().encrypt(ctx, block, 1);
    return 0;
}

int aesDecrypt(AesContext& ctx, uint8_t* block) {
    aesEngine().decrypt(ctx, block, 1);
    return 0;
}

void aesEncryptBlocks(AesContext& ctx, uint8_t* data, std::size_t blocks) {
    aesEngine().encrypt(ctx, data, blocks);
}

void aesDecryptBlocks(AesContext& ctx, uint8_t* data, std::size_t blocks) {
    aesEngine().decrypt(ctx, data, blocks);
}
