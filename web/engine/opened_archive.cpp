#include "web/engine/opened_archive.h"

#include <cstring>

#include "common/crypto/aes_context.h"
#include "web/engine/page_progress.h"

ExtractResult OpenedArchive::open(const char16_t* name, const char16_t* password) {
    close();
    if (!image.open(name, FileOpen::kReadShared)) return kCorrupt;
    // Held until the archive's key block says which key it has; a hardened one is derived with
    // the salt and cost read there.
    if (password != nullptr && password[0] != 0 && !cipher.holdPassword(password)) {
        return kOutOfMemory;
    }
    seal.emplace();
    // A hardened key takes a moment: the page's status line says what is going on.
    PageProgress progress;
    cipher.watch = &progress;
    const ExtractResult result = locatePayload(image, cipher, trailer, info, files, where, *seal);
    cipher.watch = nullptr;
    cipher.forgetPassword();
    if (result != kExtractOk) {
        close();
        return result;
    }
    ready = true;
    return kExtractOk;
}

IntegrityTailKind OpenedArchive::sealKind() const {
    return ready && seal.has_value() ? seal->kind : kTailClassic;
}

void OpenedArchive::addLeaves(const uint8_t* leaves, uint32_t count) {
    if (sealKind() != kTailRecord || sealSpent) return;
    for (uint32_t i = 0; i < count; ++i) seal->tag.addLeaf(leaves + i * kIntegrityLeafSize);
}

bool OpenedArchive::sealMatches() {
    if (sealKind() != kTailRecord || sealSpent) return false;
    sealSpent = true;
    return seal->tag.matches(seal->tail.tag);
}

bool OpenedArchive::exportKey(uint8_t* out48) const {
    if (cipher.saved == nullptr) return false;
    // The first Nk round-key words are the key itself, each column's bytes in order in a
    // little-endian word, so their memory image is the key as it was given.
    static_assert(sizeof(cipher.saved->encryptKeys[0]) == 4);
    std::memcpy(out48, cipher.saved->encryptKeys, 32);
    std::memcpy(out48 + 32, cipher.saved->chain, 16);
    return true;
}

void OpenedArchive::close() {
    ready = false;
    image.close();
    cipher.clear();
    std::memset(&trailer, 0, sizeof trailer);
    info.destroy();
    files.release();
    where = PayloadLocation{};
    seal.reset();
    sealSpent = false;
}
