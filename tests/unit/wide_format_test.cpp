// The bounded formatter the log and the report build their texts with: the conversions in the
// Windows wide-format conventions, padding, and the cut at the end of the buffer.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "common/support/wide_format.h"

namespace {

template <typename... Args>
std::u16string format(const char16_t* f, Args... args) {
    char16_t out[256];
    const uint32_t n = formatWide(out, 256, f, args...);
    EXPECT_EQ(std::u16string(out).size(), n) << "returned length matches the terminator";
    return out;
}

TEST(WideFormat, IntegersWidthsAndPadding) {
    EXPECT_EQ(format(u"[%2d:%2d:%3d]", 9, 15, 42), u"[ 9:15: 42]");
    EXPECT_EQ(format(u"%03d|%-4d|%+d|% d|%05d", 7, 7, 7, 7, -42), u"007|7   |+7| 7|-0042");
    EXPECT_EQ(format(u"%*d|%-*d|%.3d|%6.3d", 4, 5, 3, 5, 5, -5), u"   5|5  |005|  -005");
    EXPECT_EQ(format(u"%d %i", INT32_MIN, INT32_MAX), u"-2147483648 2147483647");
    EXPECT_EQ(format(u"%u %x %X %08x", -1, 0xBEEFu, 0xBEEFu, 0x1Fu),
              u"4294967295 beef BEEF 0000001f");
    EXPECT_EQ(format(u"%ld %lu", -123456L, 123456UL), u"-123456 123456");
    EXPECT_EQ(format(u"%hd %hu", 70000, 70000), u"4464 4464") << "short wraps";
    EXPECT_EQ(format(u"%.0d|%.0x", 0, 0u), u"|") << "precision 0 prints no zero";
}

TEST(WideFormat, SixtyFourBitIntegers) {
    EXPECT_EQ(format(u"%I64d", INT64_MIN), u"-9223372036854775808");
    EXPECT_EQ(format(u"%I64u", UINT64_MAX), u"18446744073709551615");
    EXPECT_EQ(format(u"%I64x %lld", 0x123456789ABCDEFull, 5000000000ll),
              u"123456789abcdef 5000000000");
    // The argument after a 64-bit one is read from the right place.
    EXPECT_EQ(format(u"%I64d/%d/%I32d", int64_t{1} << 40, 17, 3), u"1099511627776/17/3");
}

TEST(WideFormat, StringsAndCharacters) {
    const char16_t* wide = u"caf\u00e9 \U0001F600";
    EXPECT_EQ(format(u"<%s>", wide), u"<caf\u00e9 \U0001F600>");
    EXPECT_EQ(format(u"<%ls|%ws>", u"a", u"b"), u"<a|b>");
    EXPECT_EQ(format(u"<%hs|%S>", "tag", "caf\xe9\x80"), u"<tag|caf\u00e9\u20ac>")
        << "narrow text is Windows-1252";
    EXPECT_EQ(format(u"<%6s|%-6s|%.2s|%.*s>", u"abc", u"abc", u"abc", 1, u"xyz"),
              u"<   abc|abc   |ab|x>");
    EXPECT_EQ(format(u"<%s|%hs|%3s>", static_cast<const char16_t*>(nullptr),
                     static_cast<const char*>(nullptr), static_cast<const char16_t*>(nullptr)),
              u"<||   >")
        << "a missing text prints as nothing";
    EXPECT_EQ(format(u"%c%c%hc%C", u'\u0100', u'b', '\xe9', 'x'), u"\u0100b\u00e9x");
}

TEST(WideFormat, PercentUnknownAndPointer) {
    EXPECT_EQ(format(u"100%% %q %5k end%"), u"100% %q %5k end");
    const std::u16string p = format(u"%p", reinterpret_cast<void*>(uintptr_t{0xAB}));
    EXPECT_EQ(p.size(), 2 * sizeof(void*));
    EXPECT_EQ(p.substr(p.size() - 3), u"0AB");
}

TEST(WideFormat, CutsAtTheLimitAndAlwaysTerminates) {
    char16_t out[8];
    for (char16_t& c : out) c = u'#';
    EXPECT_EQ(formatWide(out, 5, u"%s-%d", u"abc", 12345), 4u);
    EXPECT_EQ(std::u16string(out), u"abc-");
    EXPECT_EQ(out[5], u'#') << "nothing written past the room";

    EXPECT_EQ(formatWide(out, 8, u"%7d", 1), 7u) << "exactly full";
    EXPECT_EQ(std::u16string(out), u"      1");

    EXPECT_EQ(formatWide(out, 1, u"abc"), 0u);
    EXPECT_EQ(out[0], 0);
    out[0] = u'#';
    EXPECT_EQ(formatWide(out, 0, u"abc"), 0u);
    EXPECT_EQ(out[0], u'#') << "no room, not even for the terminator";

    // A pair that would be split by the cut is left out whole.
    EXPECT_EQ(formatWide(out, 4, u"ab\U0001F600"), 2u);
    EXPECT_EQ(std::u16string(out), u"ab");
    EXPECT_EQ(formatWide(out, 5, u"ab\U0001F600"), 4u);
    EXPECT_EQ(std::u16string(out), u"ab\U0001F600");
}

}  // namespace
