#include <cstring>

#include "common/support/host_calls_wasm.h"
#include "common/support/random_bytes.h"

bool randomBytes(uint8_t* out, std::size_t length) {
    // The page answers from crypto.getRandomValues, in pieces of at most 64 KiB as it allows.
    std::size_t done = 0;
    while (done < length) {
        const std::size_t left = length - done;
        const uint32_t piece = left > 65536 ? 65536 : static_cast<uint32_t>(left);
        if (hostRandomBytes(out + done, piece) != 1) {
            std::memset(out, 0, length);
            return false;
        }
        done += piece;
    }
    return true;
}
