// The archive's integrity record: MACs over everything a reader uses, kept where every reader
// that follows the format already passes over it.
//
// Where it lives. The info block holds `count` records, which end at offset R. A reader reads
// exactly `count` records and never looks past them, so the integrity record goes right after
// them, inside the info block (enciphered with it as the block's chain):
//
//     R ..                 zero bytes up to the next multiple of 16 (0-15; trailer byte 2)
//     roundup16(R)         guard: 16 zero bytes
//     roundup16(R) + 16    header: "QSFXINTG", version, algorithm, tag length 64 (u16 LE),
//                          record length (u32 LE: header and tags)
//     roundup16(R) + 32    version 2 only: the names tag, 64 bytes
//     then                 the tag, 64 bytes
//
// and the block ends there, with no padding after it: I = roundup16(R) + 96 for version 1 (record
// length 80), roundup16(R) + 160 for version 2 (record length 144). S, D, the count and the
// records keep their meaning; only I grows.
//
// Version 3 is version 2 with the metadata record (metadata_record.h: file times, folders
// without files) between the alignment zeros and the guard:
//
//     R ..                     zero bytes up to the next multiple of 16
//     roundup16(R)             metadata, M bytes (a multiple of 16)
//     roundup16(R) + M         guard: 16 zero bytes
//     roundup16(R) + M + 16    header: "QSFXINTG", 3, algorithm, tag length 64 (u16 LE),
//                              M (u32 LE, where version 2 has its record length, 144)
//     roundup16(R) + M + 32    the names tag, 64 bytes
//     then                     the tag, 64 bytes
//
// so I = roundup16(R) + M + 160, and the last 160 bytes are placed as in version 2: the reader
// still finds the names tag at I - 128 and checks it over the ciphertext before it parses a
// record, and since the metadata lies before the names tag, both tags cover it with no change
// to their messages. Only after the names tag matched is M believed, and the records must then
// end exactly where it says (roundup16(R) + M + 160 = I). Version 2 stays what a writer asked to
// keep no metadata writes. Our readers before version 3 see the trailer announce a record of a
// later version: they open the archive unverified (asking first, as for any such record), read
// exactly `count` records as always, and extract the files without their times or folders.
//
// Why the guard. In CBC a chosen bit of a plaintext block is flipped by flipping the same bit of
// the previous ciphertext block, which garbles that whole previous block. The block before the
// header must read as zeros, so any such change to the header (say, making the version one this
// reader does not know, so the tags go unchecked) shows as a damaged guard.
//
// Why the trailer announces the record (version 2). Where the records end is read from name
// lengths inside the enciphered block, and a version 1 record is only looked for there. Someone
// without the password can still grow the last name's length by flipping bits of the block before
// it (that block turns to garbage inside an earlier name), so that the name swallows the
// alignment zeros, guard, header and tag and the records end exactly at I: the archive then reads
// as one written before records existed, and its data can be changed at will. So version 2
// archives say in trailer byte 0 that a record of version 2 follows, and readers that see it
// accept nothing else: a missing, cut or altered record, a wrong marker or version, a wrong tag,
// all read as corrupt. That byte cannot be changed without the key: the trailer is its own chain
// from the secret IV, so any change to the first ciphertext block deciphers the whole of bytes
// 0-15 (the byte, I, the count, S) to unpredictable values, and the sizes no longer add up to the
// image (a 2^-64 chance at best); a change to the second block garbles the check value, which
// then reads as a wrong password. Readers that follow the format ignore byte 0 and read exactly
// `count` records, so they open version 2 archives as before; our readers before it see a record
// of a later version behind an intact guard, and open them unverified.
//
// What stays open without a salt: every archive under one password shares key and IV, so a whole
// trailer can be lifted from another archive under the same password with the same sizes. That
// gives at best an archive without an announced record, which reads as not verified (and which
// our front ends refuse unless the user agrees), or a replay of that other archive as a whole.
//
// The names tag (version 2). Before a reader parses a single record, or shows a name, it checks
// the names tag: the MAC of a 16-byte label, the trailer plaintext (32 bytes, check value 0) and
// the info block's ciphertext from its start up to the names tag (records, zeros, guard and
// header). Being over the ciphertext, it is checked without deciphering anything but the record
// at the block's end, whose place the trailer gives (I - 160), so a changed name is refused
// before the reader has looked at any name, and every change reads alike. The label's first byte
// ('Q') is never a trailer's first byte (0 or a small version), so no names tag is ever a valid
// tag of the other kind.
//
// A hardened archive (a salted, memory-hard key; see archive_format.h) ends in a key block of 32
// clear bytes after the trailer. Both tags cover it too: it follows the trailer plaintext in
// both messages, so the names tag's becomes label || trailer || key block || ciphertext and the
// tag's trailer || key block || info || dataDigest. A classic archive has no key block, and its
// tags are exactly as they always were.
//
// The tag. Algorithm 1 (the archive has a password): HMAC-SHA-512 under the 64-byte integrity
// key of PasswordCipher, which is derived from the password apart from the cipher key. Algorithm
// 2 (no password): plain SHA-512, which catches damage but not a deliberate change, since anyone
// can recompute it. The names tag uses the same algorithm. The tag's message is
//
//     trailer plaintext (32 bytes, check value 0)
//     || info block plaintext from 0 up to the tag (records, zeros, guard, header, names tag)
//     || dataDigest
//
// where dataDigest = SHA-512(leaf 0 || leaf 1 || ...) and leaf i is the SHA-256 (32 bytes) of
// the data stream's ciphertext bytes [i * 512 KiB, min((i + 1) * 512 KiB, D)); with D = 0 it is
// the SHA-512 of nothing. Hashing the data in leaves lets them be computed on another thread as
// the chunks go by, and lets the reader take the trailer and info block first while the writer
// has them only at the end: the running leaf digest and the message MAC are separate states.
// The leaves are SHA-256 because processors compute it themselves (the SHA extensions), at
// several times the speed of SHA-512 in software, so checking keeps pace with the cipher; the
// keyed step that makes the tag unforgeable is HMAC-SHA-512 over their digest.
//
// How a reader treats the tail after the records: see classifyInfoTail. Everything here is a
// pure function of bytes; the reader and writer do the file work.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/crypto/hmac_sha512.h"
#include "common/crypto/sha256.h"
#include "common/crypto/sha512.h"

