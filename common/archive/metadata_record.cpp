#include "common/archive/metadata_record.h"

#include <cstring>

#include "common/archive/archive_format.h"
#include "common/archive/stored_name.h"
#include "common/support/little_endian.h"

uint64_t ArchiveMetadata::fileTime(uint32_t index) const {
    if (!present_ || index >= fileCount_) return 0;
    return get64(times_.data + uint64_t{index} * kMetadataTimeBytes);
}

void ArchiveMetadata::release() {
    present_ = false;
    fileCount_ = 0;
    times_.ensureCapacity(0);
    folders_.release();
}

uint32_t metadataBytesFor(uint32_t files, const FileTable& folders) {
    if (folders.count() > kMaxMetadataFolders) return 0;
    uint64_t total = kMetadataHeader + uint64_t{files} * kMetadataTimeBytes;
    for (uint32_t i = 0; i < folders.count(); ++i) {
        total += kInfoRecordHeader + folders.at(i).nameLength;
    }
    total = (total + 15) / 16 * 16;
    return total > UINT32_MAX - 16 ? 0 : static_cast<uint32_t>(total);
}

uint32_t encodeMetadata(uint32_t files, const uint64_t* times, const FileTable& folders,
                        uint8_t* out) {
    const uint32_t total = metadataBytesFor(files, folders);
    std::memset(out, 0, total);
    put32(out, files);
    put32(out + 4, folders.count());
    uint8_t* p = out + kMetadataHeader;
    for (uint32_t i = 0; i < files; ++i, p += kMetadataTimeBytes) put64(p, times[i]);
    for (uint32_t i = 0; i < folders.count(); ++i) p += encodeInfoRecord(folders.at(i), p);
    return total;
}

bool parseMetadata(const uint8_t* in, uint32_t length, uint32_t files, ArchiveMetadata& out) {
    out.release();
    if (length % 16 != 0 || length < kMetadataHeader) return false;
    const uint32_t folders = get32(in + 4);
    if (get32(in) != files || folders > kMaxMetadataFolders) return false;
    // Each time takes 8 bytes and each folder at least a record header and one character: counts
    // the bytes cannot hold are refused before any memory is taken for them.
    const uint64_t least = kMetadataHeader + uint64_t{files} * kMetadataTimeBytes +
                           uint64_t{folders} * (kInfoRecordHeader + 2);
    if (least > length) return false;
    const uint32_t timeBytes = files * kMetadataTimeBytes;
    if (!out.times_.ensureCapacity(timeBytes)) return false;
    std::memcpy(out.times_.data, in + kMetadataHeader, timeBytes);
    uint32_t at = kMetadataHeader + timeBytes;
    for (uint32_t i = 0; i < folders; ++i) {
        const uint32_t used = infoRecordLength(in + at, length - at);
        if (used == 0 || used == kNeedMore || !addInfoRecord(in + at, out.folders_)) {
            out.release();
            return false;
        }
        const FileEntry e = out.folders_.at(i);
        if (!isSafeStoredName(e.name, e.nameLength / 2)) {
            out.release();
            return false;
        }
        at += used;
    }
    // Only the padding to the next multiple of 16 may follow, and it is zeros.
    uint8_t any = 0;
    for (uint32_t i = at; i < length; ++i) any |= in[i];
    if (length - at >= 16 || any != 0) {
        out.release();
        return false;
    }
    out.fileCount_ = files;
    out.present_ = true;
    return true;
}

ClashCheck findMetadataClash(const FileTable& files, const ArchiveMetadata& metadata,
                             NameClash& clash) {
    const FileTable& folders = metadata.folders();
    if (folders.count() == 0) return ClashCheck::kNone;
    FileTable all;
    for (uint32_t i = 0; i < files.count(); ++i) {
        if (!all.add(files.nameOf(i), files.charsOf(i), 0)) return ClashCheck::kOutOfMemory;
    }
    for (uint32_t i = 0; i < folders.count(); ++i) {
        if (!all.add(folders.nameOf(i), folders.charsOf(i), 0)) return ClashCheck::kOutOfMemory;
    }
    return findNameClash(all, clash);
}
