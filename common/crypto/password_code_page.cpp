#include "common/crypto/password_code_page.h"

#include <cstdint>

#include "common/crypto/password_cipher.h"
#include "common/support/code_page.h"
#include "common/support/secure_zero.h"

bool passwordFitsCodePage(const char16_t* password) {
    if (password == nullptr) return true;
    const uint32_t units = wideLength(password);
    uint8_t ansi[kPasswordAnsiLimit];
    char16_t back[kPasswordAnsiLimit];
    const uint32_t bytes = ansiFromWide(password, units, ansi, kPasswordAnsiLimit);
    const uint32_t returned = bytes > 0 ? wideFromAnsi(ansi, bytes, back, kPasswordAnsiLimit) : 0;
    bool same = returned == units;
    for (uint32_t i = 0; same && i < units; ++i) same = back[i] == password[i];
    secureZero(ansi, sizeof ansi);
    secureZero(back, sizeof back);
    return same;
}
