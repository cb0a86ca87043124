#include <sys/random.h>

#include <cerrno>
#include <cstring>

#include "common/support/random_bytes.h"

bool randomBytes(uint8_t* out, std::size_t length) {
    std::size_t done = 0;
    while (done < length) {
        // getrandom blocks only until the kernel's pool was first seeded, and returns at most
        // 32 MiB a call; an interrupted call is simply made again.
        const ssize_t n = getrandom(out + done, length - done, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            std::memset(out, 0, length);
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}
