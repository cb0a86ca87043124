// Writes the reader fuzzer's seeds for signed images into the folder it is given: a small
// archive behind a program header, signed the way the tools sign it, and copies whose security
// directory or certificate entry is hostile in each of the ways a reader must survive. Each ends
// in a zero byte, so the fuzzer reads it under the key it was written with.
//   signed_image_seeds FOLDER
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/archive_builder.h"
#include "tests/support/pe_image.h"

namespace {

using Bytes = std::vector<uint8_t>;

bool save(const std::string& path, const Bytes& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

// The archive behind headers of the given form and 5 bytes more, so signing pads it.
Bytes signedArchive(const pe::Headers& h, uint32_t* table) {
    Bytes stub = pe::headers(h);
    stub.resize(stub.size() + 5, 0xCC);
    const std::vector<StoredFile> files = {{u"a.txt", "seed"}, {u"sub\\b", ""}};
    Bytes image = buildImage(files, u"fuzz", pe::asText(stub));
    pe::sign(image, h, pe::certificate(300));
    *table = static_cast<uint32_t>(image.size() - pe::certificate(300).size());
    return image;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: signed_image_seeds FOLDER\n");
        return 2;
    }
    const std::string folder = argv[1];
    const pe::Headers h;
    uint32_t table = 0;
    const Bytes good = signedArchive(h, &table);
    const uint32_t n = static_cast<uint32_t>(good.size());
    const uint32_t lfanew = pe::kLfanewField;
    const std::vector<std::pair<const char*, std::function<void(Bytes&)>>> seeds = {
        {"signed", [](Bytes&) {}},
        {"dir-past-end", [&](Bytes& b) { pe::setSecurityDirectory(b, h, n + 8, 16); }},
        {"dir-wraps-32", [&](Bytes& b) { pe::setSecurityDirectory(b, h, 0xFFFFFFF8u, n + 8); }},
        {"dir-unaligned",
         [&](Bytes& b) { pe::setSecurityDirectory(b, h, table + 4, n - table - 4); }},
        {"dir-over-headers", [&](Bytes& b) { pe::setSecurityDirectory(b, h, 8, n - 8); }},
        {"dir-short", [&](Bytes& b) { pe::setSecurityDirectory(b, h, table, n - table - 8); }},
        {"dir-into-payload",
         [&](Bytes& b) { pe::setSecurityDirectory(b, h, table - 64, n - table + 64); }},
        {"entry-absurd", [&](Bytes& b) { pe::put32(b, table, 0xFFFFFFFF); }},
        {"entry-revision", [&](Bytes& b) { pe::put16(b, table + 4, 0x0300); }},
        {"lfanew-huge", [&](Bytes& b) { pe::put32(b, lfanew, 0xFFFFFFFC); }},
        {"lfanew-at-end", [&](Bytes& b) { pe::put32(b, lfanew, n - 8); }},
    };
    for (const auto& [name, damage] : seeds) {
        Bytes image = good;
        damage(image);
        if (!save(folder + "/" + name + ".exe", image)) {
            std::fprintf(stderr, "cannot write %s\n", name);
            return 1;
        }
    }
    // The 64-bit form, signed.
    pe::Headers plus;
    plus.plus = true;
    if (!save(folder + "/signed-pe32plus.exe", signedArchive(plus, &table))) return 1;
    return 0;
}
