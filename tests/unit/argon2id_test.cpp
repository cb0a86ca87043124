// Argon2id against the RFC 9106 example and known answers of an independent implementation, with
// the lanes on threads and one by one; the bounds a reader accepts, refused before any memory is
// taken; the memory wiped before it is released, and running out of it reported.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "common/crypto/argon2id.h"
#include "tests/support/hex.h"
#include "tests/support/release_watch.h"

namespace {

std::vector<uint8_t> bytesOf(const std::string& s) {
    return std::vector<uint8_t>(s.begin(), s.end());
}

const Argon2Lanes kBothModes[] = {Argon2Lanes::kOnThreads, Argon2Lanes::kOneByOne};

const char* modeName(Argon2Lanes mode) {
    return mode == Argon2Lanes::kOnThreads ? "on threads" : "one by one";
}

std::string tagOf(const std::vector<uint8_t>& password, const std::vector<uint8_t>& salt,
                  const Argon2Cost& cost, std::size_t tagLength, Argon2Lanes mode) {
    Argon2Inputs in;
    in.password = password.data();
    in.passwordLength = password.size();
    in.salt = salt.data();
    in.saltLength = salt.size();
    std::vector<uint8_t> tag(tagLength);
    EXPECT_EQ(argon2id(in, cost, tag.data(), tag.size(), mode), kArgon2Ok);
    return toHex(tag);
}

TEST(Argon2id, Rfc9106Example) {
    // Password 32 x 01, salt 16 x 02, secret 8 x 03, associated data 12 x 04; m=32, t=3, p=4.
    const std::vector<uint8_t> password(32, 1), salt(16, 2), secret(8, 3), data(12, 4);
    Argon2Inputs in;
    in.password = password.data();
    in.passwordLength = password.size();
    in.salt = salt.data();
    in.saltLength = salt.size();
    in.secret = secret.data();
    in.secretLength = secret.size();
    in.associatedData = data.data();
    in.associatedDataLength = data.size();
    for (Argon2Lanes mode : kBothModes) {
        uint8_t tag[32];
        ASSERT_EQ(argon2id(in, {32, 3, 4}, tag, sizeof tag, mode), kArgon2Ok);
        EXPECT_EQ(toHex(tag, sizeof tag),
                  "0d640df58d78766c08c037a34a8b53c9d01ef0452d75b65eb52520e96b01e659")
            << modeName(mode);
    }
}

TEST(Argon2id, KnownAnswersOfAnIndependentImplementation) {
    // Computed with Debian's libargon2 (argon2id_hash_raw), salt A0 A1 A2 ... cut to length.
    // Between them: the smallest memory and tag, a memory that is not a multiple of 4p (so the
    // lanes are laid out over less than asked for), odd lane counts, tags just past one BLAKE2b
    // digest and on and past the boundaries of H' (96, 97), and a non-ASCII password.
    struct Case {
        std::string password;
        std::size_t saltLength;
        Argon2Cost cost;
        const char* tag;
    };
    const Case cases[] = {
        {"", 8, {8, 1, 1}, "5de0297f"},
        {"password",
         16,
         {100, 2, 3},
         "9d298ad7e6be77e9ce16a6cf3f753538df5b4d673d55084a66a5aef5a7992551"
         "c5083a5bc9719204520d8b1e69b59bf75c11f0f98640509855cfbf133e2d09eef9"},
        {"x",
         32,
         {257, 4, 5},
         "f0e861258950f51731ef7b53864f05183c2a1c0539081bc8510dd9f937b3df51"
         "df32b1e24f0fc2330eb114bffc74c801529a080f197ac6a47f6c27ecc4ba1340"
         "c7f15bdcc52e88e304f9c6f55105a9446983a043782e68e9f76f45bd60e9da1c"
         "852acf7c6180ce59787cb1a177eccfac93f06d5e7f22b701759207048cb94bd2"
         "698832daa32f463a6cd70ca0f1c29d69d5afa4416e9e6641b8454a8b70507d0e"},
        {"p\xc3\xa4ssw\xc3\xb6rd",
         16,
         {64, 1, 2},
         "fcb3b7a2ed291f8ec3d2845345f5410b9a352dd213cc4e427fc21707ab95f5e4"
         "9d29703b5fab4632a646866b21126385465642dc2f3e22086f02beaa12f00f15"
         "da795802bca1959e6d06ef7aea3731cdc47d75f887246db72317b4109ef226b3"},
        {"p\xc3\xa4ssw\xc3\xb6rd",
         16,
         {64, 1, 2},
         "a44f9637946d01685fbd8f46db6a067e6fc252704cd86cba467b75d40be976f4"
         "d185d8a9bb8edc068038a449a977cdb9ef8fec439182f72ff88af1e04c164f48"
         "e7ba592d7831b6395eab842bd04ce6f85f1e0565965130993a21f4e272d9de40bd"},
    };
    std::vector<uint8_t> salt(32);
    for (std::size_t i = 0; i < salt.size(); ++i) salt[i] = static_cast<uint8_t>(0xA0 + i);
    for (const Case& c : cases) {
        const std::vector<uint8_t> s(salt.begin(), salt.begin() + c.saltLength);
        const std::size_t tagLength = std::strlen(c.tag) / 2;
        for (Argon2Lanes mode : kBothModes) {
            EXPECT_EQ(tagOf(bytesOf(c.password), s, c.cost, tagLength, mode), c.tag)
                << "m=" << c.cost.memoryKiB << " t=" << c.cost.passes << " p=" << c.cost.lanes
                << " T=" << tagLength << ", " << modeName(mode);
        }
    }
}

TEST(Argon2id, DerivesTheArchiveKeyMaterialInOneCall) {
    // 112 bytes (AES key, IV, integrity key) from a UTF-8 password and a 16-byte salt, the
    // caller's case; libargon2's answer as above.
    const std::vector<uint8_t> password = bytesOf("correct horse battery staple");
    std::vector<uint8_t> salt(16);
    for (std::size_t i = 0; i < salt.size(); ++i) salt[i] = static_cast<uint8_t>(0xA0 + i);
    uint8_t out[112];
    ASSERT_EQ(argon2idDerive(password.data(), password.size(), salt.data(), salt.size(),
                             {1024, 3, 4}, out, sizeof out),
              kArgon2Ok);
    EXPECT_EQ(toHex(out, sizeof out),
              "d32dc0be5317f2a608be0e41e6ab8d6b5eff3371656b88624ea706af0187b29b"
              "c6fb52ba38827947e7b06d9814e1256b5574ce8eafa4848587c031035771e496"
              "5dfeeae837e8d1ca33de1d207b258a6baf7b0628e73f6cb080ecac881b80ae90"
              "5aac19d57b53072593ad5f13e885b5d7");
}

TEST(Argon2id, CostBoundsAreTheReadersLimits) {
    EXPECT_TRUE(argon2CostAcceptable({8, 1, 1}));
    EXPECT_TRUE(argon2CostAcceptable({128, 16, 16}));
    EXPECT_TRUE(argon2CostAcceptable({kArgon2MaxMemoryKiB, 1, 1}));
    EXPECT_TRUE(argon2CostAcceptable({65536, 3, 4}));

    EXPECT_FALSE(argon2CostAcceptable({7, 1, 1}));                        // under 8 KiB per lane
    EXPECT_FALSE(argon2CostAcceptable({127, 1, 16}));                     // under 8p KiB
    EXPECT_FALSE(argon2CostAcceptable({kArgon2MaxMemoryKiB + 1, 1, 1}));  // over 1 GiB
    EXPECT_FALSE(argon2CostAcceptable({0xFFFFFFFFu, 1, 1}));
    EXPECT_FALSE(argon2CostAcceptable({1024, 0, 1}));
    EXPECT_FALSE(argon2CostAcceptable({1024, 17, 1}));
    EXPECT_FALSE(argon2CostAcceptable({1024, 1, 0}));
    EXPECT_FALSE(argon2CostAcceptable({1024, 1, 17}));
}

TEST(Argon2id, WhatIsOutOfBoundsIsRefusedBeforeAnyMemoryIsTaken) {
    const std::vector<uint8_t> password = bytesOf("pw"), salt(16, 9);
    Argon2Inputs in;
    in.password = password.data();
    in.passwordLength = password.size();
    in.salt = salt.data();
    in.saltLength = salt.size();

    struct Refused {
        Argon2Cost cost;
        std::size_t tagLength;
        std::size_t saltLength;
        const char* what;
    };
    const Refused refused[] = {
        {{kArgon2MaxMemoryKiB + 4, 1, 1}, 32, 16, "memory over the bound"},
        {{0xFFFFFFFFu, 16, 16}, 32, 16, "every field at its largest"},
        {{64, kArgon2MaxPasses + 1, 1}, 32, 16, "too many passes"},
        {{64, 0, 1}, 32, 16, "no pass"},
        {{1024, 1, kArgon2MaxLanes + 1}, 32, 16, "too many lanes"},
        {{1024, 1, 0}, 32, 16, "no lane"},
        {{31, 1, 4}, 32, 16, "less than 8 KiB per lane"},
        {{64, 1, 1}, kArgon2MinTagBytes - 1, 16, "tag too short"},
        {{64, 1, 1}, kArgon2MaxTagBytes + 1, 16, "tag too long"},
        {{64, 1, 1}, 32, kArgon2MinSaltBytes - 1, "salt too short"},
    };
    std::vector<uint8_t> tag(kArgon2MaxTagBytes + 1);
    for (const Refused& r : refused) {
        in.saltLength = r.saltLength;
        std::memset(tag.data(), 0xEE, tag.size());
        const std::size_t before = release_watch::allocationCount();
        EXPECT_EQ(argon2id(in, r.cost, tag.data(), r.tagLength), kArgon2BadParameters) << r.what;
        EXPECT_EQ(release_watch::allocationCount(), before) << r.what;
        for (std::size_t i = 0; i < r.tagLength; ++i) ASSERT_EQ(tag[i], 0) << r.what;
    }

    // Strings that claim bytes but have none.
    in.saltLength = salt.size();
    in.password = nullptr;
    EXPECT_EQ(argon2id(in, {64, 1, 1}, tag.data(), 32), kArgon2BadParameters);
    in.password = password.data();
    in.secretLength = 1;
    EXPECT_EQ(argon2id(in, {64, 1, 1}, tag.data(), 32), kArgon2BadParameters);
    in.secretLength = 0;
    in.associatedDataLength = 1;
    EXPECT_EQ(argon2id(in, {64, 1, 1}, tag.data(), 32), kArgon2BadParameters);
    in.associatedDataLength = 0;
    in.salt = nullptr;
    EXPECT_EQ(argon2id(in, {64, 1, 1}, tag.data(), 32), kArgon2BadParameters);
    EXPECT_EQ(argon2id(in, {64, 1, 1}, nullptr, 32), kArgon2BadParameters);
}

TEST(Argon2id, TheMemoryIsWipedBeforeItIsReleased) {
    // 1 MiB asked, laid out as 1008 blocks over 12 lanes (m' = 4p * floor(m / 4p)); the
    // derivation's memory is its only allocation anywhere near that size. What the watch saw is
    // read before anything else is allocated: the heap may hand the freed block out again.
    const std::vector<uint8_t> password = bytesOf("secret"), salt(16, 3);
    Argon2Inputs in;
    in.password = password.data();
    in.passwordLength = password.size();
    in.salt = salt.data();
    in.saltLength = salt.size();
    uint8_t tag[32];
    for (Argon2Lanes mode : kBothModes) {
        release_watch::reset();
        release_watch::watchNextAllocation(512 * 1024);
        const Argon2Result result = argon2id(in, {1024, 2, 12}, tag, sizeof tag, mode);
        const void* memory = release_watch::watchedAllocation();
        const bool released = release_watch::released(memory);
        const bool zero = release_watch::wasZero(memory);
        release_watch::reset();
        ASSERT_EQ(result, kArgon2Ok) << modeName(mode);
        ASSERT_NE(memory, nullptr) << modeName(mode);
        EXPECT_TRUE(released) << modeName(mode);
        EXPECT_TRUE(zero) << modeName(mode);
    }
}

TEST(Argon2id, NoMemoryIsReportedAndLeavesNoTag) {
    const std::vector<uint8_t> password = bytesOf("secret"), salt(16, 3);
    Argon2Inputs in;
    in.password = password.data();
    in.passwordLength = password.size();
    in.salt = salt.data();
    in.saltLength = salt.size();
    uint8_t tag[32];
    std::memset(tag, 0xEE, sizeof tag);
    release_watch::failAllocationsFrom(64 * 1024);
    const Argon2Result result = argon2id(in, {65536, 1, 1}, tag, sizeof tag);
    release_watch::reset();
    EXPECT_EQ(result, kArgon2OutOfMemory);
    for (uint8_t b : tag) ASSERT_EQ(b, 0);
}

TEST(Argon2id, ThreadsGiveTheSameTagAsOneLaneAfterAnother) {
    // Every lane count up to the bound, memories that round down differently, one to three
    // passes: the lanes of a slice must not depend on the order they run in.
    const std::vector<uint8_t> password = bytesOf("same either way"), salt(12, 0x5C);
    for (uint32_t lanes = 1; lanes <= kArgon2MaxLanes; ++lanes) {
        const Argon2Cost cost = {8 * lanes + 13 * lanes % 7, 1 + lanes % 3, lanes};
        EXPECT_EQ(tagOf(password, salt, cost, 48, Argon2Lanes::kOnThreads),
                  tagOf(password, salt, cost, 48, Argon2Lanes::kOneByOne))
            << "p=" << lanes;
    }
}

}  // namespace
