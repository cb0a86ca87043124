// The policy check in front of the quality estimate: length limits, the simplicity rule, then,
// for passwords shorter than a passphrase, the word test on the password and on its reversal,
// both case-folded. The working copies live on the stack for passwords up to the dialog's
// longest, so a keystroke allocates nothing; they are wiped on every way out.
#include <cstring>
#include <new>

#include "common/crypto/password_cipher.h"
#include "common/crypto/password_quality.h"
#include "common/crypto/password_rules.h"
#include "common/support/secure_zero.h"

namespace {

constexpr std::size_t kInlineLength = 64;

// The reversed password and the case-folded forms of it and of the password.
class WorkingCopies {
  public:
    WorkingCopies() = default;
    ~WorkingCopies() { release(); }
    WorkingCopies(const WorkingCopies&) = delete;
    WorkingCopies& operator=(const WorkingCopies&) = delete;

    // False when a copy could not be made (only possible for long passwords, on the heap).
    bool make(const uint8_t* password, std::size_t length) {
        if (length <= kInlineLength) {
            reversed = inline_[0];
            unified = inline_[1];
            unifiedReversed = inline_[2];
        } else {
            onHeap_ = true;
            reversed = new (std::nothrow) uint8_t[length + 1];
            if (reversed == nullptr) return false;
        }
        for (std::size_t i = 0; i < length; ++i) reversed[i] = password[length - 1 - i];
        reversed[length] = 0;
        if (onHeap_) {
            unified = unifyCase(password);
            unifiedReversed = unifyCase(reversed);
            return unified != nullptr && unifiedReversed != nullptr;
        }
        unifyCaseInto(password, static_cast<uint32_t>(length), unified);
        unifyCaseInto(reversed, static_cast<uint32_t>(length), unifiedReversed);
        return true;
    }

    uint8_t* reversed = nullptr;
    uint8_t* unified = nullptr;
    uint8_t* unifiedReversed = nullptr;

  private:
    void release() {
        if (onHeap_) {
            cleanFree(reversed);
            cleanFree(unified);
            cleanFree(unifiedReversed);
        } else {
            secureZero(inline_, sizeof inline_);
        }
    }

    uint8_t inline_[3][kInlineLength + 1];
    bool onHeap_ = false;
};

}  // namespace

int checkPassword(const uint8_t* password, const PasswordPolicy& policy) {
    static const uint8_t kEmpty[1] = {0};
    if (password == nullptr) password = kEmpty;
    const int64_t length =
        static_cast<int64_t>(std::strlen(reinterpret_cast<const char*>(password)));
    if (length < policy.minFourClasses) return kPasswordTooShort;
    if (length > policy.maxLength) return kPasswordTooLong;
    if (isSimple(policy, password)) {
        const bool shortForTwo =
            length < policy.minTwoClasses && policy.minTwoClasses <= policy.maxLength;
        return shortForTwo ? kPasswordSimpleShort : kPasswordSimple;
    }

    int verdict = 0;
    {
        WorkingCopies copies;
        if (!copies.make(password, static_cast<std::size_t>(length))) {
            verdict = kPasswordOutOfMemory;
        } else if (length < policy.minPassphrase &&
                   (isWordBased(policy, copies.unified, password) ||
                    isWordBased(policy, copies.unifiedReversed, copies.reversed))) {
            verdict = kPasswordWordBased;
        }
    }
    return verdict != 0 ? verdict : passwordQuality(password);
}

int checkWidePassword(const char16_t* password, const PasswordPolicy& policy) {
    uint8_t ansi[kPasswordAnsiLimit + 1];
    const uint32_t length = password != nullptr ? passwordAnsiBytes(password, ansi) : 0;
    ansi[length] = 0;
    const int verdict = checkPassword(ansi, policy);
    secureZero(ansi, sizeof ansi);
    return verdict;
}
