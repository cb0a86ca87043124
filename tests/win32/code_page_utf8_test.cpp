// Passwords where the ANSI code page is UTF-8 (65001). There the conversion refuses the flag
// that switches best fit off, so passing it made every password convert to nothing: no key, an
// archive written in the clear, "incorrect password" on opening. This program's manifest asks
// for UTF-8 as its code page, so the conversion, the derivation and the password check run as
// they would on such a system. (Wine accepts the refused flag, so on Wine the rule itself is
// covered by the flag choice's own test; this run shows the rest holds together.)
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "common/crypto/password_cipher.h"
#include "common/crypto/password_quality.h"
#include "common/crypto/sha512.h"
#include "common/support/ansi_flags.h"
#include "common/support/code_page.h"

namespace {

std::string hexOf(const uint8_t* bytes, size_t n) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (size_t i = 0; i < n; ++i) {
        out += digits[bytes[i] >> 4];
        out += digits[bytes[i] & 15];
    }
    return out;
}

TEST(Utf8CodePage, TheManifestMakesUtf8TheAnsiCodePage) {
    ASSERT_EQ(GetACP(), 65001u) << "the system ignored the manifest's active code page";
    EXPECT_EQ(wideToAnsiFlags(GetACP()), 0u);
}

TEST(Utf8CodePage, PasswordsConvertToTheirUtf8Bytes) {
    const char16_t text[] = u"p\u00e4ss \u20ac\U0001F600";
    const uint32_t units = sizeof text / sizeof text[0] - 1;
    uint8_t out[32] = {};
    const uint32_t n = ansiFromWide(text, units, out, sizeof out);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(out), n),
              "p\xc3\xa4ss \xe2\x82\xac\xf0\x9f\x98\x80");
    // Cut to fit, the cut falls between whole characters.
    EXPECT_EQ(ansiFromWide(text, units, out, 8), 6u)
        << "\"p\u00e4ss \" takes six bytes, and the euro sign's three do not fit in the two left";
}

TEST(Utf8CodePage, APasswordKeysFromTheDigestOfItsUtf8Bytes) {
    PasswordCipher cipher;
    ASSERT_TRUE(cipher.setPassword(u"gr\u00fc\u00dfe")) << "the password gave no key";
    const std::string bytes =
        "gr\xc3\xbc\xc3\x9f"
        "e";
    Sha512Context sha;
    sha512Init(sha);
    sha512Update(sha, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    uint8_t digest[64];
    sha512Final(sha, digest);

    // The key shows in what it does: the first block of zeros under CBC is AES(key, IV).
    uint8_t a[16] = {}, b[16] = {};
    cipher.encryptBlock(a);
    AesContext ctx{};
    aesSetKey(ctx, kAesModeCbc, 32, digest, digest + 32);
    aesEncrypt(ctx, b);
    EXPECT_EQ(hexOf(a, 16), hexOf(b, 16));
}

TEST(Utf8CodePage, TheMeterRatesTheUtf8Bytes) {
    // Eight different lower-case letters score 28 whatever the code page; a non-ASCII one adds
    // the class of the bytes above 0x7F.
    EXPECT_EQ(checkWidePassword(u"abcdefgh", kDialogPasswordPolicy), 28);
    EXPECT_GT(checkWidePassword(u"abcdefg\u00e9", kDialogPasswordPolicy), 28);
}

}  // namespace