// The clear key block at the end of a hardened archive (see archive_format.h).
constexpr uint32_t kKeyBlockBytes = 32;
constexpr uint32_t kIntegrityGuardSize = 16;
constexpr uint32_t kIntegrityHeaderSize = 16;
constexpr uint32_t kIntegrityTagSize = 64;
constexpr uint8_t kIntegrityMarker[8] = {'Q', 'S', 'F', 'X', 'I', 'N', 'T', 'G'};
// Version 1: the tag alone, found after the records. Written by 1.1.0; still read and verified.
constexpr uint8_t kIntegrityVersion1 = 1;
// Version 2: announced in trailer byte 0, with the names tag before the tag. What we write when
// no metadata is kept.
constexpr uint8_t kIntegrityVersion = 2;
// Version 3: version 2 with the metadata record before the guard. What we write by default.
constexpr uint8_t kIntegrityVersionMetadata = 3;
// The latest version this reader knows.
constexpr uint8_t kIntegrityNewestVersion = kIntegrityVersionMetadata;
constexpr uint8_t kNamesTagLabel[16] = {'Q', 'S', 'F', 'X', ' ', 'n', 'a', 'm',
                                        'e', 's', ' ', 't', 'a', 'g', ' ', '2'};

// Header and tags of a record of this version (1, or 2 and 3): 80 or 144 bytes.
constexpr uint32_t recordLengthOf(uint8_t version) {
    return kIntegrityHeaderSize + kIntegrityTagSize * (version >= 2 ? 2 : 1);
}
// Guard, header and tags: what follows the alignment zeros. 96 or 160 bytes.
constexpr uint32_t recordTailSize(uint8_t version) {
    return kIntegrityGuardSize + recordLengthOf(version);
}
// The longest tail of any version this reader knows.
constexpr uint32_t kIntegrityLongestTail = recordTailSize(kIntegrityVersion);  // 160
static_assert(recordTailSize(kIntegrityVersionMetadata) == kIntegrityLongestTail);
constexpr uint8_t kIntegrityKeyed = 1;    // HMAC-SHA-512 under the password's integrity key
constexpr uint8_t kIntegrityUnkeyed = 2;  // SHA-512, for an archive without a password
constexpr uint32_t kIntegrityChunkSize = 512 * 1024;
constexpr uint32_t kIntegrityLeafSize = kSha256Size;

// The first multiple of 16 at or after n.
constexpr uint64_t roundUp16(uint64_t n) {
    return (n + 15) / 16 * 16;
}

// Bytes a record of `version` adds after records ending at `recordsEnd`: alignment zeros,
// guard, header and tags.
constexpr uint32_t recordBytesFor(uint32_t recordsEnd, uint8_t version = kIntegrityVersion1) {
    return static_cast<uint32_t>(roundUp16(recordsEnd) - recordsEnd + recordTailSize(version));
}

