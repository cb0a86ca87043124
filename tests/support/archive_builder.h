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

// Fills in the tags of an info block whose plaintext `info` ends in a record of `version` after
// records ending at `recordsEnd`: for version 2 the names tag over the trailer and the block's
// ciphertext up to it, then the tag. `trailer` is final; `data` is the data stream's ciphertext.
inline bool sealInfo(PasswordCipher& cipher, const ArchiveTrailer& trailer,
                     const std::vector<uint8_t>& data, std::vector<uint8_t>& info,
                     uint32_t recordsEnd, uint8_t version) {
    if (version >= 2) {
        const uint32_t namesAt = namesTagOffsetFor(recordsEnd);
        std::vector<uint8_t> cipherText(info.begin(), info.begin() + namesAt);
        encryptRegion(cipher, cipherText.data(), cipherText.size());
        NamesTag names(cipher.integrityKey());
        names.addTrailer(trailer.bytes());
        names.addCipherText(cipherText.data(), cipherText.size());
        if (!names.finish(info.data() + namesAt)) return false;
    }
    IntegrityTag tag(cipher.integrityKey());
    tag.addData(data.data(), data.size());
    tag.addTrailer(trailer.bytes());
    const uint32_t tagAt = tagOffsetFor(recordsEnd, version);
    tag.addInfo(info.data(), tagAt);
    return tag.finish(info.data() + tagAt);
}

// Lays out an image the way the writer does, in memory: stub, data stream, info block, trailer,
// each region its own chain.
// What a test may change in the info block's plaintext after the integrity record's tag has
// been computed over it: `recordsEnd` is where the records end.
using TailEdit = void (*)(std::vector<uint8_t>& info, uint32_t recordsEnd);

// With `sealed`, the info block carries the integrity record of `version` after its records
// (version 1 as 1.1.0 wrote it, unannounced; version 2, announced in the trailer, as the writer
// writes it now), and then `edit` (if any) changes the plaintext before it is enciphered.
inline std::vector<uint8_t> buildImage(const std::vector<StoredFile>& files,
                                       const char16_t* password, const std::string& stub,
                                       ArchiveTrailer* trailerOut = nullptr, bool sealed = false,
                                       TailEdit edit = nullptr,
                                       uint8_t version = kIntegrityVersion1) {
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
    const uint32_t recordsEnd = static_cast<uint32_t>(info.size());
    if (sealed) {
        trailer.infoPadding = static_cast<uint8_t>(roundUp16(recordsEnd) - recordsEnd);
        trailer.recordVersion = version >= 2 ? version : 0;
        info.resize(recordsEnd + recordBytesFor(recordsEnd, version));
        encodeRecord(recordsEnd, cipher.hasKey(), nullptr, info.data() + recordsEnd, version);
    } else {
        trailer.infoPadding = static_cast<uint8_t>(paddingTo16(info.size()));
        info.resize(info.size() + trailer.infoPadding, 0);
    }
    trailer.infoSize = static_cast<uint32_t>(info.size());
    trailer.fileCount = static_cast<uint32_t>(files.size());
    trailer.stubSize = static_cast<uint32_t>(stub.size());
    trailer.dataSize = data.size();
    if (trailerOut != nullptr) *trailerOut = trailer;

    encryptRegion(cipher, data.data(), data.size());
    if (sealed) {
        sealInfo(cipher, trailer, data, info, recordsEnd, version);
        if (edit != nullptr) edit(info, recordsEnd);
    }
    encryptRegion(cipher, info.data(), info.size());
    encryptRegion(cipher, trailer.bytes(), kTrailerSize);
    std::vector<uint8_t> image(stub.begin(), stub.end());
    image.insert(image.end(), data.begin(), data.end());
    image.insert(image.end(), info.begin(), info.end());
    image.insert(image.end(), trailer.bytes(), trailer.bytes() + kTrailerSize);
    return image;
}
