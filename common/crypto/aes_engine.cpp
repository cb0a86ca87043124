// Chooses the AES implementation once and routes the block entry points through it.
#include "common/crypto/aes_engine.h"

#include <atomic>

namespace {

// Constant-initialised, so no start-up code and no initialisation lock: two threads that race on
// the first use both store the same answer.
std::atomic<const AesEngine*> g_chosen{nullptr};

}  // namespace

const AesEngine& aesEngine() {
    const AesEngine* engine = g_chosen.load(std::memory_order_acquire);
    if (engine == nullptr) {
        const AesEngine* hardware = aesHardwareEngine();
        engine = hardware != nullptr ? hardware : &aesTableEngine();
        g_chosen.store(engine, std::memory_order_release);
    }
    return *engine;
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
