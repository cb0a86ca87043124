// ANSI conversion off Windows: Windows-1252, one byte per code unit (Windows turns each half of
// a surrogate pair into its own '?', and so do we).
#include "common/support/code_page.h"

uint32_t ansiFromWide(const char16_t* text, uint32_t units, uint8_t* out, uint32_t limit) {
    if (out == nullptr) return units;
    uint32_t n = units < limit ? units : limit;
    // Cutting between the halves of a pair would leave half a character.
    if (n < units && n > 0 && isHighSurrogate(text[n - 1]) && isLowSurrogate(text[n])) --n;
    for (uint32_t i = 0; i < n; ++i) out[i] = cp1252FromUnit(text[i]);
    return n;
}

uint32_t wideFromAnsi(const uint8_t* text, uint32_t bytes, char16_t* out, uint32_t limit) {
    if (out == nullptr) return bytes;
    if (bytes > limit) return 0;
    for (uint32_t i = 0; i < bytes; ++i) out[i] = cp1252ToUnit(text[i]);
    return bytes;
}
