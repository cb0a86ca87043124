// What a password guess costs: the classic derivation (PasswordCipher::setPassword: SHA-512 of
// the ANSI password, the AES key schedule and the integrity key) and Argon2id at 64 MiB, three
// passes, four lanes, both on one core, and how many classic guesses one Argon2id guess is worth;
// then the wall time of one Argon2id derivation with its lanes on threads, as a reader waits for
// it. One line per figure.
//
// Each derivation takes its memory afresh, as a reader does, so the system's cost of handing out
// 64 MiB of new pages is part of the Argon2id figures; the last line measures that cost alone
// (large on some virtual machines), to tell it apart from the hashing.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "common/crypto/argon2id.h"
#include "common/crypto/password_cipher.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr Argon2Cost kCost = {65536, 3, 4};
constexpr int kMinimumDerivations = 3;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double classicGuessesPerSecond(double seconds) {
    PasswordCipher cipher;
    long guesses = 0;
    const auto start = Clock::now();
    double elapsed = 0;
    do {
        for (int i = 0; i < 64; ++i) {
            if (!cipher.setPassword(u"correct horse battery staple")) return 0;
        }
        guesses += 64;
        elapsed = secondsSince(start);
    } while (elapsed < seconds);
    return guesses / elapsed;
}

// Seconds per derivation: at least a few, and as many as fit in `seconds`.
double argon2idSeconds(Argon2Lanes lanes, double seconds) {
    static const uint8_t kPassword[] = "correct horse battery staple";
    static const uint8_t kSalt[16] = {0x51, 0x75, 0x69, 0x6c, 0x6c, 0x6f, 0x6e, 0x20,
                                      0x73, 0x61, 0x6c, 0x74, 0x20, 0x31, 0x32, 0x33};
    Argon2Inputs in;
    in.password = kPassword;
    in.passwordLength = sizeof kPassword - 1;
    in.salt = kSalt;
    in.saltLength = sizeof kSalt;
    uint8_t out[112];
    int derivations = 0;
    const auto start = Clock::now();
    double elapsed = 0;
    do {
        if (argon2id(in, kCost, out, sizeof out, lanes) != kArgon2Ok) return 0;
        ++derivations;
        elapsed = secondsSince(start);
    } while (derivations < kMinimumDerivations || elapsed < seconds);
    return elapsed / derivations;
}

// Milliseconds to take 64 MiB and write it once: the page faults every derivation pays.
double freshMemoryMilliseconds() {
    constexpr std::size_t kBytes = std::size_t{kCost.memoryKiB} * 1024;
    double total = 0;
    for (int i = 0; i < kMinimumDerivations; ++i) {
        uint8_t* memory = new (std::nothrow) uint8_t[kBytes];
        if (memory == nullptr) return 0;
        const auto start = Clock::now();
        std::memset(memory, 0x5A, kBytes);
        asm volatile("" : : "r"(memory) : "memory");  // the writes are the measurement
        total += secondsSince(start);
        delete[] memory;
    }
    return total / kMinimumDerivations * 1e3;
}

}  // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 1.0;
    const double classic = classicGuessesPerSecond(seconds);
    const double single = argon2idSeconds(Argon2Lanes::kOneByOne, seconds);
    const double threaded = argon2idSeconds(Argon2Lanes::kOnThreads, seconds);
    const double fresh = freshMemoryMilliseconds();
    if (classic <= 0 || single <= 0 || threaded <= 0 || fresh <= 0) {
        std::fprintf(stderr, "kdf_bench: a derivation failed\n");
        return 1;
    }
    std::printf("classic derivation one core %12.1f guesses/s\n", classic);
    std::printf("argon2id m=64MiB t=3 p=4 one core %8.1f ms/derivation\n", single * 1e3);
    std::printf("argon2id m=64MiB t=3 p=4 one core %8.2f guesses/s\n", 1 / single);
    std::printf("classic/argon2id guess cost ratio %12.0f\n", classic * single);
    std::printf("argon2id m=64MiB t=3 p=4 lanes on threads %8.1f ms wall\n", threaded * 1e3);
    std::printf("fresh 64 MiB first write %8.1f ms\n", fresh);
    return 0;
}
