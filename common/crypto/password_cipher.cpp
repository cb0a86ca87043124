#include "common/crypto/password_cipher.h"

#include <new>

#include "common/archive/byte_buf.h"
#include "common/crypto/hmac_sha512.h"
#include "common/crypto/sha512.h"
#include "common/support/code_page.h"
#include "common/support/secure_zero.h"
#include "common/support/stack_wipe.h"

namespace {

// How far below setPassword the derivation's frames reach, with room to spare: the digest's
// compression spills its working values there (for a short password they are the key and IV
// less a known constant), the key schedule its words, and the release of the buffer its own
// frames (deep ones in a sanitized build, whose allocator records where it was called from).
constexpr std::size_t kDerivationStackBytes = 4096;

template <typename Secret>
void release(Secret*& secret) {
    if (secret == nullptr) return;
    secureZeroObject(*secret);
    delete secret;
    secret = nullptr;
}

// The derivation proper (see setPassword). Never inlined: its frame and its callees' must lie
// below setPassword's, where the wipe that follows reaches them, buffer release included.
[[gnu::noinline]] bool deriveKey(PasswordCipher& cipher, const char16_t* password) {
    cipher.clear();
    cipher.working = new (std::nothrow) AesContext;
    cipher.saved = new (std::nothrow) AesContext;
    cipher.integrity = new (std::nothrow) IntegrityKey;
    ByteBuf buf;  // wiped over its whole capacity on every way out
    if (cipher.working == nullptr || cipher.saved == nullptr || cipher.integrity == nullptr ||
        buf.data == nullptr || buf.capacity < kPasswordAnsiLimit + 1) {
        cipher.clear();
        return false;
    }
    secureZeroObject(*cipher.working);

    const uint32_t converted = passwordAnsiBytes(password, buf.data);
    uint32_t length = 0;
    while (length < converted && buf.data[length] != 0) ++length;
    if (length == 0) {
        // Nothing came out of the conversion: refuse rather than key from an empty digest.
        cipher.clear();
        return false;
    }

    Sha512Context sha;
    sha512Init(sha);
    sha512Update(sha, buf.data, length);
    buf.ensureCapacity(0);  // the ANSI password is gone before the digest is written
    sha512Final(sha, buf.data);
    aesSetKey(*cipher.working, kAesModeCbc, 32, buf.data, buf.data + 32);
    *cipher.saved = *cipher.working;
    hmacSha512(buf.data, 64, reinterpret_cast<const uint8_t*>(kIntegrityKeyLabel),
               sizeof kIntegrityKeyLabel - 1, cipher.integrity->bytes);
    secureZeroObject(sha);
    cipher.keyRecipe = KeyRecipe{};
    return true;
}

}  // namespace

uint32_t passwordAnsiBytes(const char16_t* password, uint8_t* out) {
    // A password too long for the buffer is keyed from the part that fits rather than from
    // nothing: a failed conversion must never leave a non-empty password keyed as empty.
    return ansiFromWide(password, wideLength(password), out, kPasswordAnsiLimit);
}

// The digest's and the key schedule's working values stay on the stack after they return; they
// are wiped on every way out, once the derivation has ended.
bool PasswordCipher::setPassword(const char16_t* password) {
    if (password == nullptr || password[0] == 0) return false;
    const bool keyed = deriveKey(*this, password);
    wipeStack<kDerivationStackBytes>();
    return keyed;
}

void PasswordCipher::encryptBlock(uint8_t* block) {
    if (working != nullptr) aesEncrypt(*working, block);
}

void PasswordCipher::decryptBlock(uint8_t* block) {
    if (working != nullptr) aesDecrypt(*working, block);
}

void PasswordCipher::encryptBlocks(uint8_t* data, std::size_t blocks) {
    if (working != nullptr) aesEncryptBlocks(*working, data, blocks);
}

void PasswordCipher::decryptBlocks(uint8_t* data, std::size_t blocks) {
    if (working != nullptr) aesDecryptBlocks(*working, data, blocks);
}

void PasswordCipher::restartChain() {
    if (working != nullptr && saved != nullptr) *working = *saved;
}

void PasswordCipher::clear() {
    release(working);
    release(saved);
    release(integrity);
    keyRecipe = KeyRecipe{};
    keyRecipe.kind = KeyKind::kNone;
}

void PasswordCipher::forgetPassword() {
    if (held == nullptr) return;
    secureZero(held, (heldChars + 1) * sizeof(char16_t));
    delete[] held;
    held = nullptr;
    heldChars = 0;
}

bool PasswordCipher::holdPassword(const char16_t* password) {
    clear();
    forgetPassword();
    if (password == nullptr || password[0] == 0) return false;
    uint32_t chars = 0;
    while (password[chars] != 0) ++chars;
    held = new (std::nothrow) char16_t[chars + 1];
    if (held == nullptr) return false;
    for (uint32_t i = 0; i <= chars; ++i) held[i] = password[i];
    heldChars = chars;
    return true;
}

bool PasswordCipher::keyFor(const KeyRecipe& recipe) {
    if (hasKey() && keyRecipe.sameAs(recipe)) return true;
    if (held == nullptr) return false;
    if (recipe.kind == KeyKind::kHardened) {
        if (watch != nullptr) watch->derivingKey(recipe);
        return setHardenedPassword(held, recipe);
    }
    return recipe.kind == KeyKind::kClassic && setPassword(held);
}
