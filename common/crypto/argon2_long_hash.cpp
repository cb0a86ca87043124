#include "common/crypto/argon2_long_hash.h"

#include "common/crypto/blake2b.h"
#include "common/support/secure_zero.h"

void argon2LongHash(uint8_t* out, uint32_t outLength, const uint8_t* data, std::size_t length) {
    Blake2b hash;
    if (outLength <= kBlake2bMaxDigestBytes) {
        if (!hash.init(outLength)) return;
        hash.updateWord(outLength);
        hash.update(data, length);
        hash.finish(out);
        return;
    }
    // V1 from the input; each next V from the one before. Every V but the last gives its first
    // 32 bytes; the last, made as long as what is left (33 to 64 bytes), gives all of itself.
    uint8_t v[kBlake2bMaxDigestBytes];
    (void)hash.init(sizeof v);
    hash.updateWord(outLength);
    hash.update(data, length);
    hash.finish(v);
    uint32_t written = 0;
    for (;;) {
        for (int i = 0; i < 32; ++i) out[written + i] = v[i];
        written += 32;
        const uint32_t left = outLength - written;
        (void)hash.init(left > sizeof v ? sizeof v : left);
        hash.update(v, sizeof v);
        if (left <= sizeof v) {
            hash.finish(out + written);
            break;
        }
        hash.finish(v);
    }
    secureZero(v, sizeof v);
}
