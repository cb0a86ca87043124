// The hardened key: Argon2id over the UTF-8 of the typed password, so the same text gives the
// same key whatever the computer's code page, and any character can be part of it.
#include <new>

#include "common/archive/byte_buf.h"
#include "common/crypto/password_cipher.h"
#include "common/support/secure_zero.h"
#include "common/support/stack_wipe.h"

namespace {

// Argon2id's own frames stay shallow (its memory is on the heap), but the BLAKE2b states of the
// first and last hashes and the output's copy lie below; wiped like the classic derivation's.
constexpr std::size_t kHardenedStackBytes = 8192;

uint32_t wideChars(const char16_t* text) {
    uint32_t n = 0;
    while (text[n] != 0) ++n;
    return n;
}

// The UTF-8 of `chars` UTF-16 units into `out` (room for 3 bytes a unit); an unpaired surrogate
// becomes U+FFFD, as everywhere else text is converted. Returns the bytes written.
uint32_t utf8Of(const char16_t* text, uint32_t chars, uint8_t* out) {
    uint32_t n = 0;
    for (uint32_t i = 0; i < chars; ++i) {
        uint32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < chars && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        if (c < 0x80) {
            out[n++] = static_cast<uint8_t>(c);
        } else if (c < 0x800) {
            out[n++] = static_cast<uint8_t>(0xC0 | (c >> 6));
            out[n++] = static_cast<uint8_t>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out[n++] = static_cast<uint8_t>(0xE0 | (c >> 12));
            out[n++] = static_cast<uint8_t>(0x80 | ((c >> 6) & 0x3F));
            out[n++] = static_cast<uint8_t>(0x80 | (c & 0x3F));
        } else {
            out[n++] = static_cast<uint8_t>(0xF0 | (c >> 18));
            out[n++] = static_cast<uint8_t>(0x80 | ((c >> 12) & 0x3F));
            out[n++] = static_cast<uint8_t>(0x80 | ((c >> 6) & 0x3F));
            out[n++] = static_cast<uint8_t>(0x80 | (c & 0x3F));
        }
    }
    return n;
}

template <typename Secret>
bool obtain(Secret*& secret) {
    secret = new (std::nothrow) Secret;
    if (secret != nullptr) secureZeroObject(*secret);
    return secret != nullptr;
}

[[gnu::noinline]] bool deriveHardened(PasswordCipher& cipher, const char16_t* password,
                                      const KeyRecipe& recipe) {
    cipher.clear();
    if (recipe.kind != KeyKind::kHardened || !argon2CostAcceptable(recipe.cost)) return false;
    const uint32_t chars = wideChars(password);
    // Every UTF-16 unit is at most 3 bytes of UTF-8 (a pair of them, 4).
    if (chars > (UINT32_MAX - 1) / 3) return false;
    ByteBuf utf8;  // wiped over its whole capacity on every way out
    if (!utf8.ensureCapacity(chars * 3 + 1)) return false;
    const uint32_t length = utf8Of(password, chars, utf8.data);
    if (length == 0) return false;
    if (!obtain(cipher.working) || !obtain(cipher.saved) || !obtain(cipher.integrity)) {
        cipher.clear();
        return false;
    }
    uint8_t out[kHardenedOutputBytes];
    const Argon2Result derived =
        argon2idDerive(utf8.data, length, recipe.salt, kKeySaltBytes, recipe.cost, out, sizeof out);
    utf8.destroy();
    if (derived != kArgon2Ok) {
        secureZero(out, sizeof out);
        cipher.clear();
        return false;
    }
    aesSetKey(*cipher.working, kAesModeCbc, 32, out, out + kHardenedKeyBytes);
    *cipher.saved = *cipher.working;
    for (uint32_t i = 0; i < kHardenedIntegrityBytes; ++i) {
        cipher.integrity->bytes[i] = out[kHardenedKeyBytes + kHardenedIvBytes + i];
    }
    secureZero(out, sizeof out);
    cipher.keyRecipe = recipe;
    return true;
}

}  // namespace

bool PasswordCipher::setHardenedPassword(const char16_t* password, const KeyRecipe& recipe) {
    if (password == nullptr || password[0] == 0) {
        clear();
        return false;
    }
    const bool keyed = deriveHardened(*this, password, recipe);
    wipeStack<kHardenedStackBytes>();
    return keyed;
}
