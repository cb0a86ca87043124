// Feeds arbitrary bytes to the reader as an archive, as a stranger's download would arrive. The
// reader must never crash, never trip a sanitizer, never ask for memory an archive merely claims
// (the run sets a malloc limit), and never create anything outside the folder it extracts into:
// the archive and the destination sit three levels down a private tree, and after every input
// the whole tree is checked, so a file written above the destination, even two levels up, is
// seen. The same bytes go to the locator of a signed
// image's payload end, which must never read outside them and never name an end outside them.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "common/archive/job_records.h"
#include "common/archive/signed_image.h"
#include "common/crypto/argon2id.h"
#include "common/support/utf8.h"

namespace fs = std::filesystem;

namespace {

const fs::path& workFolder() {
    static const fs::path folder = [] {
        const char* shm = "/dev/shm";
        fs::path base = fs::is_directory(shm) ? fs::path(shm) : fs::temp_directory_path();
        fs::path p = base / ("quillon-fuzz-" + std::to_string(getpid()));
        fs::create_directories(p / "a" / "b" / "c");
        return p;
    }();
    return folder;
}

struct Held {
    const uint8_t* data;
    size_t size;
};

bool readHeld(void* source, uint64_t offset, uint8_t* out, uint32_t bytes) {
    const Held& held = *static_cast<const Held*>(source);
    if (offset > held.size || bytes > held.size - offset) {
        std::fprintf(stderr, "read outside the image: %llu bytes at %llu of %zu\n",
                     static_cast<unsigned long long>(bytes),
                     static_cast<unsigned long long>(offset), held.size);
        std::abort();
    }
    std::memcpy(out, held.data + offset, bytes);
    return true;
}

void checkPayloadEnd(const uint8_t* data, size_t size) {
    Held held{data, size};
    const PayloadEnd found = findPayloadEnd(readHeld, &held, size);
    const bool sound = found.certificateTable ? found.end % 8 == 0 && found.end + 8 <= size &&
                                                    found.zeroBytes <= kMaxSigningPadding &&
                                                    found.zeroBytes <= found.end
                                              : found.end == size && found.zeroBytes == 0;
    if (!sound) {
        std::fprintf(stderr, "payload end %llu (%u zeros) for an image of %zu bytes\n",
                     static_cast<unsigned long long>(found.end), found.zeroBytes, size);
        std::abort();
    }
}

// A hardened key block whose cost the readers accept is made as cheap as the algorithm allows
// (8 KiB a lane, one pass): a real derivation takes 64 MiB and half a second, which would both
// trip the malloc limit meant for what an archive merely claims and leave no time for fuzzing.
// Costs past the readers' bounds stay as they are, so their refusal before any allocation is
// still checked by the limit.
std::string cheapened(const uint8_t* data, size_t size) {
    std::string bytes(reinterpret_cast<const char*>(data), size);
    static constexpr char kMarker[] = "QSFXHKEY";
    for (size_t at = bytes.find(kMarker); at != std::string::npos && at + 32 <= size;
         at = bytes.find(kMarker, at + 1)) {
        uint8_t* block = reinterpret_cast<uint8_t*>(bytes.data() + at);
        Argon2Cost cost;
        cost.lanes = block[9];
        cost.passes = static_cast<uint32_t>(block[10] | (block[11] << 8));
        cost.memoryKiB = static_cast<uint32_t>(block[12] | (block[13] << 8) | (block[14] << 16) |
                                               (static_cast<uint32_t>(block[15]) << 24));
        if (!argon2CostAcceptable(cost)) continue;
        const uint32_t memory = 8 * cost.lanes;
        block[10] = 1;
        block[11] = 0;
        for (int i = 0; i < 4; ++i) block[12 + i] = static_cast<uint8_t>(memory >> (8 * i));
    }
    return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* input, size_t size) {
    const std::string bytes = cheapened(input, size);
    const uint8_t* data = reinterpret_cast<const uint8_t*>(bytes.data());
    checkPayloadEnd(data, size);
    const fs::path& root = workFolder();
    const fs::path work = root / "a" / "b" / "c";
    const fs::path archive = work / "archive";
    const fs::path out = work / "out";
    {
        std::ofstream f(archive, std::ios::binary | std::ios::trunc);
        f.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    ArchiveReader reader;
    const std::u16string a = wideFromUtf8(archive.string());
    const std::u16string d = wideFromUtf8(out.string());
    reader.configure(nullptr, d.c_str(), a.c_str());
    // Unchecked archives go on to extraction, so every path of the reader is reached.
    reader.unverified = kUnverifiedAllow;
    // Most inputs are read without a key, where every byte of the layout is the attacker's; a
    // few with one, as the seeds that were written with it expect.
    if (size > 0 && (data[size - 1] & 7) == 0 && !reader.setPassword(u"fuzz")) return 0;
    reader.run();

    // Nothing may appear anywhere in the tree but its three folders, the archive and what is
    // inside the destination.
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator();
         ++it) {
        const fs::path& p = it->path();
        if (p == out) {
            it.disable_recursion_pending();
            continue;
        }
        if (p == archive || p == root / "a" || p == root / "a" / "b" || p == work) continue;
        std::fprintf(stderr, "created outside the destination: %s\n", p.c_str());
        std::abort();
    }
    std::error_code ec;
    fs::remove_all(out, ec);
    return 0;
}
