// AES and CBC against the published vectors, on every implementation this processor has, and the
// implementations against each other.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "common/crypto/aes_context.h"
#include "common/crypto/aes_engine.h"
#include "tests/support/hex.h"

namespace {

std::vector<const AesEngine*> engines() {
    std::vector<const AesEngine*> list{&aesTableEngine()};
    if (aesHardwareEngine() != nullptr) list.push_back(aesHardwareEngine());
    return list;
}

class AesEngines : public ::testing::TestWithParam<const AesEngine*> {};

INSTANTIATE_TEST_SUITE_P(All, AesEngines, ::testing::ValuesIn(engines()), [](const auto& info) {
    return std::string(info.param->name[0] == 't' ? "table" : "hardware");
});

struct BlockVector {
    const char* key;
    const char* cipher;
};

// FIPS-197 appendix C: plaintext 00112233..ff under keys 000102.. of 128, 192 and 256 bits.
const BlockVector kFips197[] = {
    {"000102030405060708090a0b0c0d0e0f", "69c4e0d86a7b0430d8cdb78070b4c55a"},
    {"000102030405060708090a0b0c0d0e0f1011121314151617", "dda97ca4864cdfe06eaf70a0ec0d7191"},
    {"000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f",
     "8ea2b7ca516745bfeafc49904b496089"},
};

TEST_P(AesEngines, Fips197ExamplesBothWays) {
    for (const BlockVector& v : kFips197) {
        auto key = fromHex(v.key);
        AesContext ctx;
        ASSERT_EQ(aesSetKey(ctx, kAesModeEcb, key.size(), key.data(), nullptr), 1);
        auto block = fromHex("00112233445566778899aabbccddeeff");
        GetParam()->encrypt(ctx, block.data(), 1);
        EXPECT_EQ(toHex(block), v.cipher) << key.size() * 8 << "-bit key";
        GetParam()->decrypt(ctx, block.data(), 1);
        EXPECT_EQ(toHex(block), "00112233445566778899aabbccddeeff");
    }
}

TEST_P(AesEngines, FirstCbcBlockWithZeroIvIsTheAes256Example) {
    auto key = fromHex(kFips197[2].key);
    const uint8_t zeroIv[16] = {};
    AesContext ctx;
    ASSERT_EQ(aesSetKey(ctx, kAesModeCbc, 32, key.data(), zeroIv), 1);
    EXPECT_EQ(ctx.keyWords, 8);
    EXPECT_EQ(ctx.rounds, 14);
    auto block = fromHex("00112233445566778899aabbccddeeff");
    GetParam()->encrypt(ctx, block.data(), 1);
    EXPECT_EQ(toHex(block), kFips197[2].cipher);
    EXPECT_EQ(toHex(ctx.chain, 16), kFips197[2].cipher) << "the chain holds the last ciphertext";
}

// NIST SP 800-38A F.2.5 and F.2.6, CBC-AES256.
const char* kCbcKey = "603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4";
const char* kCbcIv = "000102030405060708090a0b0c0d0e0f";
const char* kCbcPlain[4] = {"6bc1bee22e409f96e93d7e117393172a", "ae2d8a571e03ac9c9eb76fac45af8e51",
                            "30c81c46a35ce411e5fbc1191a0a52ef", "f69f2445df4f9b17ad2b417be66c3710"};
const char* kCbcCipher[4] = {"f58c4c04d6e5f1ba779eabfb5f7bfbd6", "9cfc4e967edb808d679f777bc6702c7d",
                             "39f23369a9d9bacfa530e26304231461",
                             "b2eb05e2c39be9fcda6c19078c6a9d1b"};

AesContext cbcContext() {
    auto key = fromHex(kCbcKey);
    auto iv = fromHex(kCbcIv);
    AesContext ctx;
    aesSetKey(ctx, kAesModeCbc, 32, key.data(), iv.data());
    return ctx;
}

TEST_P(AesEngines, Sp80038aCbcBlockByBlock) {
    AesContext enc = cbcContext(), dec = cbcContext();
    for (int i = 0; i < 4; ++i) {
        auto block = fromHex(kCbcPlain[i]);
        GetParam()->encrypt(enc, block.data(), 1);
        EXPECT_EQ(toHex(block), kCbcCipher[i]) << "encrypt block " << i + 1;
        GetParam()->decrypt(dec, block.data(), 1);
        EXPECT_EQ(toHex(block), kCbcPlain[i]) << "decrypt block " << i + 1;
    }
}

TEST_P(AesEngines, Sp80038aCbcInOneCall) {
    std::string plain, cipher;
    for (int i = 0; i < 4; ++i) {
        plain += kCbcPlain[i];
        cipher += kCbcCipher[i];
    }
    auto data = fromHex(plain);
    AesContext ctx = cbcContext();
    GetParam()->encrypt(ctx, data.data(), 4);
    EXPECT_EQ(toHex(data), cipher);
    ctx = cbcContext();
    GetParam()->decrypt(ctx, data.data(), 4);
    EXPECT_EQ(toHex(data), plain);
}

TEST(Aes, PublicBlockRoutinesFollowTheVectors) {
    AesContext enc = cbcContext(), dec = cbcContext();
    for (int i = 0; i < 4; ++i) {
        auto block = fromHex(kCbcPlain[i]);
        EXPECT_EQ(aesEncrypt(enc, block.data()), 0);
        EXPECT_EQ(toHex(block), kCbcCipher[i]);
        EXPECT_EQ(aesDecrypt(dec, block.data()), 0);
        EXPECT_EQ(toHex(block), kCbcPlain[i]);
    }
}

TEST(Aes, RejectsKeyLengthsOtherThan128192Or256Bits) {
    uint8_t key[40] = {};
    AesContext ctx;
    for (uint32_t bad : {0u, 8u, 15u, 20u, 28u, 36u, 40u}) {
        EXPECT_EQ(aesSetKey(ctx, kAesModeCbc, bad, key, nullptr), 0) << bad;
    }
    EXPECT_EQ(aesSetKey(ctx, kAesModeCbc, 17, key, nullptr), 1) << "length is taken in words";
}

TEST(Aes, ContextIsAFlatCopyableRecord) {
    static_assert(std::is_trivially_copyable_v<AesContext>);
    AesContext a = cbcContext();
    AesContext b;
    std::memcpy(&b, &a, sizeof a);
    auto x = fromHex(kCbcPlain[0]), y = x;
    aesEncrypt(a, x.data());
    aesEncrypt(b, y.data());
    EXPECT_EQ(x, y);
}

// Random keys, IVs and data; every implementation must agree with the table cipher, block by
// block and in bulk, both directions, and across a chain taken over from another implementation.
TEST(AesImplementations, AgreeOnRandomKeysAndData) {
    if (aesHardwareEngine() == nullptr) GTEST_SKIP() << "no AES instructions on this processor";
    const AesEngine& table = aesTableEngine();
    const AesEngine& hw = *aesHardwareEngine();
    std::mt19937 rng(20261209);
    auto fill = [&](std::vector<uint8_t>& v) {
        for (auto& b : v) b = static_cast<uint8_t>(rng());
    };
    for (int round = 0; round < 40; ++round) {
        const uint32_t keyLength = (round % 3 == 0) ? 16 : (round % 3 == 1 ? 24 : 32);
        std::vector<uint8_t> key(keyLength), iv(16), plain(16 * (1 + rng() % 67));
        fill(key);
        fill(iv);
        fill(plain);
        const std::size_t blocks = plain.size() / 16;
        for (uint32_t mode : {uint32_t{kAesModeCbc}, uint32_t{kAesModeEcb}}) {
            AesContext base;
            ASSERT_EQ(aesSetKey(base, mode, keyLength, key.data(), iv.data()), 1);

            std::vector<uint8_t> byTable = plain, byHw = plain, mixed = plain;
            AesContext t = base, h = base, m = base;
            for (std::size_t i = 0; i < blocks; ++i) table.encrypt(t, byTable.data() + 16 * i, 1);
            hw.encrypt(h, byHw.data(), blocks);
            // Half the run on one implementation, the rest on the other.
            const std::size_t half = blocks / 2;
            hw.encrypt(m, mixed.data(), half);
            table.encrypt(m, mixed.data() + 16 * half, blocks - half);
            ASSERT_EQ(byTable, byHw) << "encrypt, round " << round << " mode " << mode;
            ASSERT_EQ(byTable, mixed);
            ASSERT_EQ(0, std::memcmp(t.chain, h.chain, 16));

            // Decrypt in odd-sized pieces so the pipelined lanes meet every remainder.
            AesContext dt = base, dh = base;
            std::vector<uint8_t> back = byHw;
            for (std::size_t i = 0; i < blocks; ++i) table.decrypt(dt, byTable.data() + 16 * i, 1);
            std::size_t done = 0, piece = 1;
            while (done < blocks) {
                const std::size_t n = std::min(piece, blocks - done);
                hw.decrypt(dh, back.data() + 16 * done, n);
                done += n;
                piece = piece * 3 % 23 + 1;
            }
            ASSERT_EQ(byTable, plain) << "table decrypt, round " << round;
            ASSERT_EQ(back, plain) << "hardware decrypt, round " << round;
            ASSERT_EQ(0, std::memcmp(dt.chain, dh.chain, 16));
        }
    }
}

TEST(AesImplementations, BulkEntryPointsEqualBlockByBlock) {
    auto key = fromHex(kCbcKey);
    auto iv = fromHex(kCbcIv);
    std::vector<uint8_t> data(16 * 1000);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7 + 3);
    for (const AesEngine* e : engines()) {
        AesContext base;
        aesSetKey(base, kAesModeCbc, 32, key.data(), iv.data());
        AesContext one = base, bulk = base;
        std::vector<uint8_t> a = data, b = data;
        for (std::size_t i = 0; i < 1000; ++i) aesEncrypt(one, a.data() + 16 * i);
        e->encrypt(bulk, b.data(), 1000);
        ASSERT_EQ(a, b) << e->name;
        one = base;
        bulk = base;
        for (std::size_t i = 0; i < 1000; ++i) aesDecrypt(one, a.data() + 16 * i);
        e->decrypt(bulk, b.data(), 1000);
        ASSERT_EQ(a, data) << e->name;
        ASSERT_EQ(b, data) << e->name;
    }
}

}  // namespace
