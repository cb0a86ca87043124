// SHA-256 against the published examples and at the padding boundary; split updates against
// one call; and the processor's compression against the portable one on the same blocks, so
// whichever this machine picks, both are known right.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "common/crypto/sha256.h"
#include "tests/support/hex.h"

namespace {

std::string digestOf(const std::string& message) {
    uint8_t out[kSha256Size];
    sha256(reinterpret_cast<const uint8_t*>(message.data()), message.size(), out);
    return toHex(out, sizeof out);
}

std::vector<uint8_t> pattern(std::size_t n) {
    std::vector<uint8_t> v(n);
    for (std::size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(i * 131 + 7 + (i >> 12));
    return v;
}

TEST(Sha256, PublishedExamples) {
    EXPECT_EQ(digestOf("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(digestOf(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(digestOf("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    EXPECT_EQ(digestOf(std::string(1000000, 'a')),
              "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

TEST(Sha256, PaddingFitsAt55BytesAndSpillsAt56) {
    EXPECT_EQ(digestOf(std::string(55, 'a')),
              "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318");
    EXPECT_EQ(digestOf(std::string(56, 'a')),
              "b35439a4ac6f0948b6d6f9e3c6af0f5f590ce20f1bde7090ef7970686ec6738a");
    EXPECT_EQ(digestOf(std::string(64, 'a')),
              "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb");
}

TEST(Sha256, AnySplitGivesTheSameDigest) {
    const std::vector<uint8_t> data = pattern(3000);
    uint8_t whole[kSha256Size];
    sha256(data.data(), data.size(), whole);
    for (std::size_t step : {1u, 3u, 63u, 64u, 65u, 127u, 1000u}) {
        Sha256Context ctx;
        sha256Init(ctx);
        for (std::size_t at = 0; at < data.size(); at += step) {
            sha256Update(ctx, data.data() + at, std::min(step, data.size() - at));
        }
        uint8_t split[kSha256Size];
        sha256Final(ctx, split);
        EXPECT_EQ(toHex(split, sizeof split), toHex(whole, sizeof whole)) << "pieces of " << step;
    }
}

TEST(Sha256, ProcessorCompressionMatchesThePortableOne) {
    const Sha256Blocks hardware = sha256HardwareBlocks();
    if (hardware == nullptr) GTEST_SKIP() << "this processor has no SHA instructions";
    const std::vector<uint8_t> data = pattern(64 * 1000);
    for (std::size_t blocks : {1u, 2u, 7u, 1000u}) {
        uint32_t a[8], b[8];
        for (int i = 0; i < 8; ++i) a[i] = b[i] = 0x01234567u * (i + 1);
        sha256PortableBlocks(a, data.data(), blocks);
        hardware(b, data.data(), blocks);
        EXPECT_EQ(0, std::memcmp(a, b, sizeof a)) << blocks << " blocks";
    }
}

TEST(Sha256, PairsGiveEachMessagesOwnDigest) {
    const std::vector<uint8_t> a = pattern(524288 + 100);
    std::vector<uint8_t> b = a;
    b[b.size() / 2] ^= 1;  // the same length, one bit apart
    for (std::size_t n : {0u, 1u, 55u, 64u, 65u, 4096u, 524288u, 524388u}) {
        uint8_t pa[kSha256Size], pb[kSha256Size], ea[kSha256Size], eb[kSha256Size];
        sha256Pair(a.data(), b.data(), n, pa, pb);
        sha256(a.data(), n, ea);
        sha256(b.data(), n, eb);
        EXPECT_EQ(toHex(pa, kSha256Size), toHex(ea, kSha256Size)) << n << " bytes, first";
        EXPECT_EQ(toHex(pb, kSha256Size), toHex(eb, kSha256Size)) << n << " bytes, second";
    }
}

}  // namespace
