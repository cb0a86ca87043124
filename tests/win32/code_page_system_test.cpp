// The Windows-1252 table the non-Windows build converts with, against the system's own
// conversion, for every UTF-16 code unit and every byte, called the way the derivation
// (wide to ANSI, best fit off) and the ANSI exports (ANSI to wide) call it.
#include <windows.h>

#include <gtest/gtest.h>

#include "common/support/code_page.h"

namespace {

TEST(SystemCodePage, TheTestRunsUnderWindows1252) {
    ASSERT_EQ(GetACP(), 1252u);
}

TEST(SystemCodePage, WideToAnsiMatchesForAllCodeUnits) {
    int mismatches = 0;
    for (uint32_t u = 0; u <= 0xFFFF; ++u) {
        const wchar_t unit = static_cast<wchar_t>(u);
        char out[4] = {};
        const int n =
            WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, &unit, 1, out, 4, nullptr, nullptr);
        const uint8_t ours = cp1252FromUnit(static_cast<char16_t>(u));
        if (n != 1 || static_cast<uint8_t>(out[0]) != ours) {
            if (++mismatches <= 10) {
                ADD_FAILURE() << std::hex << "U+" << u << ": system gives " << n << " byte(s) "
                              << (static_cast<unsigned>(out[0]) & 0xFF) << ", table gives "
                              << static_cast<unsigned>(ours);
            }
        }
    }
    EXPECT_EQ(mismatches, 0);
}

TEST(SystemCodePage, AnsiToWideMatchesForAllBytes) {
    for (uint32_t b = 0; b < 256; ++b) {
        const char byte = static_cast<char>(b);
        wchar_t out[2] = {};
        ASSERT_EQ(MultiByteToWideChar(CP_ACP, 0, &byte, 1, out, 2), 1) << b;
        EXPECT_EQ(static_cast<char16_t>(out[0]), cp1252ToUnit(static_cast<uint8_t>(b))) << b;
    }
}

TEST(SystemCodePage, SeamMatchesTheTableOnMixedText) {
    // A string through the seam (the system) and through the table give the same bytes.
    const char16_t text[] = u"A\u00e9\u20ac\u0100\U0001F600\u0081z";
    const uint32_t units = sizeof text / sizeof text[0] - 1;
    uint8_t viaSystem[32] = {};
    ASSERT_EQ(ansiFromWide(text, units, viaSystem, sizeof viaSystem), units);
    for (uint32_t i = 0; i < units; ++i) EXPECT_EQ(viaSystem[i], cp1252FromUnit(text[i])) << i;
}

}  // namespace