// Where a version 2 record's names tag starts in the info block, which is also how much of the
// block (as ciphertext) the names tag covers: I - 128.
constexpr uint32_t namesTagOffsetFor(uint32_t recordsEnd) {
    return static_cast<uint32_t>(roundUp16(recordsEnd) + kIntegrityGuardSize +
                                 kIntegrityHeaderSize);
}

// Where the tag starts in the info block, which is also how much of the block the tag covers.
constexpr uint32_t tagOffsetFor(uint32_t recordsEnd, uint8_t version = kIntegrityVersion1) {
    return namesTagOffsetFor(recordsEnd) + (version >= 2 ? kIntegrityTagSize : 0);
}

// Writes the alignment zeros, guard, header and (for version 1) the tag at `out`, which is the
// info block at offset `recordsEnd`, and returns recordBytesFor(recordsEnd, version). The tags
// cover the header, so a writer encodes with a null `tag` (zeros in place of both tags),
// computes them, and then copies them to namesTagOffsetFor and tagOffsetFor.
// For version 3 the metadata's M bytes come before, and `recordsEnd` is where they end (a
// multiple of 16, so no alignment zeros are written); `metadataBytes` is M, for the header.
uint32_t encodeRecord(uint32_t recordsEnd, bool keyed, const uint8_t* tag, uint8_t* out,
                      uint8_t version = kIntegrityVersion1, uint32_t metadataBytes = 0);

enum IntegrityTailKind : int {
    // Fewer than 16 bytes after the records, all zero: an archive written before the record
    // existed, or by another writer. Opened as always, not verified.
    kTailClassic = 0,
    // A valid record of a version this reader knows: the tag is to be checked.
    kTailRecord = 1,
    // A record of a later version than this reader knows, announced by the trailer (or, in an
    // archive that announces nothing, the marker and such a version behind an intact guard).
    // Opened as always, not verified.
    kTailLaterVersion = 2,
    // Anything else: non-zero bytes where zeros belong, a wrong marker, version 0, an algorithm
    // that does not match whether there is a password, a wrong tag or record length, a block
    // that does not end right after its tag, a record other than the one the trailer announced,
    // or a version 2 record the trailer did not announce (only ever written announced).
    kTailCorrupt = 3,
};

struct IntegrityTail {
    uint8_t version = 0;     // from the header; 0 for a classic archive
    uint32_t tagOffset = 0;  // kTailRecord: where the tag starts, and how far the tag covers
    uint8_t tag[kIntegrityTagSize] = {};       // kTailRecord: the stored tag
    uint8_t namesTag[kIntegrityTagSize] = {};  // kTailRecord of version 2: the stored names tag
    // kTailRecord of version 3: where the metadata starts, counted from the records' end (the
    // alignment zeros), and its length M.
    uint32_t metadataAt = 0;
    uint32_t metadataBytes = 0;
};

// The bytes of the tail a reader must hold to classify it: all of it, or one byte more than the
// longest tail of a version it knows, which is enough to call anything longer corrupt. A version
// 3 tail is held whole, metadata and all.
constexpr uint32_t kIntegrityTailLook = 15 + kIntegrityLongestTail + 1;

// Looks at the deciphered tail of an info block of `infoSize` bytes whose `count` records end at
// `recordsEnd`: `tail` holds its first `held` bytes, which must be all of it or at least
// kIntegrityTailLook. `keyed` says whether the archive is read with a password; `announced` is
// trailer byte 0, the version the trailer says the record has (0: none said).
IntegrityTailKind classifyInfoTail(const uint8_t* tail, uint32_t held, uint32_t recordsEnd,
                                   uint32_t infoSize, bool keyed, uint8_t announced,
                                   IntegrityTail& out);
// The same for an archive whose trailer announces nothing.
inline IntegrityTailKind classifyInfoTail(const uint8_t* tail, uint32_t held, uint32_t recordsEnd,
                                          uint32_t infoSize, bool keyed, IntegrityTail& out) {
    return classifyInfoTail(tail, held, recordsEnd, infoSize, keyed, 0, out);
}

// Looks at the last recordTailSize(2) bytes of an info block whose trailer announces a record of
// `version` (2 or 3), deciphered (`end`), before any record is parsed: an intact guard, a header
// of that version for the archive's algorithm and record length (for version 3, a metadata
// length that is a multiple of 16). True and the stored names tag in `namesTag` when they are;
// the tag itself is the caller's to compare.
bool readAnnouncedRecord(const uint8_t* end, bool keyed, uint8_t* namesTag,
                         uint8_t version = kIntegrityVersion);

