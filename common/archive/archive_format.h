// The archive format, in one place for the writer, the reader and anything else that looks
// inside an archive. An image of N bytes is laid out as
//
//     stub (S bytes, the extractor; none in a .tvf)
//     data stream (D): every file's bytes back to back, zero-padded to a multiple of 16
//     info block (I): one record per file, zero-padded to a multiple of 16, or followed by the
//                     integrity record (see integrity_record.h), which in version 3 has the
//                     metadata record (file times, empty folders; metadata_record.h) before it
//     trailer (32): ArchiveTrailer
//     key block (K = 32 for a hardened archive, 0 for a classic one), in the clear
//
// with N = S + D + I + 32 + K exactly. The data stream, the info block and the trailer are each
// one AES-256-CBC chain from the password's IV. Everything is found from the end of the file, so
// the stub is counted but never read. Nothing outside this module knows an offset.
//
// The key block. A classic archive's key and IV are one SHA-512 of the password, the same for
// every archive under that password. A hardened archive's come from Argon2id over the password's
// UTF-8 with a salt of its own and a stated cost, which a reader must know before it can derive
// anything, so they sit in the clear after the trailer, at the very end:
//
//     0   marker "QSFXHKEY" (8 bytes)
//     8   derivation: 1 = Argon2id version 1.3 (no other is defined)
//     9   lanes p (1-16)
//     10  passes t (u16 LE, 1-16)
//     12  memory m in KiB (u32 LE, 8p KiB to 1 GiB)
//     16  salt (16 random bytes)
//
// One Argon2id output of 112 bytes gives the AES key (0-31), the IV (32-47) and the integrity
// key (48-111). Our readers look at the last 32 bytes first: the marker there means a hardened
// archive, whose trailer is the 32 bytes before; no marker, a classic one, so a classic archive
// never costs a reader an Argon2id run (a trailer whose ciphertext happens to start with the
// marker, a 2^-64 chance, reads as a wrong password). A key block with the marker but another
// derivation or a cost outside argon2CostAcceptable is refused as corrupt before anything is
// allocated. Any other change to it (salt, a cost still in bounds) derives another key, under
// which the trailer's check value does not read zero: a wrong password. Both integrity tags cover
// it as well (see integrity_record.h).
//
// A reader that follows the classic format takes the key block for the trailer, deciphers it
// with its classic key and finds a check value that is not zero: it says wrong password and
// writes nothing. In a signed image the certificate table follows the key block, which is part
// of the archive's own end like the trailer.
#pragma once

#include <cstdint>

#include "common/archive/archive_trailer.h"
#include "common/archive/byte_buf.h"
#include "common/archive/extract_result.h"
#include "common/archive/file_table.h"
#include "common/archive/integrity_record.h"
#include "common/archive/metadata_record.h"
#include "common/crypto/password_cipher.h"
#include "common/support/file_io.h"

constexpr uint32_t kTrailerSize = 32;
constexpr uint32_t kInfoRecordHeader = 12;  // name length (4) and file size (8)
// An image this size or smaller cannot hold a file: corrupt.
constexpr uint64_t kSmallestImage = 48;
// Files are read, the data stream enciphered and the info block flushed in chunks of this size.
constexpr uint32_t kChunkSize = 512 * 1024;
// A path and its terminator fill the 260 characters Windows allows.
constexpr uint32_t kMaxPathChars = 259;

// Zero bytes that bring a region of n bytes to a multiple of 16.
constexpr uint32_t paddingTo16(uint64_t n) {
    return static_cast<uint32_t>((16 - n % 16) % 16);
}

// Writes the info record of a file (name length, size, the name without terminator) and
// returns its length, kInfoRecordHeader + the name's bytes.
uint32_t encodeInfoRecord(const FileEntry& entry, uint8_t* out);

// The length of the info record starting at `in`, of which `available` bytes are at hand:
// kInfoRecordHeader + its name's bytes. 0 when the record is bad (an empty name, half a
// character, a name longer than a stored name can be); kNeedMore when the bytes at hand do not
// hold all of it.
constexpr uint32_t kNeedMore = UINT32_MAX;
uint32_t infoRecordLength(const uint8_t* in, uint64_t available);
// Adds the record at `in`, whose length infoRecordLength gave, to the table.
bool addInfoRecord(const uint8_t* in, FileTable& files);

// Enciphers or deciphers one region in place as its own chain from the IV. The region must be
// whole blocks. Without a key the bytes stay as they are.
void encryptRegion(PasswordCipher& cipher, uint8_t* data, uint64_t bytes);
void decryptRegion(PasswordCipher& cipher, uint8_t* data, uint64_t bytes);

// The trailer as it is written: its 32 bytes enciphered as their own chain into `out`.
void sealTrailer(PasswordCipher& cipher, const ArchiveTrailer& trailer, uint8_t* out);

// What the key block says, from its 32 bytes.
enum class KeyBlockRead : uint8_t {
    kAbsent,    // no marker: a classic archive
    kHardened,  // a hardened archive; `recipe` holds its derivation, salt and cost
    kBad,       // the marker, with a derivation this reader does not know or a cost out of bounds
};
KeyBlockRead decodeKeyBlock(const uint8_t* block, KeyRecipe& recipe);
// The key block of a hardened recipe.
void encodeKeyBlock(const KeyRecipe& recipe, uint8_t* out);
// The key block an archive written under this cipher ends in: true and its bytes for a hardened
// key, false (nothing written) for a classic key or none.
bool keyBlockFor(const PasswordCipher& cipher, uint8_t* out);

