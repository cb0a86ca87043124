// Windows-1252 as Windows itself converts it (the system table, not the WHATWG one): the five
// bytes that have no character of their own map to the C1 controls of the same value, and every
// other code unit outside the table, surrogates included, becomes '?'.
#include "common/support/code_page.h"

namespace {

// Bytes 0x80 to 0x9F; all other bytes equal their code unit.
constexpr char16_t kHighControls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80-87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88-8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90-97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98-9F
};

constexpr uint8_t kDefaultChar = '?';

}  // namespace

char16_t cp1252ToUnit(uint8_t byte) {
    if (byte >= 0x80 && byte <= 0x9F) return kHighControls[byte - 0x80];
    return byte;
}

uint8_t cp1252FromUnit(char16_t unit) {
    if (unit < 0x80 || (unit >= 0xA0 && unit <= 0xFF)) return static_cast<uint8_t>(unit);
    for (unsigned i = 0; i < 32; ++i) {
        if (kHighControls[i] == unit) return static_cast<uint8_t>(0x80 + i);
    }
    return kDefaultChar;
}

uint32_t wideLength(const char16_t* text) {
    uint32_t n = 0;
    if (text != nullptr) {
        while (text[n] != 0) ++n;
    }
    return n;
}
