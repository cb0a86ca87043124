// HMAC-SHA-512 against all seven SHA-512 cases of RFC 4231, streamed in pieces, and the
// constant-time comparison the tag check uses.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "common/crypto/constant_time.h"
#include "common/crypto/hmac_sha512.h"
#include "tests/support/hex.h"

namespace {

std::vector<uint8_t> bytesOf(const std::string& s) {
    return std::vector<uint8_t>(s.begin(), s.end());
}

struct Rfc4231Case {
    std::vector<uint8_t> key;
    std::vector<uint8_t> data;
    std::string mac;  // hex; case 5 publishes only the first 128 bits
};

std::vector<Rfc4231Case> rfc4231Cases() {
    std::vector<uint8_t> key4;
    for (uint8_t b = 1; b <= 25; ++b) key4.push_back(b);
    return {
        {std::vector<uint8_t>(20, 0x0b), bytesOf("Hi There"),
         "87aa7cdea5ef619d4ff0b4241a1d6cb02379f4e2ce4ec2787ad0b30545e17cde"
         "daa833b7d6b8a702038b274eaea3f4e4be9d914eeb61f1702e696c203a126854"},
        {bytesOf("Jefe"), bytesOf("what do ya want for nothing?"),
         "164b7a7bfcf819e2e395fbe73b56e0a387bd64222e831fd610270cd7ea250554"
         "9758bf75c05a994a6d034f65f8f0e6fdcaeab1a34d4a6b4b636e070a38bce737"},
        {std::vector<uint8_t>(20, 0xaa), std::vector<uint8_t>(50, 0xdd),
         "fa73b0089d56a284efb0f0756c890be9b1b5dbdd8ee81a3655f83e33b2279d39"
         "bf3e848279a722c806b485a47e67c807b946a337bee8942674278859e13292fb"},
        {key4, std::vector<uint8_t>(50, 0xcd),
         "b0ba465637458c6990e5a8c5f61d4af7e576d97ff94b872de76f8050361ee3db"
         "a91ca5c11aa25eb4d679275cc5788063a5f19741120c4f2de2adebeb10a298dd"},
        {std::vector<uint8_t>(20, 0x0c), bytesOf("Test With Truncation"),
         "415fad6271580a531d4179bc891d87a6"},
        {std::vector<uint8_t>(131, 0xaa),
         bytesOf("Test Using Larger Than Block-Size Key - Hash Key First"),
         "80b24263c7c1a3ebb71493c1dd7be8b49b46d1f41b4aeec1121b013783f8f352"
         "6b56d037e05f2598bd0fd2215d6a1e5295e64f73f63f0aec8b915a985d786598"},
        {std::vector<uint8_t>(131, 0xaa),
         bytesOf("This is a test using a larger than block-size key and a larger than "
                 "block-size data. The key needs to be hashed before being used by the HMAC "
                 "algorithm."),
         "e37b6a775dc87dbaa4dfa9f96e5e3ffddebd71f8867289865df5a32d20cdc944"
         "b6022cac3c4982b10d5eeb55c3e4de15134676fb6de0446065c97440fa8c6a58"},
    };
}

TEST(HmacSha512, Rfc4231CasesOneToSeven) {
    int number = 0;
    for (const Rfc4231Case& c : rfc4231Cases()) {
        ++number;
        uint8_t mac[kHmacSha512Size];
        hmacSha512(c.key.data(), c.key.size(), c.data.data(), c.data.size(), mac);
        EXPECT_EQ(toHex(mac, c.mac.size() / 2), c.mac) << "RFC 4231 case " << number;
    }
}

TEST(HmacSha512, StreamedInPiecesEqualsOneCall) {
    // Case 7's long message fed in uneven pieces through one object, reused after finish.
    const Rfc4231Case c = rfc4231Cases()[6];
    HmacSha512 h;
    for (std::size_t piece : {1u, 7u, 64u, 200u}) {
        h.init(c.key.data(), c.key.size());
        for (std::size_t at = 0; at < c.data.size(); at += piece) {
            h.update(c.data.data() + at, std::min(piece, c.data.size() - at));
        }
        uint8_t mac[kHmacSha512Size];
        h.finish(mac);
        EXPECT_EQ(toHex(mac, 64), c.mac) << "pieces of " << piece;
    }
}

TEST(HmacSha512, KeyOfExactlyOneBlockIsUsedAsIsAndOneMoreIsDigested) {
    // 128 bytes is the longest key taken directly; at 129 the key becomes its digest, so a key
    // of 129 bytes and the 64-byte digest of those bytes give the same MAC.
    std::vector<uint8_t> key(129);
    for (std::size_t i = 0; i < key.size(); ++i) key[i] = static_cast<uint8_t>(i * 7 + 1);
    const std::vector<uint8_t> message = bytesOf("block boundary");
    uint8_t digest[64], viaLong[64], viaDigest[64], viaBlock[64], viaBlockPadded[64];
    Sha512Context sha;
    sha512Init(sha);
    sha512Update(sha, key.data(), key.size());
    sha512Final(sha, digest);
    hmacSha512(key.data(), 129, message.data(), message.size(), viaLong);
    hmacSha512(digest, 64, message.data(), message.size(), viaDigest);
    EXPECT_EQ(toHex(viaLong, 64), toHex(viaDigest, 64));

    // A key shorter than a block is padded with zeros: the same key with zeros appended up to
    // 128 bytes gives the same MAC.
    std::vector<uint8_t> shortKey(100, 0x42), padded(128, 0);
    std::memcpy(padded.data(), shortKey.data(), shortKey.size());
    hmacSha512(shortKey.data(), shortKey.size(), message.data(), message.size(), viaBlock);
    hmacSha512(padded.data(), padded.size(), message.data(), message.size(), viaBlockPadded);
    EXPECT_EQ(toHex(viaBlock, 64), toHex(viaBlockPadded, 64));
}

TEST(HmacSha512, FinishAndDestructionLeaveNoKeyMaterial) {
    const std::vector<uint8_t> key(40, 0x5a), message = bytesOf("secret");
    HmacSha512 h;
    h.init(key.data(), key.size());
    h.update(message.data(), message.size());
    uint8_t mac[kHmacSha512Size];
    h.finish(mac);
    const uint8_t* raw = reinterpret_cast<const uint8_t*>(&h);
    for (std::size_t i = 0; i < sizeof h; ++i) ASSERT_EQ(raw[i], 0) << "byte " << i;
}

TEST(ConstantTime, EqualOnlyWhenEveryByteMatches) {
    uint8_t a[64], b[64];
    for (int i = 0; i < 64; ++i) a[i] = b[i] = static_cast<uint8_t>(i * 3);
    EXPECT_TRUE(equalInConstantTime(a, b, 64));
    EXPECT_TRUE(equalInConstantTime(a, b, 0));
    for (int at : {0, 31, 63}) {
        for (uint8_t bit = 1; bit != 0; bit = static_cast<uint8_t>(bit << 1)) {
            b[at] ^= bit;
            EXPECT_FALSE(equalInConstantTime(a, b, 64)) << "byte " << at;
            b[at] ^= bit;
        }
    }
    // Differences that cancel in a sum or an XOR of all bytes are still differences.
    b[1] ^= 0x10;
    b[2] ^= 0x10;
    EXPECT_FALSE(equalInConstantTime(a, b, 64));
}

}  // namespace
