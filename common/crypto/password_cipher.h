// The key object at the head of every job record: a working AES-256-CBC context whose chain
// advances with each block, and a copy saved right after keying that restarts the chain. Without
// a key (no password given) data passes through unchanged; whether that is allowed is the
// caller's decision. Both contexts are wiped before they are released.
//
// The same password digest also gives the archive's integrity key, through HMAC-SHA-512 with a
// fixed label, so the MAC key and the cipher key are unrelated to anyone without the password
// and one never serves as the other. It lives and dies with the contexts.
//
// Two kinds of key sit behind this one face (see key_recipe.h). The classic key is derived at once
// from the password (setPassword). The hardened key needs the archive's salt and cost: a writer
// makes them and derives at once (setHardenedPassword); a reader learns them from the archive
// only when it reads it, on its worker thread, so it holds the typed password (holdPassword)
// until the format module hands it the archive's recipe (keyFor). Reader and writer ask the key
// for its kind; they never derive anything themselves.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/crypto/aes_context.h"
#include "common/crypto/key_recipe.h"

// The 64-byte key of the archive's integrity MAC.
struct IntegrityKey {
    uint8_t bytes[64];
};

// What the integrity key is derived under: HMAC-SHA-512 keyed with the whole 64-byte password
// digest over these ASCII bytes (no terminator).
constexpr char kIntegrityKeyLabel[] = "Quillon SFX integrity key 1";

struct PasswordCipher {
    AesContext* working = nullptr;
    AesContext* saved = nullptr;
    IntegrityKey* integrity = nullptr;
    // The typed password kept for keyFor, wiped when it goes; null when none is held.
    char16_t* held = nullptr;
    uint32_t heldChars = 0;
    KeyRecipe keyRecipe;  // what the current key was derived with; its kind is kNone without a key
    KeyDerivationWatch* watch = nullptr;  // told before keyFor derives a hardened key

    PasswordCipher() = default;
    ~PasswordCipher() {
        clear();
        forgetPassword();
    }
    PasswordCipher(const PasswordCipher&) = delete;
    PasswordCipher& operator=(const PasswordCipher&) = delete;

    // Derives key and IV from one SHA-512 digest of the password's ANSI bytes, and the integrity
    // key from the same digest. An empty or null password, or no memory, leaves the object
    // without a key. Returns whether it holds one; a caller that meant to key a job must stop on
    // false, or the job runs in the clear.
    [[nodiscard]] bool setPassword(const char16_t* password);

    // Derives key, IV and integrity key from one Argon2id output over the UTF-8 of the password,
    // with the recipe's salt and cost. False (and no key) for an empty password, a cost outside
    // the readers' bounds (nothing is allocated then) or no memory.
    [[nodiscard]] bool setHardenedPassword(const char16_t* password, const KeyRecipe& recipe);

    // Keeps a copy of the password, deriving nothing yet; any key held is dropped. False for an
    // empty password or no memory.
    [[nodiscard]] bool holdPassword(const char16_t* password);
    bool holdsPassword() const { return held != nullptr; }

    // The key for an archive of this recipe. With a password held: derived from it, unless the
    // key already held was derived with the same recipe. Without one: true only when the key held
    // is of that recipe (a caller that keyed the cipher itself). False means the key cannot open
    // the archive: no password, no memory, a cost outside the bounds.
    [[nodiscard]] bool keyFor(const KeyRecipe& recipe);

    bool hasKey() const { return working != nullptr; }
    KeyKind kind() const { return hasKey() ? keyRecipe.kind : KeyKind::kNone; }
    const KeyRecipe& recipe() const { return keyRecipe; }

    // The 64 bytes that key the archive's integrity MAC; null without a key.
    const uint8_t* integrityKey() const {
        return integrity != nullptr ? integrity->bytes : nullptr;
    }

    // One 16-byte block in place; nothing happens without a key.
    void encryptBlock(uint8_t* block);
    void decryptBlock(uint8_t* block);

    // Many consecutive blocks in place, the same as calling the block operations in turn.
    void encryptBlocks(uint8_t* data, std::size_t blocks);
    void decryptBlocks(uint8_t* data, std::size_t blocks);

    // Back to the state right after keying, so the next block chains from the derived IV.
    void restartChain();

    // Wipes and releases both contexts and the integrity key; a held password stays.
    void clear();
    // Wipes and releases the held password.
    void forgetPassword();
};

// The bytes the derivation digests: the ANSI form of the longest prefix of whole characters that
// fits in 519 bytes. Returns the count written to out (which must hold 519 bytes).
uint32_t passwordAnsiBytes(const char16_t* password, uint8_t* out);

constexpr uint32_t kPasswordAnsiLimit = 519;
