// The ANSI conversion as the derivation and the log use it, identical on every build.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/support/ansi_flags.h"
#include "common/support/code_page.h"

namespace {

std::string ansi(const std::u16string& text, uint32_t limit = 1000) {
    std::vector<uint8_t> out(limit + 1, 0xEE);
    uint32_t n = ansiFromWide(text.data(), static_cast<uint32_t>(text.size()), out.data(), limit);
    EXPECT_EQ(out[n], 0xEE) << "wrote past the count it returned";
    return std::string(out.begin(), out.begin() + n);
}

TEST(CodePage, Windows1252Mapping) {
    EXPECT_EQ(ansi(u"plain ASCII"), "plain ASCII");
    EXPECT_EQ(ansi(u"caf\u00e9 \u20ac \u0160\u017e \u2122"), "caf\xe9 \x80 \x8a\x9e \x99");
    // The five holes of the table map to the controls of the same value.
    EXPECT_EQ(ansi(u"\u0081\u008d\u008f\u0090\u009d"), "\x81\x8d\x8f\x90\x9d");
    // No best fit: characters without an exact form become '?'.
    EXPECT_EQ(ansi(u"\u0100\u0080\u03c0\uff41\u4e2d"), "?????");
    // Each half of a surrogate pair, and a lone half, is its own '?'.
    EXPECT_EQ(ansi(u"a\U0001F600b\xD800"), "a??b?");
}

TEST(CodePage, LongestPrefixThatFits) {
    EXPECT_EQ(ansi(u"abcdef", 4), "abcd");
    EXPECT_EQ(ansi(u"abc\U0001F600", 4), "abc") << "a pair is never split";
    EXPECT_EQ(ansi(u"abc\U0001F600", 5), "abc??");
    EXPECT_EQ(ansi(u"", 4), "");
    EXPECT_EQ(ansi(u"abc", 0), "");
    std::u16string text = u"r\u00e9sum\u00e9\U0001F600";
    EXPECT_EQ(ansiFromWide(text.data(), static_cast<uint32_t>(text.size()), nullptr, 0), 8u);
}

TEST(CodePage, AnsiToWide) {
    const uint8_t bytes[] = {'A', 0x80, 0x9F, 0xE9, 0x81};
    char16_t out[8] = {};
    EXPECT_EQ(wideFromAnsi(bytes, 5, nullptr, 0), 5u);
    ASSERT_EQ(wideFromAnsi(bytes, 5, out, 8), 5u);
    EXPECT_EQ(std::u16string(out, 5), u"A\u20ac\u0178\u00e9\u0081");
    EXPECT_EQ(wideFromAnsi(bytes, 5, out, 4), 0u) << "never silently cut";
}

TEST(CodePage, TableRoundTripsEveryByte) {
    for (int b = 0; b < 256; ++b) {
        EXPECT_EQ(cp1252FromUnit(cp1252ToUnit(static_cast<uint8_t>(b))), b) << b;
    }
}

// Best fit stays off wherever the code page takes the flag; where it is refused (UTF-8 above all,
// which newer Windows offers as the system's ANSI code page) no flag at all is passed, or every
// conversion fails and a password turns into nothing.
TEST(AnsiFlags, BestFitOffWhereTheCodePageAllowsItAndNoFlagWhereItIsRefused) {
    EXPECT_EQ(wideToAnsiFlags(1252), kNoBestFitFlag);
    EXPECT_EQ(wideToAnsiFlags(932), kNoBestFitFlag) << "Shift-JIS, a double-byte code page";
    EXPECT_EQ(wideToAnsiFlags(1250), kNoBestFitFlag);
    EXPECT_EQ(wideToAnsiFlags(936), kNoBestFitFlag);
    EXPECT_EQ(wideToAnsiFlags(65001), 0u) << "UTF-8";
    EXPECT_EQ(wideToAnsiFlags(65000), 0u) << "UTF-7";
    for (uint32_t refusing : {42u, 50220u, 50221u, 50222u, 50225u, 50227u, 50229u, 57002u, 57011u})
        EXPECT_EQ(wideToAnsiFlags(refusing), 0u) << refusing;
    EXPECT_EQ(wideToAnsiFlags(57001), kNoBestFitFlag);
    EXPECT_EQ(wideToAnsiFlags(57012), kNoBestFitFlag);
    EXPECT_EQ(kNoBestFitFlag, 0x400u);
}

}  // namespace
