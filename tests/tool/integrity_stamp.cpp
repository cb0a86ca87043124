// Test helper: gives an archive written without an integrity record one, made by the engine's
// record codec and tag, so the reference reader (written from the format's description alone)
// can check the engine's record on real enciphered archives before the writer makes them.
//
//     integrity_stamp [--version 1] IN OUT [PASSWORD]
//
// Reads the whole archive, deciphers trailer and info block, appends the record after the
// `count` info records, recomputes I and the info padding, and writes stub, data stream (as it
// was), the new info block and the new trailer. The record is the one the writer writes now,
// announced in the trailer; with --version 1, the unannounced one that 1.1.0 wrote. Exit 0 done, 1
// wrong password, 2 not a classic archive this can stamp, 3 input or output trouble, 64 usage.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "common/archive/archive_trailer.h"
#include "common/archive/integrity_record.h"
#include "common/crypto/password_cipher.h"
#include "common/support/utf8.h"
#include "tests/support/archive_builder.h"

namespace {

using Bytes = std::vector<uint8_t>;

uint32_t readU32(const uint8_t* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

// Each region is its own chain from the IV; without a key the bytes stay as they are.
void decipher(PasswordCipher& cipher, uint8_t* data, std::size_t bytes) {
    cipher.restartChain();
    cipher.decryptBlocks(data, bytes / 16);
}

void encipher(PasswordCipher& cipher, uint8_t* data, std::size_t bytes) {
    cipher.restartChain();
    cipher.encryptBlocks(data, bytes / 16);
}

int fail(int status, const char* message) {
    std::fprintf(stderr, "integrity_stamp: %s\n", message);
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    uint8_t version = kIntegrityVersion;
    if (argc > 2 && std::strcmp(argv[1], "--version") == 0) {
        version = static_cast<uint8_t>(std::atoi(argv[2]));
        argc -= 2;
        argv += 2;
    }
    if (argc < 3 || argc > 4 || (version != 1 && version != 2)) {
        return fail(64, "usage: integrity_stamp [--version 1] IN OUT [PASSWORD]");
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) return fail(3, "cannot read the archive");
    Bytes image((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());

    PasswordCipher cipher;
    if (argc == 4 && !cipher.setPassword(wideFromUtf8(argv[3]).c_str())) {
        return fail(3, "cannot key from the password");
    }
    if (image.size() <= 48) return fail(2, "too small");

    ArchiveTrailer trailer;
    std::memcpy(trailer.bytes(), image.data() + image.size() - 32, 32);
    decipher(cipher, trailer.bytes(), 32);
    if (trailer.check != 0) return fail(1, "wrong password");
    const uint64_t n = image.size();
    if (n != uint64_t{trailer.stubSize} + trailer.dataSize + trailer.infoSize + 32) {
        return fail(2, "sizes do not add up");
    }

    const std::size_t infoAt = n - 32 - trailer.infoSize;
    Bytes info(image.begin() + infoAt, image.end() - 32);
    decipher(cipher, info.data(), info.size());
    uint32_t recordsEnd = 0;
    for (uint32_t i = 0; i < trailer.fileCount; ++i) {
        if (recordsEnd + 12 > info.size()) return fail(2, "records run past the block");
        recordsEnd += 12 + readU32(info.data() + recordsEnd);
    }
    IntegrityTail tail;
    if (recordsEnd > info.size() ||
        classifyInfoTail(info.data() + recordsEnd, static_cast<uint32_t>(info.size()) - recordsEnd,
                         recordsEnd, static_cast<uint32_t>(info.size()), cipher.hasKey(),
                         tail) != kTailClassic) {
        return fail(2, "not a classic archive");
    }

    info.resize(recordsEnd);
    info.resize(recordsEnd + recordBytesFor(recordsEnd, version));
    encodeRecord(recordsEnd, cipher.hasKey(), nullptr, info.data() + recordsEnd, version);
    trailer.infoSize = static_cast<uint32_t>(info.size());
    trailer.infoPadding = static_cast<uint8_t>(roundUp16(recordsEnd) - recordsEnd);
    trailer.recordVersion = version >= 2 ? version : 0;

    const Bytes data(image.begin() + trailer.stubSize,
                     image.begin() + trailer.stubSize + trailer.dataSize);
    if (!sealInfo(cipher, trailer, data, info, recordsEnd, version)) return fail(2, "no tag");

    const uint64_t stubAndData = uint64_t{trailer.stubSize} + trailer.dataSize;
    encipher(cipher, info.data(), info.size());
    encipher(cipher, trailer.bytes(), 32);
    std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(image.data()),
              static_cast<std::streamsize>(stubAndData));
    out.write(reinterpret_cast<const char*>(info.data()),
              static_cast<std::streamsize>(info.size()));
    out.write(reinterpret_cast<const char*>(trailer.bytes()), 32);
    return out.good() ? 0 : fail(3, "cannot write the output");
}
