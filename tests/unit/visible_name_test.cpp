// Which characters of a name draw nothing or change how the rest is drawn, and the form in which
// names holding them are shown. The page's script applies the same rule, so the ranges here are
// checked at both ends and one past.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "common/archive/visible_name.h"
#include "common/support/utf8.h"

namespace {

struct Range {
    uint32_t first;
    uint32_t last;
};

// The rule as it is stated in visible_name.h, written out again so that a change to the
// engine's table shows up here.
const std::vector<Range> kStated = {
    {0x007F, 0x009F},   {0x00AD, 0x00AD},   {0x0600, 0x0605},   {0x061C, 0x061C},
    {0x06DD, 0x06DD},   {0x070F, 0x070F},   {0x0890, 0x0891},   {0x08E2, 0x08E2},
    {0x180E, 0x180E},   {0x200B, 0x200F},   {0x2028, 0x2029},   {0x202A, 0x202E},
    {0x2060, 0x2064},   {0x2066, 0x206F},   {0xFEFF, 0xFEFF},   {0xFFF9, 0xFFFB},
    {0x110BD, 0x110BD}, {0x110CD, 0x110CD}, {0x13430, 0x1343F}, {0x1BCA0, 0x1BCA3},
    {0x1D173, 0x1D17A}, {0xE0001, 0xE0001}, {0xE0020, 0xE007F},
};

bool stated(uint32_t c) {
    for (const Range& r : kStated) {
        if (c >= r.first && c <= r.last) return true;
    }
    return false;
}

std::u16string utf16(uint32_t c) {
    if (c < 0x10000) return std::u16string(1, static_cast<char16_t>(c));
    c -= 0x10000;
    return {static_cast<char16_t>(0xD800 + (c >> 10)), static_cast<char16_t>(0xDC00 + (c & 0x3FF))};
}

std::u16string shown(const std::u16string& name) {
    const uint32_t chars = static_cast<uint32_t>(name.size());
    std::u16string out(chars * kVisibleGrowth + 1, u'\0');
    const uint32_t n = visibleName(name.data(), chars, out.data(), chars * kVisibleGrowth + 1);
    EXPECT_EQ(out[n], u'\0');
    out.resize(n);
    return out;
}

std::string hex(uint32_t c) {
    char text[16];
    std::snprintf(text, sizeof text, "U+%04X", c);
    return text;
}

// Each range's first and last character and the ones just outside it, inside a name, found at
// their place whether they take one code unit or a surrogate pair.
TEST(VisibleName, EveryRangeAtBothEndsAndOnePast) {
    for (const Range& r : kStated) {
        for (uint32_t c : {r.first - 1, r.first, r.last, r.last + 1}) {
            if (c < 0x20) continue;  // below the space: refused by isSafeStoredName instead
            const bool invisible = stated(c);
            EXPECT_EQ(isInvisibleFormatting(c), invisible) << hex(c);
            const std::u16string name = u"ab" + utf16(c) + u"z";
            uint32_t found = 0;
            const uint32_t at =
                findInvisible(name.data(), static_cast<uint32_t>(name.size()), found);
            if (invisible) {
                EXPECT_EQ(at, 2u) << hex(c);
                EXPECT_EQ(found, c) << hex(c);
                EXPECT_EQ(utf8FromWide(shown(name)), "ab<" + hex(c) + ">z");
            } else {
                EXPECT_EQ(at, name.size()) << hex(c);
                EXPECT_EQ(shown(name), name) << hex(c);
            }
        }
    }
    // Ordinary letters, spaces and marks that do draw something stay as they are.
    for (const char16_t* plain :
         {u"Invoice_2024.pdf", u"r\u00e9sum\u00e9 \u20ac", u"\u05e9\u05dc\u05d5\u05dd",
          u"\u0645\u0631\u062d\u0628\u0627", u"\u00a0nbsp", u"\U0001F600.png"}) {
        EXPECT_EQ(shown(plain), plain);
        EXPECT_FALSE(holdsInvisible(plain, static_cast<uint32_t>(std::u16string(plain).size())));
    }
}

// A surrogate pair is one character, visible or not by what it encodes; a surrogate without
// its partner is shown as itself, whatever stands around it.
TEST(VisibleName, SurrogatePairsAndLoneSurrogates) {
    struct Case {
        std::u16string name;
        uint32_t at;  // the index findInvisible gives, or the length for none
        uint32_t found;
        std::u16string shown;
    };
    const std::vector<Case> cases = {
        {u"\U0001F600", 2, 0, u"\U0001F600"},
        {u"tag\U000E0041", 3, 0xE0041, u"tag<U+E0041>"},
        {u"a\xD800", 1, 0xD800, u"a<U+D800>"},  // high at the end
        {u"a\xD83D"
         u"b",
         1, 0xD83D, u"a<U+D83D>b"},                                 // high before a letter
        {u"\xDC00x", 0, 0xDC00, u"<U+DC00>x"},                      // low at the start
        {u"\xDE00\xD83D", 0, 0xDE00, u"<U+DE00><U+D83D>"},          // a pair the wrong way round
        {u"\xD83D\xD83D\xDE00", 0, 0xD83D, u"<U+D83D>\U0001F600"},  // two highs, then a low
        {u"\U0001F600\xDE00", 2, 0xDE00, u"\U0001F600<U+DE00>"},    // a pair, then a stray low
    };
    for (const Case& c : cases) {
        uint32_t found = 0;
        EXPECT_EQ(findInvisible(c.name.data(), static_cast<uint32_t>(c.name.size()), found), c.at)
            << utf8FromWide(c.shown);
        if (c.at < c.name.size()) {
            EXPECT_EQ(found, c.found) << utf8FromWide(c.shown);
        }
        EXPECT_EQ(shown(c.name), c.shown);
    }
}

TEST(VisibleName, ShownFormAndItsLimits) {
    EXPECT_EQ(shown(u"Invoice_2024\u202Efdp.exe"), u"Invoice_2024<U+202E>fdp.exe");
    EXPECT_EQ(shown(u"\u00AD\u007F\u200B\uFEFF"), u"<U+00AD><U+007F><U+200B><U+FEFF>");
    EXPECT_EQ(shown(u"a\\b\u2066c\u2069"), u"a\\b<U+2066>c<U+2069>");
    EXPECT_EQ(shown(u"\U000E007F"), u"<U+E007F>");
    EXPECT_EQ(shown(u""), u"");

    char16_t label[9];
    EXPECT_EQ(codePointLabel(0xAD, label), 6u);
    EXPECT_EQ(std::u16string(label), u"U+00AD");
    EXPECT_EQ(codePointLabel(0x1D173, label), 7u);
    EXPECT_EQ(std::u16string(label), u"U+1D173");
    EXPECT_EQ(codePointLabel(0x10FFFF, label), 8u);
    EXPECT_EQ(std::u16string(label), u"U+10FFFF");

    // Every name grows at most kVisibleGrowth times: all invisible single units, and pairs.
    const std::u16string worst(40, u'\u202E');
    EXPECT_EQ(shown(worst).size(), worst.size() * 8);
    EXPECT_LE(shown(u"\U000E0041\U000E0041").size(), 4 * kVisibleGrowth);

    // Too little room: the whole length is still told, and what is written stops before a
    // replacement or a pair that does not fit, never inside one.
    const std::u16string name = u"ab\u202Ecd\U0001F600";
    const std::u16string whole = u"ab<U+202E>cd\U0001F600";
    for (uint32_t room = 0; room <= whole.size() + 1; ++room) {
        std::u16string out(room + 1, u'#');
        EXPECT_EQ(visibleName(name.data(), static_cast<uint32_t>(name.size()), out.data(), room),
                  whole.size());
        if (room == 0) {
            EXPECT_EQ(out[0], u'#') << "nothing written without room";
            continue;
        }
        // The longest run of whole pieces ("a", "b", the replacement, "c", "d", the pair) that
        // fits with its terminator.
        std::size_t fits = 0;
        for (std::size_t end : {1, 2, 10, 11, 12, 14}) {
            if (end <= room - 1) fits = end;
        }
        EXPECT_EQ(std::u16string(out.c_str()), whole.substr(0, fits)) << "room " << room;
        EXPECT_EQ(out[room], u'#') << "nothing past the room";
    }
}

}  // namespace
