// Builds archive images in memory with the format routines, the way the writer lays them out,
// so tests can make archives the writer never would (forged names, sizes, counts).
#pragma once

#include <cstring>
#include <string>
#include <vector>

#include "common/archive/archive_format.h"

struct StoredFile {
    std::u16string name;
    std::string content;
};

inline FileEntry entryFor(const StoredFile& f) {
    return FileEntry{static_cast<uint32_t>(2 * f.name.size()), f.content.size(), f.name.c_str()};
}

// Lays out an image the way the writer does, in memory: stub, data stream, info block, trailer,
// each region its own chain.
inline std::vector<uint8_t> buildImage(const std::vector<StoredFile>& files,
                                       const char16_t* password, const std::string& stub,
                                       ArchiveTrailer* trailerOut = nullptr) {
    PasswordCipher cipher;
    // A password meant to key the image that does not leaves no image at all.
    if (!cipher.setPassword(password) && password != nullptr && password[0] != 0) return {};
    std::vector<uint8_t> data, info;
    for (const StoredFile& f : files) data.insert(data.end(), f.content.begin(), f.content.end());
    ArchiveTrailer trailer{};
    trailer.dataPadding = static_cast<uint8_t>(paddingTo16(data.size()));
    data.resize(data.size() + trailer.dataPadding, 0);
    for (const StoredFile& f : files) {
        uint8_t record[kInfoRecordHeader + kMaxNameBytes];
        const uint32_t n = encodeInfoRecord(entryFor(f), record);
        info.insert(info.end(), record, record + n);
    }
    trailer.infoPadding = static_cast<uint8_t>(paddingTo16(info.size()));
    info.resize(info.size() + trailer.infoPadding, 0);
    trailer.infoSize = static_cast<uint32_t>(info.size());
    trailer.fileCount = static_cast<uint32_t>(files.size());
    trailer.stubSize = static_cast<uint32_t>(stub.size());
    trailer.dataSize = data.size();
    if (trailerOut != nullptr) *trailerOut = trailer;

    encryptRegion(cipher, data.data(), data.size());
    encryptRegion(cipher, info.data(), info.size());
    encryptRegion(cipher, trailer.bytes(), kTrailerSize);
    std::vector<uint8_t> image(stub.begin(), stub.end());
    image.insert(image.end(), data.begin(), data.end());
    image.insert(image.end(), info.begin(), info.end());
    image.insert(image.end(), trailer.bytes(), trailer.bytes() + kTrailerSize);
    return image;
}
