// Which derivation turns an archive's password into its keys, and what that derivation needs
// besides the password. The classic one needs nothing; the hardened one a salt of the archive's
// own and the Argon2id cost it was written with, both kept in the clear in the archive (the
// format module reads and writes them; see archive_format.h).
#pragma once

#include <cstdint>

#include "common/crypto/argon2id.h"

enum class KeyKind : uint8_t {
    kNone = 0,      // no key: the archive is read or written in the clear
    kClassic = 1,   // one SHA-512 of the password's code-page bytes, no salt
    kHardened = 2,  // Argon2id of the password's UTF-8, salted, memory-hard
};

constexpr uint32_t kKeySaltBytes = 16;
// Argon2id's second recommended setting: 64 MiB, three passes, four lanes.
constexpr Argon2Cost kDefaultHardenedCost{65536, 3, 4};
// One Argon2id output, cut into the AES key, the IV and the integrity key, in that order.
constexpr uint32_t kHardenedKeyBytes = 32;
constexpr uint32_t kHardenedIvBytes = 16;
constexpr uint32_t kHardenedIntegrityBytes = 64;
constexpr uint32_t kHardenedOutputBytes =
    kHardenedKeyBytes + kHardenedIvBytes + kHardenedIntegrityBytes;  // 112

struct KeyRecipe {
    KeyKind kind = KeyKind::kClassic;
    Argon2Cost cost = kDefaultHardenedCost;  // kHardened only
    uint8_t salt[kKeySaltBytes] = {};        // kHardened only

    // Same derivation, same inputs besides the password.
    bool sameAs(const KeyRecipe& other) const {
        if (kind != other.kind) return false;
        if (kind != KeyKind::kHardened) return true;
        if (cost.memoryKiB != other.cost.memoryKiB || cost.passes != other.cost.passes ||
            cost.lanes != other.cost.lanes) {
            return false;
        }
        for (uint32_t i = 0; i < kKeySaltBytes; ++i) {
            if (salt[i] != other.salt[i]) return false;
        }
        return true;
    }
};

// Told when a hardened key is about to be derived, which takes up to a second: a reader's
// front end says so on its status line rather than look stuck.
struct KeyDerivationWatch {
    virtual void derivingKey(const KeyRecipe& recipe) = 0;

  protected:
    ~KeyDerivationWatch() = default;
};

// A new hardened recipe: a fresh salt from the system's random source and the default cost.
// False when no random bytes could be had; the caller must not then write a hardened archive.
[[nodiscard]] bool newHardenedRecipe(KeyRecipe& recipe);
