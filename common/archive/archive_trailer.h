// The last 32 bytes of every archive: where the payload's regions are and how big, and a check
// value that reads as zero only under the right key. Kept as the exact byte image of the file
// (little-endian fields, no gaps), so it is read, deciphered and written in place.
//
// Byte 0 was reserved and always written as 0; readers that follow the format ignore it. It now
// announces the integrity record: 0 says nothing (an older archive, or one written without a
// record), any other value says that a record of that version follows the info records and must
// be found there. See integrity_record.h for why that announcement cannot be removed or forged
// without the key.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

struct ArchiveTrailer {
    uint8_t recordVersion;  // 0, or the version of the integrity record the info block must hold
    uint8_t dataPadding;    // zero bytes appended to the data stream (0-15), for information only
    uint8_t infoPadding;    // zero bytes appended to the info block (0-15), for information only
    uint8_t reserved3;
    uint32_t infoSize;   // I, including its padding
    uint32_t fileCount;  // number of info records
    uint32_t stubSize;   // S, 0 for a file without the extractor in front
    uint64_t dataSize;   // D, including its padding
    uint64_t check;      // always 0 before encryption

    uint8_t* bytes() { return reinterpret_cast<uint8_t*>(this); }
    const uint8_t* bytes() const { return reinterpret_cast<const uint8_t*>(this); }
};

static_assert(std::endian::native == std::endian::little,
              "the trailer is kept as its little-endian byte image");
static_assert(sizeof(ArchiveTrailer) == 32);
static_assert(offsetof(ArchiveTrailer, dataPadding) == 1);
static_assert(offsetof(ArchiveTrailer, recordVersion) == 0);
static_assert(offsetof(ArchiveTrailer, infoPadding) == 2);
static_assert(offsetof(ArchiveTrailer, infoSize) == 4);
static_assert(offsetof(ArchiveTrailer, fileCount) == 8);
static_assert(offsetof(ArchiveTrailer, stubSize) == 12);
static_assert(offsetof(ArchiveTrailer, dataSize) == 16);
static_assert(offsetof(ArchiveTrailer, check) == 24);
