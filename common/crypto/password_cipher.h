// The key object at the head of every job record: a working AES-256-CBC context whose chain
// advances with each block, and a copy saved right after keying that restarts the chain. Without
// a key (no password given) data passes through unchanged; whether that is allowed is the
// caller's decision. Both contexts are wiped before they are released.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/crypto/aes_context.h"

struct PasswordCipher {
    AesContext* working = nullptr;
    AesContext* saved = nullptr;

    PasswordCipher() = default;
    ~PasswordCipher() { clear(); }
    PasswordCipher(const PasswordCipher&) = delete;
    PasswordCipher& operator=(const PasswordCipher&) = delete;

    // Derives key and IV from one SHA-512 digest of the password's ANSI bytes. An empty or null
    // password, or no memory, leaves the object without a key. Returns whether it holds one; a
    // caller that meant to key a job must stop on false, or the job runs in the clear.
    [[nodiscard]] bool setPassword(const char16_t* password);

    bool hasKey() const { return working != nullptr; }

    // One 16-byte block in place; nothing happens without a key.
    void encryptBlock(uint8_t* block);
    void decryptBlock(uint8_t* block);

    // Many consecutive blocks in place, the same as calling the block operations in turn.
    void encryptBlocks(uint8_t* data, std::size_t blocks);
    void decryptBlocks(uint8_t* data, std::size_t blocks);

    // Back to the state right after keying, so the next block chains from the derived IV.
    void restartChain();

    // Wipes and releases both contexts.
    void clear();
};

// The bytes the derivation digests: the ANSI form of the longest prefix of whole characters that
// fits in 519 bytes. Returns the count written to out (which must hold 519 bytes).
uint32_t passwordAnsiBytes(const char16_t* password, uint8_t* out);

constexpr uint32_t kPasswordAnsiLimit = 519;
