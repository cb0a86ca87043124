// The metadata record: what an archive keeps besides names, sizes and bytes, namely each file's
// modification time and the folders that hold no file. It sits inside the info block, after the
// alignment zeros that follow the info records and before the integrity record's guard, and only
// in archives whose trailer announces an integrity record of version 3 (see integrity_record.h
// for where the record's header says how long it is). So it is enciphered with the block, both
// tags cover it, and readers that follow the format, which read exactly `count` records and
// never look past them, open such archives as before.
//
// Its plaintext, M bytes, M a multiple of 16:
//
//     0    file count (u32 LE): the trailer's count, one time per file
//     4    folder count (u32 LE): at most kMaxMetadataFolders
//     8    the files' modification times, in table order: u64 LE each, in 100-nanosecond ticks
//          since 1601-01-01 UTC (0: not kept)
//     then one entry per folder without files, laid out as an info record: name length in bytes
//          (u32 LE), the folder's time where a record has its size (u64 LE, 0: not kept), the
//          name in UTF-16LE; the name obeys every rule a file's name does
//     then zero bytes to the end (0-15)
//
// A reader parses it only after the names tag has matched, so nothing here is looked at before
// it is known to be what was written; even so every count and length is checked against the
// bytes that are there, as if it came from anybody (an archive without a password has a tag
// anyone can compute).
#pragma once

#include <cstdint>

#include "common/archive/byte_buf.h"
#include "common/archive/file_table.h"
#include "common/archive/name_clash.h"

// The most folders without files one archive keeps.
constexpr uint32_t kMaxMetadataFolders = 65536;
constexpr uint32_t kMetadataHeader = 8;
constexpr uint32_t kMetadataTimeBytes = 8;

// What the record holds, as a reader keeps it for the extraction.
class ArchiveMetadata {
  public:
    ArchiveMetadata() = default;
    ArchiveMetadata(const ArchiveMetadata&) = delete;
    ArchiveMetadata& operator=(const ArchiveMetadata&) = delete;

    bool present() const { return present_; }
    // The time of file `index` of the table, or 0 when none is kept.
    uint64_t fileTime(uint32_t index) const;
    // The folders without files; each entry's size is the folder's time (0: none kept).
    const FileTable& folders() const { return folders_; }
    // Wipes and forgets everything.
    void release();

  private:
    friend bool parseMetadata(const uint8_t*, uint32_t, uint32_t, ArchiveMetadata&);
    bool present_ = false;
    uint32_t fileCount_ = 0;
    ByteBuf times_;
    FileTable folders_;
};

// Bytes of the record for `files` files and the folders in `folders` (whose sizes are their
// times): M, padding included. 0 when it would not fit 32 bits or has too many folders.
uint32_t metadataBytesFor(uint32_t files, const FileTable& folders);

// Writes the record's M bytes at `out`: the header, `files` times read from `times` (u64 each,
// as the machine holds them), the folders, the padding. Returns M.
uint32_t encodeMetadata(uint32_t files, const uint64_t* times, const FileTable& folders,
                        uint8_t* out);

// Reads the M = `length` bytes at `in` for an archive of `files` files into `out`. False (and
// `out` empty) when anything is amiss: a length that is not a multiple of 16, a count other than
// the trailer's, more folders than allowed or than the bytes could hold, an entry that runs past
// the end, a folder name a file could not have, non-zero padding, or padding of 16 bytes or more,
// or no memory. Folder names are checked one at a time here; whether they clash with each other
// or with a file is the caller's check, with the file table at hand.
bool parseMetadata(const uint8_t* in, uint32_t length, uint32_t files, ArchiveMetadata& out);

// Whether a folder of the record and a file of the table, or two of its folders, would be one
// entry on Windows, or one a folder of the other: the writer stores only folders that hold
// nothing, so a file below one of them, like two files of one name, is a changed archive.
ClashCheck findMetadataClash(const FileTable& files, const ArchiveMetadata& metadata,
                             NameClash& clash);