// The message digest both tags are made with: HMAC-SHA-512 under the integrity key, or plain
// SHA-512 for an archive without a password. Wiped when it goes.
class TagDigest {
  public:
    TagDigest() = default;
    ~TagDigest();
    TagDigest(const TagDigest&) = delete;
    TagDigest& operator=(const TagDigest&) = delete;
    // Starts a message, keyed with the 64-byte `key`, or unkeyed with null.
    void start(const uint8_t* key);
    void add(const uint8_t* data, std::size_t length);
    // Writes the 64-byte digest; start begins the next message.
    void finish(uint8_t* out);

  private:
    bool keyed_ = false;
    HmacSha512 mac_;
    Sha512Context plain_{};
};

// finish's 64 bytes of `digest` against `storedTag`, in constant time; false as well unless
// `whole` (the message was made as its recipe says).
bool tagMatches(bool whole, TagDigest& digest, const uint8_t* storedTag);

// The names tag of a version 2 record (see the top of this file), computed as the ciphertext goes
// by. Keyed with the integrity key, or the plain digest without one. Wiped when it goes.
class NamesTag {
  public:
    explicit NamesTag(const uint8_t* key = nullptr);
    NamesTag(const NamesTag&) = delete;
    NamesTag& operator=(const NamesTag&) = delete;
    // Starts over with the label, keyed with `key` (or unkeyed).
    void restart(const uint8_t* key);
    // The 32 trailer bytes as plaintext, with the key block of a hardened archive right after
    // them (null for a classic one), then the info block's ciphertext in pieces, in order.
    void addTrailer(const uint8_t* trailer, const uint8_t* keyBlock = nullptr);
    void addCipherText(const uint8_t* data, std::size_t length);
    // Writes the tag; the object is spent afterwards. False if the trailer is missing.
    bool finish(uint8_t* tag);
    // finish, then compares with the stored tag in constant time.
    bool matches(const uint8_t* storedTag);

  private:
    bool trailerAdded_ = false;
    bool finished_ = false;
    TagDigest digest_;
};

// The tag, computed as the parts go by (see the top of this file). Either order works: the
// reader adds the trailer and info block first and the data after, the writer the data first.
// The trailer must come before the info block. Every state is wiped when the object goes.
class IntegrityTag {
  public:
    // `key`: the 64-byte integrity key of PasswordCipher, or null for the unkeyed digest.
    explicit IntegrityTag(const uint8_t* key = nullptr);
    ~IntegrityTag();
    IntegrityTag(const IntegrityTag&) = delete;
    IntegrityTag& operator=(const IntegrityTag&) = delete;
    // Starts over, keyed with `key` (or unkeyed).
    void restart(const uint8_t* key);

    // The leaf of one chunk of data-stream ciphertext (kIntegrityChunkSize bytes, the last one
    // shorter). Needs no object, so a helper thread can compute leaves while the cipher runs.
    static void leafOf(const uint8_t* chunk, uint32_t length, uint8_t* leaf);
    // Folds the next leaf in, in chunk order.
    void addLeaf(const uint8_t* leaf);
    // The same from the data itself in pieces of any size: cut into chunks here. Not to be
    // mixed with addLeaf within one chunk.
    void addData(const uint8_t* data, std::size_t length);

    // The 32 trailer bytes as plaintext (check value 0), with the key block of a hardened archive
    // right after them (null for a classic one, whose tag is as it always was).
    void addTrailer(const uint8_t* trailer, const uint8_t* keyBlock = nullptr);
    // The info block plaintext up to the tag, in one call or in pieces, in order.
    void addInfo(const uint8_t* info, uint32_t length);

    // Writes the tag. False (and a zero tag) if the parts came in an order the recipe does not
    // allow: the info block before the trailer, the trailer twice, a part missing, or leaves
    // added while addData had half a chunk. The object is spent afterwards.
    bool finish(uint8_t* tag);
    // finish, then compares with the stored tag in constant time.
    bool matches(const uint8_t* storedTag);

  private:
    enum Stage : uint8_t { kNothing, kTrailerAdded, kInfoAdded, kFinished, kMisused };

    Stage stage_ = kNothing;
    uint32_t chunkFill_ = 0;  // bytes of the current chunk addData has taken
    TagDigest message_;       // trailer || info block || leaf digest
    Sha512Context leaves_;    // leaf 0 || leaf 1 || ...
    Sha256Context chunk_;     // addData's current chunk
};
