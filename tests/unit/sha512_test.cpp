// SHA-512 against the FIPS 180-2 examples and at the padding boundary; the buffer path against
// the byte path for every way of splitting a message, and what a compression leaves behind.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "common/crypto/sha512.h"
#include "tests/support/hex.h"

namespace {

std::string digestOf(const std::string& message) {
    Sha512Context ctx;
    sha512Init(ctx);
    for (unsigned char c : message) sha512Update(ctx, c);
    uint8_t out[64];
    sha512Final(ctx, out);
    return toHex(out, 64);
}

TEST(Sha512, PublishedExamples) {
    EXPECT_EQ(digestOf("abc"),
              "ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a"
              "2192992a274fc1a836ba3c23a3feebbd454d4423643ce80e2a9ac94fa54ca49f");
    EXPECT_EQ(digestOf("abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmno"
                       "ijklmnopjklmnopqklmnopqrlmnopqrsmnopqrstnopqrstu"),
              "8e959b75dae313da8cf4f72814fc143f8f7779c6eb9f7fa17299aeadb6889018"
              "501d289e4900f7e4331b99dec4b5433ac7d329eeb6dd26545e96e55b874be909");
    EXPECT_EQ(digestOf(""),
              "cf83e1357eefb8bdf1542850d66d8007d620e4050b5715dc83f4a921d36ce9ce"
              "47d0d13c5d85f2b0ff8318d2877eec2f63b931bd47417a81a538327af927da3e");
}

TEST(Sha512, PaddingFitsAt111BytesAndSpillsAt112) {
    EXPECT_EQ(digestOf(std::string(111, 'a')),
              "fa9121c7b32b9e01733d034cfc78cbf67f926c7ed83e82200ef86818196921760"
              "b4beff48404df811b953828274461673c68d04e297b0eb7b2b4d60fc6b566a2");
    EXPECT_EQ(digestOf(std::string(112, 'a')),
              "c01d080efd492776a1c43bd23dd99d0a2e626d481e16782e75d54c2503b5dc32"
              "bd05f0f1ba33e568b88fd2d970929b719ecbb152f58f130a407c8830604b70ca");
}

std::string digestInPieces(const std::vector<uint8_t>& message,
                           const std::vector<std::size_t>& cuts) {
    Sha512Context ctx;
    sha512Init(ctx);
    std::size_t at = 0;
    for (std::size_t cut : cuts) {
        sha512Update(ctx, message.data() + at, cut - at);
        at = cut;
    }
    sha512Update(ctx, message.data() + at, message.size() - at);
    uint8_t out[64];
    sha512Final(ctx, out);
    return toHex(out, 64);
}

TEST(Sha512, BufferPathEqualsBytePathHoweverSplit) {
    std::vector<uint8_t> message(1000);
    for (std::size_t i = 0; i < message.size(); ++i)
        message[i] = static_cast<uint8_t>(i * 131 + 17);
    const std::string bytewise = digestOf(std::string(message.begin(), message.end()));
    // One call; cuts just before, at and after block boundaries; single bytes among blocks.
    const std::vector<std::vector<std::size_t>> splits = {{},
                                                          {127},
                                                          {128},
                                                          {129},
                                                          {1, 2, 3},
                                                          {5, 133, 261, 262, 900},
                                                          {256, 384, 512, 999},
                                                          {111, 112, 640, 641, 767, 768}};
    for (const auto& cuts : splits) EXPECT_EQ(digestInPieces(message, cuts), bytewise);
    // Every length up to a few blocks, which crosses the padding cases in both paths.
    for (std::size_t n = 0; n <= 3 * 128 + 1; ++n) {
        std::vector<uint8_t> prefix(message.begin(), message.begin() + n);
        ASSERT_EQ(digestInPieces(prefix, {}), digestOf(std::string(prefix.begin(), prefix.end())))
            << "length " << n;
    }
}

TEST(Sha512, BufferPathCarriesTheBitCountAcrossWords) {
    Sha512Context ctx;
    sha512Init(ctx);
    ctx.bitCount[0] = 0xFFFFFC00u;  // one block short of 2^64 bits, on a block boundary
    ctx.bitCount[1] = 0xFFFFFFFFu;
    const std::vector<uint8_t> blocks(256, 1);
    sha512Update(ctx, blocks.data(), blocks.size());
    EXPECT_EQ(ctx.bitCount[0], 1024u);
    EXPECT_EQ(ctx.bitCount[1], 0u);
    EXPECT_EQ(ctx.bitCount[2], 1u);
    EXPECT_EQ(ctx.bitCount[3], 0u);
}

TEST(Sha512, NoScheduleWordsOutliveACompression) {
    // Whole blocks through the buffer path, and a block gathered byte by byte: afterwards the
    // context holds the chaining value and the count, and no word derived from the message.
    const std::vector<uint8_t> message(3 * 128, 0xA5);
    Sha512Context bulk, bytewise;
    sha512Init(bulk);
    sha512Init(bytewise);
    sha512Update(bulk, message.data(), message.size());
    for (int i = 0; i < 128; ++i) sha512Update(bytewise, message[i]);
    for (int i = 0; i < 80; ++i) {
        ASSERT_EQ(bulk.w[i], 0u) << "buffer path, word " << i;
        ASSERT_EQ(bytewise.w[i], 0u) << "byte path, word " << i;
    }
}

TEST(Sha512, MillionAs) {
    EXPECT_EQ(digestOf(std::string(1000000, 'a')),
              "e718483d0ce769644e2e42c7bc15b4638e1f98b13b2044285632a803afa973eb"
              "de0ff244877ea60a4cb0432ce577c31beb009c5c2c49aa2e4eadb217ad8cc09b");
}

TEST(Sha512, FinalLeavesAFreshContext) {
    Sha512Context used, fresh;
    sha512Init(fresh);
    sha512Init(used);
    const std::string m(300, 'z');
    sha512Update(used, reinterpret_cast<const uint8_t*>(m.data()), m.size());
    uint8_t out[64];
    sha512Final(used, out);
    EXPECT_EQ(0, std::memcmp(&used, &fresh, sizeof used));
    // And it digests again from scratch.
    sha512Update(used, reinterpret_cast<const uint8_t*>("abc"), 3);
    sha512Final(used, out);
    EXPECT_EQ(toHex(out, 64), digestOf("abc"));
}

TEST(Sha512, BitCountCarriesAcrossWords) {
    Sha512Context ctx;
    sha512Init(ctx);
    ctx.bitCount[0] = 0xFFFFFFF8u;
    ctx.bitCount[1] = 0xFFFFFFFFu;
    sha512Update(ctx, 0);
    EXPECT_EQ(ctx.bitCount[0], 0u);
    EXPECT_EQ(ctx.bitCount[1], 0u);
    EXPECT_EQ(ctx.bitCount[2], 1u);
    EXPECT_EQ(ctx.bitCount[3], 0u);
}

}  // namespace
