// The password meter's worst case per keystroke: a 7-byte password (the longest that is still
// tested against the word list) that matches no word, so both directions scan the whole list.
// One line, like the other benchmarks.
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "common/crypto/password_quality.h"

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 1.0;
    static const uint8_t kPassword[] = "qxvjkwz";
    const int quality = checkPassword(kPassword, kDialogPasswordPolicy);
    if (quality < 0) {
        std::fprintf(stderr, "meter_bench: the sample password was rejected (%d)\n", quality);
        return 1;
    }

    using Clock = std::chrono::steady_clock;
    long checks = 0;
    volatile int sink = 0;
    const auto start = Clock::now();
    double elapsed = 0;
    do {
        for (int i = 0; i < 16; ++i) sink = sink + checkPassword(kPassword, kDialogPasswordPolicy);
        checks += 16;
        elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    } while (elapsed < seconds);
    std::printf("password meter worst case %8.1f us/check\n", elapsed / checks * 1e6);
    return 0;
}
