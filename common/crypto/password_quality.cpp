// The quality estimate: length times the bits per byte of the alphabet the password draws on,
// as a percentage of 128 bits. The alphabet is the union of the fixed byte ranges that the
// password's bytes fall in; its first byte is left out, so a capital first letter alone does
// not make a password look stronger.
#include <cmath>
#include <cstring>

#include "common/crypto/password_quality.h"
#include "common/support/secure_zero.h"

namespace {

struct ByteClass {
    uint8_t last;   // the range runs from the previous class's last byte + 1 to this
    uint16_t size;  // bytes in the range
};

// Digits fall among the punctuation because that range takes in 0x20 to 0x40 as a whole.
constexpr ByteClass kClasses[] = {
    {0x1F, 32},   // control bytes
    {0x40, 33},   // space, punctuation, digits
    {0x5A, 26},   // upper-case letters
    {0x60, 6},    // [ \ ] ^ _ `
    {0x7A, 26},   // lower-case letters
    {0x7F, 5},    // { | } ~ DEL
    {0xFF, 128},  // every byte above ASCII
};
constexpr int kClassCount = sizeof kClasses / sizeof kClasses[0];

}  // namespace

int passwordQuality(const uint8_t* password) {
    // Length and position are 16-bit, as the meter has always counted them.
    const uint16_t length =
        static_cast<uint16_t>(std::strlen(reinterpret_cast<const char*>(password)));
    bool used[kClassCount] = {};
    for (uint16_t i = 1; i < length; ++i) {
        int k = 0;
        while (password[i] > kClasses[k].last) ++k;
        used[k] = true;
    }
    uint16_t alphabet = 0;
    for (int k = 0; k < kClassCount; ++k) {
        if (used[k]) alphabet = static_cast<uint16_t>(alphabet + kClasses[k].size);
    }
    secureZero(used, sizeof used);
    if (alphabet == 0) return 0;

    const double bits = std::log(static_cast<double>(alphabet)) / std::log(2.0);
    const uint32_t x = static_cast<uint32_t>(bits * length);
    const uint32_t score = (x * 100u) >> 7;
    return score > 100 ? 100 : static_cast<int>(score);
}
