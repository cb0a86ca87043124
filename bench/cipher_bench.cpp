// AES-256-CBC throughput over the engine's 512 KiB buffers, for each implementation this
// processor has, and SHA-512 over the same buffers (the archive's integrity digest). One line
// per figure.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

#include "common/crypto/aes_context.h"
#include "common/crypto/aes_engine.h"
#include "common/crypto/sha512.h"

namespace {

constexpr std::size_t kBuffer = 512 * 1024;

double megabytesPerSecond(const AesEngine& engine, bool decrypt, double seconds) {
    std::vector<uint8_t> data(kBuffer);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 31 + 7);
    uint8_t key[32], iv[16];
    for (int i = 0; i < 32; ++i) key[i] = static_cast<uint8_t>(i * 5);
    for (int i = 0; i < 16; ++i) iv[i] = static_cast<uint8_t>(i * 3);
    AesContext ctx;
    aesSetKey(ctx, kAesModeCbc, 32, key, iv);
    auto run = decrypt ? engine.decrypt : engine.encrypt;

    using Clock = std::chrono::steady_clock;
    run(ctx, data.data(), kBuffer / 16);  // warm up
    std::size_t bytes = 0;
    const auto start = Clock::now();
    double elapsed = 0;
    do {
        run(ctx, data.data(), kBuffer / 16);
        bytes += kBuffer;
        elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    } while (elapsed < seconds);
    return bytes / elapsed / 1e6;
}

double sha512MegabytesPerSecond(double seconds) {
    std::vector<uint8_t> data(kBuffer);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 31 + 7);
    Sha512Context ctx;
    sha512Init(ctx);

    using Clock = std::chrono::steady_clock;
    sha512Update(ctx, data.data(), kBuffer);  // warm up
    std::size_t bytes = 0;
    const auto start = Clock::now();
    double elapsed = 0;
    do {
        sha512Update(ctx, data.data(), kBuffer);
        bytes += kBuffer;
        elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    } while (elapsed < seconds);
    uint8_t digest[64];
    sha512Final(ctx, digest);
    return bytes / elapsed / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 1.0;
    std::vector<const AesEngine*> engines{&aesTableEngine()};
    if (aesHardwareEngine() != nullptr) engines.push_back(aesHardwareEngine());
    for (const AesEngine* e : engines) {
        for (bool decrypt : {false, true}) {
            std::printf("aes-256-cbc %-7s %-8s %8.1f MB/s\n", decrypt ? "decrypt" : "encrypt",
                        e->name, megabytesPerSecond(*e, decrypt, seconds));
        }
    }
    std::printf("sha512 %8.1f MB/s\n", sha512MegabytesPerSecond(seconds));
    return 0;
}
