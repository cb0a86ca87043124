// The case-folded copies the password check compares with the word list, and their release.
// Only ASCII letters are folded: the check must give the same answer on every code page.
#include <cstring>
#include <new>

#include "common/crypto/password_rules.h"
#include "common/support/secure_zero.h"

void unifyCaseInto(const uint8_t* text, uint32_t length, uint8_t* out) {
    for (uint32_t i = 0; i < length; ++i) {
        const uint8_t c = text[i];
        out[i] = c >= 'A' && c <= 'Z' ? static_cast<uint8_t>(c - 'A' + 'a') : c;
    }
    out[length] = 0;
}

uint8_t* unifyCase(const uint8_t* text) {
    const std::size_t length = std::strlen(reinterpret_cast<const char*>(text));
    if (length >= UINT32_MAX) return nullptr;
    uint8_t* copy = new (std::nothrow) uint8_t[length + 1];
    if (copy != nullptr) unifyCaseInto(text, static_cast<uint32_t>(length), copy);
    return copy;
}

void cleanFree(uint8_t* text) {
    if (text == nullptr) return;
    secureZero(text, std::strlen(reinterpret_cast<const char*>(text)));
    delete[] text;
}
