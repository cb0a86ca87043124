#include "common/archive/archive_format.h"

#include <cstring>

#include "common/archive/stored_name.h"

namespace {

void put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

void put64(uint8_t* p, uint64_t v) {
    for (int i = 0; i < 8; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

uint32_t get32(const uint8_t* p) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | p[i];
    return v;
}

uint64_t get64(const uint8_t* p) {
    uint64_t v = 0;
    for (int i = 7; i >= 0; --i) v = (v << 8) | p[i];
    return v;
}

// Reads exactly `bytes` bytes, however the platform splits the read.
bool readAll(File& file, uint8_t* out, uint32_t bytes) {
    uint32_t done = 0;
    while (done < bytes) {
        const int64_t n = file.read(out + done, bytes - done);
        if (n <= 0) return false;
        done += static_cast<uint32_t>(n);
    }
    return true;
}

}  // namespace

uint32_t encodeInfoRecord(const FileEntry& entry, uint8_t* out) {
    const uint32_t length = entry.nameLength <= kMaxNameBytes ? entry.nameLength : kMaxNameBytes;
    put32(out, length);
    put64(out + 4, entry.size);
    for (uint32_t i = 0; i < length; ++i) {
        const char16_t c = entry.name[i / 2];
        out[kInfoRecordHeader + i] = static_cast<uint8_t>(i % 2 == 0 ? c : c >> 8);
    }
    return kInfoRecordHeader + length;
}

uint32_t decodeInfoRecord(const uint8_t* in, uint64_t available, FileEntry& entry) {
    std::memset(&entry, 0, sizeof entry);
    if (available < kInfoRecordHeader) return 0;
    const uint32_t length = get32(in);
    // A name is whole UTF-16 characters, at least one, and no longer than a stored name can be.
    if (length == 0 || length % 2 != 0 || length > kMaxNameBytes) return 0;
    if (length > available - kInfoRecordHeader) return 0;
    entry.nameLength = length;
    entry.size = get64(in + 4);
    for (uint32_t i = 0; i < length; ++i) {
        const uint8_t b = in[kInfoRecordHeader + i];
        entry.name[i / 2] |= static_cast<char16_t>(i % 2 == 0 ? b : b << 8);
    }
    return kInfoRecordHeader + length;
}

void encryptRegion(PasswordCipher& cipher, uint8_t* data, uint64_t bytes) {
    cipher.restartChain();
    cipher.encryptBlocks(data, static_cast<std::size_t>(bytes / 16));
    cipher.restartChain();
}

void decryptRegion(PasswordCipher& cipher, uint8_t* data, uint64_t bytes) {
    cipher.restartChain();
    cipher.decryptBlocks(data, static_cast<std::size_t>(bytes / 16));
    cipher.restartChain();
}

bool readTrailer(File& image, uint64_t imageSize, PasswordCipher& cipher, ArchiveTrailer& trailer) {
    std::memset(&trailer, 0, sizeof trailer);
    if (imageSize < kTrailerSize || !image.seek(imageSize - kTrailerSize)) return false;
    if (!readAll(image, trailer.bytes(), kTrailerSize)) return false;
    decryptRegion(cipher, trailer.bytes(), kTrailerSize);
    return true;
}

ExtractResult checkTrailer(const ArchiveTrailer& trailer, uint64_t imageSize) {
    if (trailer.check != 0) return kWrongPassword;
    // Each term is below 2^32 or a 64-bit D; added in 64 bits they cannot wrap unless D is
    // absurd, which the comparison then rejects as well.
    const uint64_t expected = uint64_t{trailer.stubSize} + trailer.infoSize + kTrailerSize;
    if (trailer.dataSize > UINT64_MAX - expected) return kCorrupt;
    if (expected + trailer.dataSize != imageSize) return kCorrupt;
    // Both regions are whole cipher blocks in every archive ever written.
    if (trailer.dataSize % 16 != 0 || trailer.infoSize % 16 != 0) return kCorrupt;
    return kExtractOk;
}

PayloadLocation locationOf(const ArchiveTrailer& trailer, uint64_t imageSize) {
    PayloadLocation where;
    where.imageSize = imageSize;
    where.infoOffset = imageSize - kTrailerSize - trailer.infoSize;
    where.dataOffset = where.infoOffset - trailer.dataSize;
    return where;
}

ExtractResult readInfoBlock(File& image, const ArchiveTrailer& trailer,
                            const PayloadLocation& where, PasswordCipher& cipher, ByteBuf& info,
                            FileTable& files) {
    const uint32_t infoSize = trailer.infoSize;
    // Every record takes at least its 12-byte header, so a count the block cannot hold is
    // damage; checking it first keeps a forged count from asking for a huge table.
    if (uint64_t{trailer.fileCount} * kInfoRecordHeader > infoSize) return kCorrupt;
    if (uint64_t{infoSize} + 16 > UINT32_MAX) return kOutOfMemory;
    if (!files.obtain(trailer.fileCount) || !info.ensureCapacity(infoSize + 16)) {
        return kOutOfMemory;
    }
    if (!image.seek(where.infoOffset) || !readAll(image, info.data, infoSize)) return kCorrupt;
    // Whole blocks from the start while below I; the 16 spare bytes take a partial last one.
    decryptRegion(cipher, info.data, uint64_t{infoSize} + paddingTo16(infoSize));

    uint64_t offset = 0, total = 0;
    for (uint32_t i = 0; i < trailer.fileCount; ++i) {
        FileEntry& e = files.entries[i];
        const uint32_t used = decodeInfoRecord(info.data + offset, infoSize - offset, e);
        if (used == 0 || !isSafeStoredName(e.name, e.nameLength / 2)) return kCorrupt;
        offset += used;
        // The sizes must account for the data stream: all of it but its padding.
        if (e.size > trailer.dataSize - total) return kCorrupt;
        total += e.size;
    }
    if (trailer.dataSize - total > 15) return kCorrupt;
    return kExtractOk;
}

ExtractResult locatePayload(File& image, PasswordCipher& cipher, ArchiveTrailer& trailer,
                            ByteBuf& info, FileTable& files, PayloadLocation& where) {
    const int64_t size = image.size();
    if (size < 0 || static_cast<uint64_t>(size) <= kSmallestImage) return kCorrupt;
    const uint64_t imageSize = static_cast<uint64_t>(size);
    if (!readTrailer(image, imageSize, cipher, trailer)) return kCorrupt;
    const ExtractResult checked = checkTrailer(trailer, imageSize);
    if (checked != kExtractOk) return checked;
    where = locationOf(trailer, imageSize);
    if (trailer.fileCount == 0) return kExtractOk;
    return readInfoBlock(image, trailer, where, cipher, info, files);
}
