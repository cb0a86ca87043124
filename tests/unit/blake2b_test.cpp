// BLAKE2b against the RFC 7693 example and keyed known answers, at every digest and key length
// the parameter block encodes, streamed however a message is split, and wiped when done.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "common/crypto/blake2b.h"
#include "tests/support/hex.h"

namespace {

std::vector<uint8_t> bytesOf(const std::string& s) {
    return std::vector<uint8_t>(s.begin(), s.end());
}

// 00 01 02 ..., the message and key pattern of the BLAKE2 authors' keyed known-answer tests.
std::vector<uint8_t> counting(std::size_t n) {
    std::vector<uint8_t> v(n);
    for (std::size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(i);
    return v;
}

std::string digestOf(const std::vector<uint8_t>& message, std::size_t length = 64,
                     const std::vector<uint8_t>& key = {}) {
    std::vector<uint8_t> out(length);
    EXPECT_TRUE(blake2b(out.data(), length, message.data(), message.size(),
                        key.empty() ? nullptr : key.data(), key.size()));
    return toHex(out);
}

TEST(Blake2b, Rfc7693Example) {
    EXPECT_EQ(digestOf(bytesOf("abc")),
              "ba80a53f981c4d0d6a2797b69f12f6e94c212f14685ac4b74b12bb6fdbffa2d1"
              "7d87c5392aab792dc252d5de4533cc9518d38aa8dbf1925ab92386edd4009923");
}

TEST(Blake2b, KeyedKnownAnswersAroundTheBlockBoundaries) {
    // Key 00..3f, message 00..(n-1), 64-byte digest: computed with Python's hashlib.blake2b,
    // an implementation independent of this one. A keyed empty message is the key block alone,
    // compressed as the last block; 127/128/129 bytes put the last block just short of, exactly
    // on and just past a boundary after the key block.
    struct Case {
        std::size_t length;
        const char* digest;
    };
    const Case cases[] = {
        {0,
         "10ebb67700b1868efb4417987acf4690ae9d972fb7a590c2f02871799aaa4786"
         "b5e996e8f0f4eb981fc214b005f42d2ff4233499391653df7aefcbc13fc51568"},
        {1,
         "961f6dd1e4dd30f63901690c512e78e4b45e4742ed197c3c5e45c549fd25f2e4"
         "187b0bc9fe30492b16b0d0bc4ef9b0f34c7003fac09a5ef1532e69430234cebd"},
        {63,
         "bd965bf31e87d70327536f2a341cebc4768eca275fa05ef98f7f1b71a0351298"
         "de006fba73fe6733ed01d75801b4a928e54231b38e38c562b2e33ea1284992fa"},
        {127,
         "76d2d819c92bce55fa8e092ab1bf9b9eab237a25267986cacf2b8ee14d214d73"
         "0dc9a5aa2d7b596e86a1fd8fa0804c77402d2fcd45083688b218b1cdfa0dcbcb"},
        {128,
         "72065ee4dd91c2d8509fa1fc28a37c7fc9fa7d5b3f8ad3d0d7a25626b57b1b44"
         "788d4caf806290425f9890a3a2a35a905ab4b37acfd0da6e4517b2525c9651e4"},
        {129,
         "64475dfe7600d7171bea0b394e27c9b00d8e74dd1e416a79473682ad3dfdbb70"
         "6631558055cfc8a40e07bd015a4540dcdea15883cbbf31412df1de1cd4152b91"},
        {255,
         "142709d62e28fcccd0af97fad0f8465b971e82201dc51070faa0372aa43e9248"
         "4be1c1e73ba10906d5d1853db6a4106e0a7bf9800d373d6dee2d46d62ef2a461"},
    };
    const std::vector<uint8_t> key = counting(64);
    for (const Case& c : cases) {
        EXPECT_EQ(digestOf(counting(c.length), 64, key), c.digest) << "length " << c.length;
    }
}

TEST(Blake2b, DigestAndKeyLengthsEnterTheParameterBlock) {
    // Python's hashlib.blake2b again: a short digest is not a cut longer one.
    EXPECT_EQ(digestOf(bytesOf("abc"), 20), "384264f676f39536840523f284921cdc68b6846b");
    EXPECT_EQ(digestOf(bytesOf("abc"), 1), "6b");
    EXPECT_EQ(digestOf(bytesOf("abc"), 32, {0x01}),
              "3cd0fce8793ea08ce5da55ad90cd85c7a971618d2b40f424a7019b91cf9e4d4f");
    // Unkeyed: nothing, and a message of exactly one block, compressed once with the final flag.
    EXPECT_EQ(digestOf({}),
              "786a02f742015903c6c6fd852552d272912f4740e15847618a86e217f71f5419"
              "d25e1031afee585313896444934eb04b903a685b1448b755d56f701afe9be2ce");
    EXPECT_EQ(digestOf(std::vector<uint8_t>(128, 0)),
              "865939e120e6805438478841afb739ae4250cf372653078a065cdcfffca4caf7"
              "98e6d462b65d658fc165782640eded70963449ae1500fb0f24981d7727e22c41");
}

TEST(Blake2b, StreamedInPiecesEqualsOneCall) {
    std::vector<uint8_t> message(1000);
    for (std::size_t i = 0; i < message.size(); ++i)
        message[i] = static_cast<uint8_t>(i * 131 + 17);
    // Python's hashlib.blake2b of the same 1000 bytes.
    const std::string expected =
        "db3e1c6167fb32ea136306a291f2f4a39bdf6f2dcbb0bf043e89f6dae84b972d"
        "191fed6e48a16cb5737b16d3557b57060dfc5485055d582a961cb3c2dfeb7150";
    ASSERT_EQ(digestOf(message), expected);
    const std::vector<std::vector<std::size_t>> splits = {
        {0},       {1},        {127},         {128},           {129},
        {1, 2, 3}, {128, 256}, {5, 133, 261}, {255, 256, 257}, {999}};
    for (const auto& cuts : splits) {
        Blake2b ctx;
        ASSERT_TRUE(ctx.init(64));
        std::size_t at = 0;
        for (std::size_t cut : cuts) {
            ctx.update(message.data() + at, cut - at);
            at = cut;
        }
        ctx.update(message.data() + at, message.size() - at);
        uint8_t out[64];
        ctx.finish(out);
        EXPECT_EQ(toHex(out, 64), expected) << "first cut " << cuts[0];
    }
    // Byte by byte, keyed, against the keyed answer above.
    const std::vector<uint8_t> key = counting(64), pattern = counting(129);
    Blake2b ctx;
    ASSERT_TRUE(ctx.init(64, key.data(), key.size()));
    for (uint8_t b : pattern) ctx.update(&b, 1);
    uint8_t out[64];
    ctx.finish(out);
    EXPECT_EQ(toHex(out, 64), digestOf(pattern, 64, key));
}

TEST(Blake2b, LengthsOutOfRangeAreRefusedAndNothingIsWritten) {
    const std::vector<uint8_t> key(65, 7);
    uint8_t out[66];
    std::memset(out, 0xEE, sizeof out);
    EXPECT_FALSE(blake2b(out, 0, key.data(), 3));
    EXPECT_FALSE(blake2b(out, 65, key.data(), 3));
    EXPECT_FALSE(blake2b(out, 32, key.data(), 3, key.data(), 65));
    EXPECT_FALSE(blake2b(out, 32, key.data(), 3, nullptr, 4));
    for (uint8_t b : out) ASSERT_EQ(b, 0xEE);
    // The largest of each is accepted.
    EXPECT_TRUE(blake2b(out, 64, key.data(), 3, key.data(), 64));
}

TEST(Blake2b, NothingOutlivesTheDigest) {
    // After finish, and after a refused init, the object holds no chaining value, no count and
    // none of the key or message bytes.
    const std::vector<uint8_t> key(64, 0x5A), message(300, 0xA5);
    Blake2b ctx;
    ASSERT_TRUE(ctx.init(64, key.data(), key.size()));
    ctx.update(message.data(), message.size());
    uint8_t out[64];
    ctx.finish(out);
    const std::vector<uint8_t> zeros(sizeof ctx, 0);
    EXPECT_EQ(0, std::memcmp(&ctx, zeros.data(), sizeof ctx));

    ASSERT_TRUE(ctx.init(64, key.data(), key.size()));
    ctx.update(message.data(), 10);
    EXPECT_FALSE(ctx.init(0));
    EXPECT_EQ(0, std::memcmp(&ctx, zeros.data(), sizeof ctx));
}

}  // namespace