// Offsets of the regions, from the trailer and the image size.
struct PayloadLocation {
    uint64_t imageSize = 0;   // N less the key block: where the trailer ends
    uint64_t dataOffset = 0;  // imageSize - 32 - I - D, which equals S
    uint64_t infoOffset = 0;  // imageSize - 32 - I
    bool hardened = false;    // the archive ends in a key block, kept here for the tags
    uint8_t keyBlock[kKeyBlockBytes] = {};

    const uint8_t* keyBlockOrNull() const { return hardened ? keyBlock : nullptr; }
};

// Reads the last 32 bytes of an image of `imageSize` bytes into `trailer` and deciphers them
// as their own chain; the cipher is left at its IV. False if they cannot be read.
bool readTrailer(File& image, uint64_t imageSize, PasswordCipher& cipher, ArchiveTrailer& trailer);

// The checks on a deciphered trailer, in order: a non-zero check value means the wrong password
// (before any size is trusted), then the sizes must add up to the image size exactly.
ExtractResult checkTrailer(const ArchiveTrailer& trailer, uint64_t imageSize);

PayloadLocation locationOf(const ArchiveTrailer& trailer, uint64_t imageSize);

// What a reader learns of the integrity record from the trailer and the info block, and the
// tag it goes on computing: with kTailRecord the data stream's leaves are still to be added,
// and the archive is whole only if the tag then matches tail.tag.
struct PayloadSeal {
    IntegrityTailKind kind = kTailClassic;
    IntegrityTail tail;
    IntegrityTag tag;
    // The names tag matched before any record was parsed (a version 2 record): the table's names
    // and sizes are the ones written, though the data is still to be checked against the tag.
    bool namesChecked = false;
    // A version 3 record's metadata: file times and folders without files, parsed after the
    // names tag matched and checked as the names are. Absent otherwise.
    ArchiveMetadata metadata;

    bool checked() const { return kind == kTailRecord; }
};

// Checks the names tag of the info block at where.infoOffset, which the trailer says ends in a
// version 2 or 3 record: reads the block as ciphertext and deciphers only its last 160 bytes (the
// guard, header and tags), so no record is parsed and nothing of a name is looked at before the
// answer. kExtractOk when it matches; kCorrupt for any failure alike (a short block, a damaged
// guard or header, a tag that does not match, a read that fails); kOutOfMemory when `scratch`
// cannot grow. The cipher is left at its IV.
ExtractResult checkNamesTag(File& image, const ArchiveTrailer& trailer,
                            const PayloadLocation& where, PasswordCipher& cipher, ByteBuf& scratch);

// Reads and deciphers the info block a chunk at a time (through `scratch`) and adds the
// trailer's count of records to `files`, so memory follows the records actually read, never
// the count the trailer claims. kOutOfMemory when memory cannot be had; kCorrupt when the block
// cannot be read, a record is bad or runs past its end, a name could lead out of the
// destination folder, two names would be one file on Windows (or one a folder of the other),
// the file sizes do not account for the data stream (all of it but at most 15 bytes of
// padding), or what follows the records is neither zero padding nor an integrity record, or is
// not the record the trailer announced, or a version 3 record's metadata is bad (see
// parseMetadata) or names a folder that clashes with a file or another folder, or the metadata
// the names tag covered (a length of M the header gives is only believed then) does not fill the
// block exactly. When the trailer announces a version 2 or 3 record, its names
// tag is checked first (namesTagMatches), before any record is parsed, and again over the bytes
// the records are then parsed from, so a file changed in between is caught too. Every failure
// of the names tag is the same kCorrupt, whatever was changed. Nothing of an archive that fails
// here is ever extracted. `seal` gets the record's state, its tag started over the trailer and the
// block.
ExtractResult readInfoBlock(File& image, const ArchiveTrailer& trailer,
                            const PayloadLocation& where, PasswordCipher& cipher, ByteBuf& scratch,
                            FileTable& files, PayloadSeal& seal);

// All of the above from the start: the image's size, the key block (with which the cipher is
// keyed through keyFor: the held password is derived from here, on the caller's thread), the
// trailer and its checks, the info block, with the log lines of each step. A cipher without a
// password or key reads a classic archive in the clear, and a hardened one as a wrong password. On
// kExtractOk the data stream begins at where.dataOffset and holds trailer.dataSize bytes, to be
// deciphered as one chain and cut into files by their sizes in table order.
ExtractResult locatePayload(File& image, PasswordCipher& cipher, ArchiveTrailer& trailer,
                            ByteBuf& scratch, FileTable& files, PayloadLocation& where,
                            PayloadSeal& seal);
// The same for callers that do not check the integrity record.
ExtractResult locatePayload(File& image, PasswordCipher& cipher, ArchiveTrailer& trailer,
                            ByteBuf& scratch, FileTable& files, PayloadLocation& where);

// Hashes the data stream's ciphertext (D bytes at where.dataOffset) into the seal's tag and
// compares: true when the record's tag matches. No second key is needed, nothing is deciphered.
// For callers that read only the table (a listing), where extraction does this as it goes.
bool verifySeal(File& image, const ArchiveTrailer& trailer, const PayloadLocation& where,
                ByteBuf& scratch, PayloadSeal& seal);
