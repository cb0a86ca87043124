// The two block compressions, portable and vector, against each other on random blocks: the
// derivation uses whichever the processor has, and an archive written with one must open with
// the other. Both ways of calling it (first pass, later passes XORing into the old block) and
// the address stream's call whose output is its reference block.
#include <gtest/gtest.h>

#include <random>

#include "common/crypto/argon2_block.h"
#include "tests/support/hex.h"

namespace {

Argon2Block randomBlock(std::mt19937_64& random) {
    Argon2Block b;
    for (uint64_t& w : b.v) w = random();
    return b;
}

std::string hexOf(const Argon2Block& b) {
    uint8_t bytes[kArgon2BlockBytes];
    argon2StoreBlock(b, bytes);
    return toHex(bytes, sizeof bytes);
}

TEST(Argon2Block, VectorCompressionEqualsPortable) {
    const Argon2CompressFunction vector = argon2VectorCompress();
    if (vector == nullptr) GTEST_SKIP() << "no vector unit on this processor";
    std::mt19937_64 random(20240611);
    Argon2Block scratch;
    for (int round = 0; round < 200; ++round) {
        const Argon2Block prev = randomBlock(random), ref = randomBlock(random);
        const Argon2Block old = randomBlock(random);
        for (bool xorIntoOut : {false, true}) {
            Argon2Block portableOut = old, vectorOut = old;
            argon2Compress(prev, ref, portableOut, xorIntoOut, scratch);
            vector(prev, ref, vectorOut, xorIntoOut, scratch);
            ASSERT_EQ(hexOf(vectorOut), hexOf(portableOut))
                << "round " << round << (xorIntoOut ? ", into the old block" : "");
        }
        // Output over the reference block.
        Argon2Block portableOut = ref, vectorOut = ref;
        argon2Compress(prev, portableOut, portableOut, false, scratch);
        vector(prev, vectorOut, vectorOut, false, scratch);
        ASSERT_EQ(hexOf(vectorOut), hexOf(portableOut)) << "round " << round << ", out is ref";
    }
}

}  // namespace
