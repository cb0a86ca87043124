// The password meter: length limits, the simplicity rule, the word test on both directions, the
// quality arithmetic, and a seeded sweep that compares the check with the rules stated plainly.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "common/crypto/password_quality.h"
#include "common/crypto/password_rules.h"
#include "common/crypto/word_list.h"

namespace {

const uint8_t* bytes(const char* s) {
    return reinterpret_cast<const uint8_t*>(s);
}
int check(const std::string& s, const PasswordPolicy& p = kDialogPasswordPolicy) {
    return checkPassword(bytes(s.c_str()), p);
}
std::string lower(std::string s) {
    for (char& c : s) c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    return s;
}
bool listed(const char* word) {
    for (const char* w : kWordList.words)
        if (std::strcmp(w, word) == 0) return true;
    return false;
}

TEST(WordList, HoldsTheListInStoredOrder) {
    EXPECT_STREQ(kWordList.words[0], "Adam");
    EXPECT_STREQ(kWordList.words[WordList::kCount - 1], "zone");
    int byLength[WordList::kSlot] = {};
    for (int i = 0; i < WordList::kCount; ++i) {
        ++byLength[std::strlen(kWordList.words[i])];
        if (i > 0) {
            EXPECT_LT(std::strcmp(kWordList.words[i - 1], kWordList.words[i]), 0) << i;
        }
    }
    EXPECT_EQ(byLength[3], 213);
    EXPECT_EQ(byLength[4], 1090);
    EXPECT_EQ(byLength[5], 1343);
    EXPECT_EQ(byLength[6], 1450);
}

TEST(PasswordMeter, LengthLimits) {
    EXPECT_EQ(check(""), kPasswordTooShort);
    EXPECT_EQ(check("q7#Lm"), kPasswordTooShort);
    std::string longest;
    for (int i = 0; i < 64; ++i) longest += "abcdefghijklmnopqrstuvwxyz0123456789"[i % 36];
    EXPECT_EQ(check(longest), 100) << "64 bytes are rated";
    EXPECT_EQ(check(longest + "x"), kPasswordTooLong);
}

TEST(PasswordMeter, SimpleMeansTooFewDifferentBytes) {
    EXPECT_EQ(check("aaaaaa"), kPasswordSimple);
    EXPECT_EQ(check("ababab"), kPasswordSimple);
    EXPECT_EQ(check("abcabc"), 21);
    // -6 needs a policy whose two-class minimum lies above the absolute one, within the maximum.
    const PasswordPolicy shortForTwo = {8, 8, 8, 8, 1, 64, 2, 5, 1, 66};
    EXPECT_EQ(check("aaaa", shortForTwo), kPasswordSimpleShort);
    const PasswordPolicy twoAboveMax = {8, 80, 8, 8, 1, 64, 2, 5, 1, 66};
    EXPECT_EQ(check("aaaa", twoAboveMax), kPasswordSimple);

    EXPECT_EQ(expectedDifferent(10, 6) - 1, 3);
    EXPECT_EQ(expectedDifferent(36, 6) - 1, 4);
    EXPECT_EQ(expectedDifferent(27, 8) - 1, 6);
    EXPECT_EQ(expectedDifferent(62, 6) - 1, 4);
    EXPECT_EQ(expectedDifferent(95, 6) - 1, 4);
    EXPECT_EQ(expectedDifferent(0, 6), 0) << "no division by zero";
}

TEST(PasswordMeter, WhichBytesMakeAClass) {
    // One class must be 64 bytes long here, two need only 6: the class count decides.
    const PasswordPolicy p = {64, 6, 64, 6, 6, 64, 0, 5, 1, 66};
    EXPECT_TRUE(isSimple(p, bytes("Abcdef"))) << "a capital first letter adds no class";
    EXPECT_FALSE(isSimple(p, bytes("aBcdef")));
    EXPECT_TRUE(isSimple(p, bytes("abcde1"))) << "a digit last adds no class";
    EXPECT_FALSE(isSimple(p, bytes("1abcde")));
    EXPECT_TRUE(isSimple(p, bytes("abc\xe9\xe8\xe0"))) << "high bytes beside letters";
    EXPECT_FALSE(isSimple(p, bytes("123\xe9\xe8\xe0"))) << "high bytes beside digits";
    // Enough words make a passphrase of two classes pass at its own, lower, length.
    const PasswordPolicy phrase = {64, 64, 8, 64, 64, 64, 2, 5, 1, 66};
    EXPECT_FALSE(isSimple(phrase, bytes("ab cd ef")));
    EXPECT_TRUE(isSimple(phrase, bytes("abcdefg!"))) << "one word is no phrase";
    const PasswordPolicy noPhrase = {64, 64, 8, 64, 64, 64, 0, 5, 1, 66};
    EXPECT_TRUE(isSimple(noPhrase, bytes("ab cd ef")));
}

// A word starts at a letter after an ASCII byte that is no letter. A byte above ASCII may be a
// letter of the code page, so a letter after it continues the word: "xy\xE9zwuv!" is one word,
// not a passphrase of two. The dialog's policy needs no words of it (two classes pass at six
// bytes), so only a policy that leans on passphrases shows the difference.
TEST(PasswordMeter, AWordStartsOnlyAfterAnAsciiNonLetter) {
    const PasswordPolicy phrase = {64, 64, 8, 64, 64, 64, 2, 5, 1, 66};
    EXPECT_TRUE(isSimple(phrase, bytes("xy\xE9zwuv!"))) << "a high byte starts no word";
    EXPECT_FALSE(isSimple(phrase, bytes("xy-zwuv!"))) << "an ASCII non-letter does";
    EXPECT_FALSE(isSimple(phrase, bytes("xy zwuv\xE9"))) << "two words, a high byte after them";
    EXPECT_TRUE(isSimple(phrase, bytes("\xE9xy-zwuv"))) << "not even a first word after one";
}

TEST(PasswordMeter, ShortPasswordsMayNotLeanOnAWord) {
    ASSERT_TRUE(listed("zombie") && listed("zebra") && listed("Berlin"));
    for (const char* p : {"zombie1", "Zombie", "ZOMBIE", "eibmoz", "zebra12", "1zebra2", "xombie4",
                          "berlin7", "7NILREB"})
        EXPECT_EQ(check(p), kPasswordWordBased) << p;
    EXPECT_GE(check("zombie12"), 0) << "eight bytes are not word-tested";
    EXPECT_GE(check("qxvjkwz"), 0);

    const uint8_t* word = bytes("zombie");
    PasswordPolicy p = kDialogPasswordPolicy;
    p.matchLength = 0;
    EXPECT_FALSE(isBasedOn(p, word, word, word)) << "0 turns the test off";
    p.matchLength = -1;
    EXPECT_TRUE(isBasedOn(p, word, bytes("qxvjkwz"), bytes("qxvjkwz"))) << "<0 matches all";
}

TEST(PasswordMeter, QualityCountsClassesAfterTheFirstByte) {
    EXPECT_EQ(check("bdfhjlnp"), 28);
    EXPECT_EQ(check("Bdfhjlnp"), 28);
    EXPECT_EQ(check("abcdefghijklmnop"), 58);
    EXPECT_EQ(check("a1b2c3"), 27);
    EXPECT_EQ(check("a!/:?@"), 23);
    EXPECT_EQ(check("a`bcdefg"), 31) << "the grave accent is no letter";
    EXPECT_EQ(check("x\x01"
                    "5Q[m{\xe9qrstuvwx"),
              100);
    EXPECT_EQ(passwordQuality(bytes("")), 0);
    EXPECT_EQ(passwordQuality(bytes("Z")), 0);
}

TEST(PasswordMeter, CaseFoldingAndWideInput) {
    uint8_t* folded = unifyCase(bytes("@AZ[az\xc0\xe0"));
    ASSERT_NE(folded, nullptr);
    EXPECT_STREQ(reinterpret_cast<char*>(folded), "@az[az\xc0\xe0");
    cleanFree(folded);
    cleanFree(nullptr);

    EXPECT_EQ(checkWidePassword(u"zombie1", kDialogPasswordPolicy), kPasswordWordBased);
    EXPECT_EQ(checkWidePassword(u"\u00e9\u00e8a!#$", kDialogPasswordPolicy), check("\xe9\xe8"
                                                                                   "a!#$"));
    EXPECT_EQ(checkWidePassword(u"ab\u4e00cd1", kDialogPasswordPolicy), check("ab?cd1"));
    EXPECT_EQ(checkWidePassword(nullptr, kDialogPasswordPolicy), kPasswordTooShort);
}

// The rules stated plainly: with the dialog's policy a password of 6 to 64 bytes is simple
// exactly when it has fewer than 3 different bytes, and one of 6 or 7 bytes is word-based
// exactly when it or its reversal shares 5 consecutive bytes (case ignored) with a list word.
TEST(PasswordMeter, SweepAgreesWithTheRules) {
    std::set<std::string> runs;
    for (const char* w : kWordList.words)
        for (std::size_t k = 0; k + 5 <= std::strlen(w); ++k) runs.insert(lower(w).substr(k, 5));
    auto sharesARun = [&](const std::string& s) {
        const std::string low = lower(s), back(low.rbegin(), low.rend());
        for (std::size_t k = 0; k + 5 <= low.size(); ++k)
            if (runs.count(low.substr(k, 5)) || runs.count(back.substr(k, 5))) return true;
        return false;
    };

    std::mt19937 rng(20240613);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    for (int n = 0; n < 6000; ++n) {
        const bool shortOne = n % 3 == 0;
        const int length = shortOne ? pick(6, 7) : pick(6, 64);
        const int alphabet = std::vector<int>{2, 3, 26, 255}[pick(0, 3)];
        std::string s;
        for (int i = 0; i < length; ++i)
            s += static_cast<char>(alphabet == 26 ? 'a' + pick(0, 25) : 1 + pick(0, alphabet - 1));
        if (shortOne && n % 2 == 0) {  // plant a run of a list word, in random case
            const char* w = kWordList.words[pick(0, WordList::kCount - 1)];
            const int wl = static_cast<int>(std::strlen(w));
            if (wl >= 5) {
                const int from = pick(0, wl - 5), at = pick(0, length - 5);
                for (int k = 0; k < 5; ++k)
                    s[at + k] = static_cast<char>(pick(0, 1) ? w[from + k] & ~0x20 : w[from + k]);
            }
        }
        const int r = check(s);
        const int distinct = static_cast<int>(std::set<char>(s.begin(), s.end()).size());
        SCOPED_TRACE(testing::PrintToString(s));
        ASSERT_EQ(r == kPasswordSimple, distinct < 3);
        if (r == kPasswordSimple) continue;
        ASSERT_EQ(r == kPasswordWordBased, length < 8 && sharesARun(s));
        if (r != kPasswordWordBased) {
            ASSERT_TRUE(r >= 0 && r <= 100) << r;
        }
    }
}

}  // namespace
