// The archive's integrity record: a MAC over everything a reader uses, kept where every reader
// that follows the format already passes over it.
//
// Where it lives. The info block holds `count` records, which end at offset R. A reader reads
// exactly `count` records and never looks past them, so the integrity record goes right after
// them, inside the info block (enciphered with it as the block's chain):
//
//     R ..                 zero bytes up to the next multiple of 16 (0-15; trailer byte 2)
//     roundup16(R)         guard: 16 zero bytes
//     roundup16(R) + 16    header: "QSFXINTG", version 1, algorithm, tag length 64 (u16 LE),
//                          record length 80 (u32 LE: header and tag)
//     roundup16(R) + 32    tag: 64 bytes
//
// and the block ends there, I = roundup16(R) + 96, with no padding after it. S, D, the count and
// the records keep their meaning; only I grows.
//
// Why the guard. In CBC a chosen bit of a plaintext block is flipped by flipping the same bit of
// the previous ciphertext block, which garbles that whole previous block. The block before the
// header must read as zeros, so any such change to the header (say, making the version one this
// reader does not know, so the tag goes unchecked) shows as a damaged guard.
//
// What the tag covers. Algorithm 1 (the archive has a password): HMAC-SHA-512 under the 64-byte
// integrity key of PasswordCipher, which is derived from the password apart from the cipher key.
// Algorithm 2 (no password): plain SHA-512, which catches damage but not a deliberate change,
// since anyone can recompute it. The message is
//
//     trailer plaintext (32 bytes, check value 0)
//     || info block plaintext from 0 up to the tag (records, zeros, guard, header)
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

constexpr uint32_t kIntegrityGuardSize = 16;
constexpr uint32_t kIntegrityHeaderSize = 16;
constexpr uint32_t kIntegrityTagSize = 64;
constexpr uint32_t kIntegrityRecordLength = kIntegrityHeaderSize + kIntegrityTagSize;  // 80
// Guard, header and tag: what follows the alignment zeros.
constexpr uint32_t kIntegrityTailSize = kIntegrityGuardSize + kIntegrityRecordLength;  // 96
constexpr uint8_t kIntegrityMarker[8] = {'Q', 'S', 'F', 'X', 'I', 'N', 'T', 'G'};
constexpr uint8_t kIntegrityVersion = 1;
constexpr uint8_t kIntegrityKeyed = 1;    // HMAC-SHA-512 under the password's integrity key
constexpr uint8_t kIntegrityUnkeyed = 2;  // SHA-512, for an archive without a password
constexpr uint32_t kIntegrityChunkSize = 512 * 1024;
constexpr uint32_t kIntegrityLeafSize = kSha256Size;

// The first multiple of 16 at or after n.
constexpr uint64_t roundUp16(uint64_t n) {
    return (n + 15) / 16 * 16;
}

// Bytes the record adds after records ending at `recordsEnd`: alignment zeros, guard, header
// and tag.
constexpr uint32_t recordBytesFor(uint32_t recordsEnd) {
    return static_cast<uint32_t>(roundUp16(recordsEnd) - recordsEnd + kIntegrityTailSize);
}

// Where the tag starts in the info block, which is also how much of the block the tag covers.
constexpr uint32_t tagOffsetFor(uint32_t recordsEnd) {
    return static_cast<uint32_t>(roundUp16(recordsEnd) + kIntegrityGuardSize +
                                 kIntegrityHeaderSize);
}

// Writes the alignment zeros, guard, header and tag at `out`, which is the info block at offset
// `recordsEnd`, and returns recordBytesFor(recordsEnd). The tag covers the header, so a writer
// encodes with a null `tag` (zeros in its place), computes the tag over the block, and then
// copies it to tagOffsetFor(recordsEnd).
uint32_t encodeRecord(uint32_t recordsEnd, bool keyed, const uint8_t* tag, uint8_t* out);

enum IntegrityTailKind : int {
    // Fewer than 16 bytes after the records, all zero: an archive written before the record
    // existed, or by another writer. Opened as always, not verified.
    kTailClassic = 0,
    // A valid version 1 record: the tag is to be checked.
    kTailRecord = 1,
    // The marker and a version after 1, behind an intact guard: a later format this reader does
    // not know. Opened as always, not verified.
    kTailLaterVersion = 2,
    // Anything else: non-zero bytes where zeros belong, a wrong marker, version 0, an algorithm
    // that does not match whether there is a password, a wrong tag or record length, or a
    // version 1 block that does not end right after its tag.
    kTailCorrupt = 3,
};

struct IntegrityTail {
    uint8_t version = 0;     // from the header; 0 for a classic archive
    uint32_t tagOffset = 0;  // kTailRecord: where the tag starts, and how far the tag covers
    uint8_t tag[kIntegrityTagSize] = {};  // kTailRecord: the stored tag
};

// The bytes of the tail a reader must hold to classify it: all of it, or one byte more than a
// version 1 record's longest tail, which is enough to call anything longer corrupt.
constexpr uint32_t kIntegrityTailLook = 15 + kIntegrityTailSize + 1;

// Looks at the deciphered tail of an info block of `infoSize` bytes whose `count` records end at
// `recordsEnd`: `tail` holds its first `held` bytes, which must be all of it or at least
// kIntegrityTailLook. `keyed` says whether the archive is read with a password.
IntegrityTailKind classifyInfoTail(const uint8_t* tail, uint32_t held, uint32_t recordsEnd,
                                   uint32_t infoSize, bool keyed, IntegrityTail& out);

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

    // The 32 trailer bytes as plaintext (check value 0).
    void addTrailer(const uint8_t* trailer);
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

    bool keyed_;
    Stage stage_ = kNothing;
    uint32_t chunkFill_ = 0;  // bytes of the current chunk addData has taken
    HmacSha512 mac_;          // the message, keyed
    Sha512Context plain_;     // the message, unkeyed
    Sha512Context leaves_;    // leaf 0 || leaf 1 || ...
    Sha256Context chunk_;     // addData's current chunk
};
