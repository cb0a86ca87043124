// The word test: a password is "based on" a word when taking away what it shares with the word
// (a run of at least matchLength bytes, case ignored) leaves something simple. It brute-forces
// every word against every such run, which stays cheap because the check runs it only for
// passwords shorter than a passphrase.
#include <cstring>
#include <new>

#include "common/crypto/password_rules.h"
#include "common/crypto/word_list.h"
#include "common/support/secure_zero.h"

namespace {

// Room for the scratch text of passwords up to the dialog's longest without allocating.
constexpr uint32_t kInlineScratch = 64 + 1;

uint32_t lengthOf(const uint8_t* text) {
    return static_cast<uint32_t>(std::strlen(reinterpret_cast<const char*>(text)));
}

// Whether the `count` bytes at `run` occur somewhere in the `length` bytes of `text`.
bool occursIn(const uint8_t* text, uint32_t length, const uint8_t* run, uint32_t count) {
    if (count > length) return false;
    // Byte by byte rather than memcmp: the texts are a few bytes long, and almost every start
    // fails on its first byte, so a call per start would cost more than the comparison.
    for (uint32_t at = 0; at + count <= length; ++at) {
        uint32_t k = 0;
        while (k < count && text[at + k] == run[k]) ++k;
        if (k == count) return true;
    }
    return false;
}

// isBasedOn with the three lengths known, so the word scan measures the password only once.
bool basedOn(const PasswordPolicy& policy, const uint8_t* haystack, uint32_t hayLength,
             const uint8_t* needle, uint32_t n, const uint8_t* raw, uint32_t rawLength) {
    const int64_t match = policy.matchLength;
    if (match == 0) return false;
    if (match < 0) return true;
    if (occursIn(haystack, hayLength, needle, n)) return true;
    // The scratch is cut from raw with needle's length: a raw of another length is not a form
    // of the needle, and copying by the needle's length would read past it.
    if (rawLength != n) return false;

    uint8_t inlineScratch[kInlineScratch];
    uint8_t* scratch = nullptr;
    bool based = false;
    for (int64_t i = 0; i + match <= n && !based; ++i) {
        for (int64_t j = match; i + j <= n; ++j) {
            // Where a run does not occur, no longer run from the same start can.
            if (!occursIn(haystack, hayLength, needle + i, static_cast<uint32_t>(j))) break;
            // Every occurrence leaves the same remainder, so one test answers for all of them.
            if (scratch == nullptr) {
                scratch = n < kInlineScratch ? inlineScratch : new (std::nothrow) uint8_t[n + 1];
                if (scratch == nullptr) return true;
            }
            std::memcpy(scratch, raw, static_cast<std::size_t>(i));
            std::memcpy(scratch + i, raw + i + j, static_cast<std::size_t>(n + 1 - (i + j)));
            if (isSimple(policy, scratch)) {
                based = true;
                break;
            }
        }
    }
    if (scratch != nullptr) {
        // The whole buffer, not just up to the last remainder's terminator: earlier, longer
        // remainders left password bytes beyond it.
        secureZero(scratch, n + 1);
        if (scratch != inlineScratch) delete[] scratch;
    }
    return based;
}

}  // namespace

bool isBasedOn(const PasswordPolicy& policy, const uint8_t* haystack, const uint8_t* needle,
               const uint8_t* raw) {
    return basedOn(policy, haystack, lengthOf(haystack), needle, lengthOf(needle), raw,
                   lengthOf(raw));
}

bool isWordBased(const PasswordPolicy& policy, const uint8_t* needle, const uint8_t* raw) {
    const uint32_t n = lengthOf(needle);
    const uint32_t rawLength = lengthOf(raw);
    for (const char* word : kWordList.words) {
        uint32_t length = 0;
        while (length < WordList::kSlot - 1 && word[length] != 0) ++length;
        if (static_cast<int64_t>(length) < policy.matchLength) continue;
        uint8_t unified[WordList::kSlot];
        unifyCaseInto(reinterpret_cast<const uint8_t*>(word), length, unified);
        if (basedOn(policy, unified, length, needle, n, raw, rawLength)) return true;
    }
    return false;
}
