#include "common/crypto/password_code_page.h"

#include <cstdint>

#include "common/support/code_page.h"
#include "common/support/secure_zero.h"

bool passwordFitsCodePage(const char16_t* password) {
    if (password == nullptr) return true;
    // One character at a time (a surrogate pair is one), there and back: what comes back
    // differently is what the key would be made from instead.
    bool fits = true;
    uint8_t ansi[8];
    char16_t back[8];
    for (const char16_t* at = password; fits && *at != 0;) {
        const uint32_t units = isHighSurrogate(at[0]) && isLowSurrogate(at[1]) ? 2 : 1;
        const uint32_t bytes = ansiFromWide(at, units, ansi, sizeof ansi);
        const uint32_t returned = bytes > 0 ? wideFromAnsi(ansi, bytes, back, 8) : 0;
        fits = returned == units && back[0] == at[0] && (units == 1 || back[1] == at[1]);
        at += units;
    }
    secureZero(ansi, sizeof ansi);
    secureZero(back, sizeof back);
    return fits;
}
