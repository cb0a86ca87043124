// The simplicity rule: a password needs more different characters the fewer character classes
// it uses. A capital first letter and a digit last add no class, since that is how people meet
// "use upper case and digits" rules; bytes above ASCII count as a class only where they are the
// text's sole variety besides digits.
#include "common/crypto/password_rules.h"
#include "common/support/secure_zero.h"

namespace {

bool isDigit(uint8_t c) {
    return c >= '0' && c <= '9';
}
bool isLower(uint8_t c) {
    return c >= 'a' && c <= 'z';
}
bool isUpper(uint8_t c) {
    return c >= 'A' && c <= 'Z';
}
bool isLetter(uint8_t c) {
    return isLower(c) || isUpper(c);
}

// Whether a text of `length` bytes with `distinct` different ones is long and varied enough
// for a rule whose minimum length is `minimum` over an alphabet of `charset` characters.
bool passes(int64_t length, int distinct, int32_t minimum, int charset) {
    return length >= minimum && distinct >= expectedDifferent(charset, minimum) - 1;
}

}  // namespace

int expectedDifferent(int charset, int length) {
    if (charset <= 0) return 0;
    const uint32_t size = static_cast<uint32_t>(charset);
    // x is the chance, in 1/32768, that one draw misses a given character; y that all miss it.
    const uint32_t x = ((size - 1) * 32768u) / size;
    uint32_t y = x;
    for (int i = 1; i < length && y != 0; ++i) y = (y * x) >> 15;
    return static_cast<int>(((32768u - y) * size) >> 15);
}

bool isSimple(const PasswordPolicy& policy, const uint8_t* text) {
    int digits = 0, lowers = 0, uppers = 0, others = 0, nonAscii = 0;
    int wordStarts = 0, distinct = 0;
    uint32_t seen[8] = {};  // one bit per byte value met so far
    uint8_t previous = ' ';
    int64_t length = 0;
    for (const uint8_t* p = text; *p != 0; ++p, ++length) {
        const uint8_t c = *p;
        if (c >= 0x80) {
            ++nonAscii;
        } else if (isDigit(c)) {
            ++digits;
        } else if (isLower(c)) {
            ++lowers;
        } else if (isUpper(c)) {
            ++uppers;
        } else {
            ++others;
        }
        // A word starts at a letter after an ASCII byte that is no letter: a byte above ASCII
        // may be a letter of the code page, so a letter after one does not start a word.
        if (isLetter(c) && previous < 0x80 && !isLetter(previous)) ++wordStarts;
        const uint32_t bit = 1u << (c & 31);
        if ((seen[c >> 5] & bit) == 0) {
            seen[c >> 5] |= bit;
            ++distinct;
        }
        previous = c;
    }
    secureZero(seen, sizeof seen);
    if (length == 0) return true;

    if (uppers != 0 && isUpper(text[0])) --uppers;
    if (digits != 0 && isDigit(text[length - 1])) --digits;
    int classes = (digits != 0) + (lowers != 0) + (uppers != 0) + (others != 0);
    if (nonAscii != 0 && (classes == 0 || (digits != 0 && classes == 1))) ++classes;

    // Fewer classes are tried in turn: a text that fails as four classes may still pass as a
    // longer one of three.
    for (int k = classes; k > 0; --k) {
        switch (k) {
            case 4:
                if (passes(length, distinct, policy.minFourClasses, 95)) return false;
                break;
            case 3:
                if (passes(length, distinct, policy.minThreeClasses, 62)) return false;
                break;
            case 2:
                if (passes(length, distinct, policy.minTwoClasses, 36)) return false;
                if (policy.passphraseWords != 0 && wordStarts >= policy.passphraseWords &&
                    passes(length, distinct, policy.minPassphrase, 27))
                    return false;
                break;
            default:
                return !passes(length, distinct, policy.minOneClass, 10);
        }
    }
    return true;
}
