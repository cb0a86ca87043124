// Argon2id against Debian's libargon2 over a few hundred random inputs and costs: passwords of
// 0 to 100 bytes, salts of 8 to 32, memories from the 8p KiB floor to 2 MiB (mostly not a
// multiple of 4p), one to four passes and lanes, tags of 4 to 100 bytes and a few up to the
// 1024-byte bound, some with a secret and associated data. The generator's seed is fixed, so a
// failure names a case that comes back on the next run. Native build only: the library is an
// oracle for the tests and is linked into nothing else.
#include <argon2.h>
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "common/crypto/argon2id.h"
#include "tests/support/hex.h"

namespace {

struct Case {
    std::vector<uint8_t> password, salt, secret, data;
    Argon2Cost cost;
    std::size_t tagLength;
};

std::vector<uint8_t> randomBytes(std::mt19937_64& random, std::size_t n) {
    std::vector<uint8_t> v(n);
    for (uint8_t& b : v) b = static_cast<uint8_t>(random());
    return v;
}

uint32_t between(std::mt19937_64& random, uint32_t low, uint32_t high) {
    return std::uniform_int_distribution<uint32_t>(low, high)(random);
}

Case randomCase(std::mt19937_64& random, int index) {
    Case c;
    c.password = randomBytes(random, between(random, 0, 100));
    c.salt = randomBytes(random, between(random, 8, 32));
    if (index % 5 == 0) {
        c.secret = randomBytes(random, between(random, 1, 32));
        c.data = randomBytes(random, between(random, 1, 32));
    }
    c.cost.lanes = between(random, 1, 4);
    c.cost.passes = between(random, 1, 4);
    c.cost.memoryKiB = between(random, 8 * c.cost.lanes, 2048);
    c.tagLength =
        index % 40 == 0 ? between(random, 101, kArgon2MaxTagBytes) : between(random, 4, 100);
    return c;
}

std::string describe(const Case& c) {
    return "password " + toHex(c.password) + ", salt " + toHex(c.salt) + ", secret " +
           toHex(c.secret) + ", data " + toHex(c.data) + ", m=" + std::to_string(c.cost.memoryKiB) +
           " t=" + std::to_string(c.cost.passes) + " p=" + std::to_string(c.cost.lanes) +
           " T=" + std::to_string(c.tagLength);
}

std::string libraryTag(Case& c) {
    std::vector<uint8_t> tag(c.tagLength);
    argon2_context ctx = {};
    ctx.out = tag.data();
    ctx.outlen = static_cast<uint32_t>(tag.size());
    ctx.pwd = c.password.data();
    ctx.pwdlen = static_cast<uint32_t>(c.password.size());
    ctx.salt = c.salt.data();
    ctx.saltlen = static_cast<uint32_t>(c.salt.size());
    ctx.secret = c.secret.data();
    ctx.secretlen = static_cast<uint32_t>(c.secret.size());
    ctx.ad = c.data.data();
    ctx.adlen = static_cast<uint32_t>(c.data.size());
    ctx.t_cost = c.cost.passes;
    ctx.m_cost = c.cost.memoryKiB;
    ctx.lanes = c.cost.lanes;
    ctx.threads = c.cost.lanes;
    ctx.version = ARGON2_VERSION_13;
    ctx.flags = ARGON2_DEFAULT_FLAGS;
    const int result = argon2_ctx(&ctx, Argon2_id);
    EXPECT_EQ(result, ARGON2_OK) << argon2_error_message(result);
    return toHex(tag);
}

std::string ourTag(const Case& c, Argon2Lanes mode) {
    Argon2Inputs in;
    in.password = c.password.data();
    in.passwordLength = c.password.size();
    in.salt = c.salt.data();
    in.saltLength = c.salt.size();
    in.secret = c.secret.data();
    in.secretLength = c.secret.size();
    in.associatedData = c.data.data();
    in.associatedDataLength = c.data.size();
    std::vector<uint8_t> tag(c.tagLength);
    EXPECT_EQ(argon2id(in, c.cost, tag.data(), tag.size(), mode), kArgon2Ok);
    return toHex(tag);
}

TEST(Argon2idOracle, AgreesWithLibargon2OnRandomInputs) {
    std::mt19937_64 random(0x417a6f6e32696455u);
    constexpr int kCases = 240;
    for (int i = 0; i < kCases; ++i) {
        Case c = randomCase(random, i);
        const std::string expected = libraryTag(c);
        ASSERT_EQ(ourTag(c, Argon2Lanes::kOnThreads), expected)
            << "case " << i << ": " << describe(c);
        // The lanes one after another on every fourth case: the same tag.
        if (i % 4 == 0) {
            ASSERT_EQ(ourTag(c, Argon2Lanes::kOneByOne), expected)
                << "case " << i << ": " << describe(c);
        }
    }
}

}  // namespace
