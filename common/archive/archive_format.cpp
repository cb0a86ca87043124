#include "common/archive/archive_format.h"

#include <cstring>

#include "common/archive/name_clash.h"
#include "common/archive/signed_image.h"
#include "common/archive/stored_name.h"
#include "common/support/little_endian.h"
#include "common/support/log.h"
#include "common/support/secure_zero.h"

namespace {

constexpr uint8_t kKeyBlockMarker[8] = {'Q', 'S', 'F', 'X', 'H', 'K', 'E', 'Y'};
constexpr uint8_t kKeyDerivationArgon2id13 = 1;

// A clash of names is a corrupt archive; finding out may run out of memory.
ExtractResult clashResult(ClashCheck check) {
    if (check == ClashCheck::kClash) return kCorrupt;
    return check == ClashCheck::kOutOfMemory ? kOutOfMemory : kExtractOk;
}

}  // namespace

KeyBlockRead decodeKeyBlock(const uint8_t* block, KeyRecipe& recipe) {
    if (std::memcmp(block, kKeyBlockMarker, sizeof kKeyBlockMarker) != 0) {
        return KeyBlockRead::kAbsent;
    }
    recipe = KeyRecipe{};
    recipe.kind = KeyKind::kHardened;
    recipe.cost.lanes = block[9];
    recipe.cost.passes = static_cast<uint32_t>(block[10] | (block[11] << 8));
    recipe.cost.memoryKiB = get32(block + 12);
    std::memcpy(recipe.salt, block + 16, kKeySaltBytes);
    if (block[8] != kKeyDerivationArgon2id13 || !argon2CostAcceptable(recipe.cost)) {
        return KeyBlockRead::kBad;
    }
    return KeyBlockRead::kHardened;
}

void encodeKeyBlock(const KeyRecipe& recipe, uint8_t* out) {
    std::memcpy(out, kKeyBlockMarker, sizeof kKeyBlockMarker);
    out[8] = kKeyDerivationArgon2id13;
    out[9] = static_cast<uint8_t>(recipe.cost.lanes);
    out[10] = static_cast<uint8_t>(recipe.cost.passes);
    out[11] = static_cast<uint8_t>(recipe.cost.passes >> 8);
    put32(out + 12, recipe.cost.memoryKiB);
    std::memcpy(out + 16, recipe.salt, kKeySaltBytes);
}

bool keyBlockFor(const PasswordCipher& cipher, uint8_t* out) {
    if (cipher.kind() != KeyKind::kHardened) return false;
    encodeKeyBlock(cipher.recipe(), out);
    return true;
}

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

uint32_t infoRecordLength(const uint8_t* in, uint64_t available) {
    if (available < 4) return kNeedMore;
    const uint32_t length = get32(in);
    // A name is whole UTF-16 characters, at least one, and no longer than a stored name can be.
    if (length == 0 || length % 2 != 0 || length > kMaxNameBytes) return 0;
    if (available < kInfoRecordHeader + length) return kNeedMore;
    return kInfoRecordHeader + length;
}

bool addInfoRecord(const uint8_t* in, FileTable& files) {
    const uint32_t chars = get32(in) / 2;
    char16_t name[kMaxNameChars];
    const uint8_t* p = in + kInfoRecordHeader;
    for (uint32_t i = 0; i < chars; ++i) {
        name[i] = static_cast<char16_t>(p[2 * i] | (p[2 * i + 1] << 8));
    }
    return files.add(name, chars, get64(in + 4));
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

void sealTrailer(PasswordCipher& cipher, const ArchiveTrailer& trailer, uint8_t* out) {
    std::memcpy(out, trailer.bytes(), kTrailerSize);
    encryptRegion(cipher, out, kTrailerSize);
}

bool readTrailer(File& image, uint64_t imageSize, PasswordCipher& cipher, ArchiveTrailer& trailer) {
    std::memset(&trailer, 0, sizeof trailer);
    if (imageSize < kTrailerSize || !image.seek(imageSize - kTrailerSize)) return false;
    if (!image.readAll(trailer.bytes(), kTrailerSize)) return false;
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

ExtractResult checkNamesTag(File& image, const ArchiveTrailer& trailer,
                            const PayloadLocation& where, PasswordCipher& cipher,
                            ByteBuf& scratch) {
    const uint32_t infoSize = trailer.infoSize;
    constexpr uint32_t kRecord = recordTailSize(kIntegrityVersion);  // guard, header, two tags
    if (infoSize < kRecord) return kCorrupt;
    const uint32_t covered = infoSize - 2 * kIntegrityTagSize;  // up to the names tag
    const uint32_t most = infoSize < kChunkSize ? infoSize : kChunkSize;
    if (!scratch.ensureCapacity(most)) return kOutOfMemory;
    NamesTag names(cipher.integrityKey());
    names.addTrailer(trailer.bytes(), where.keyBlockOrNull());
    if (!image.seek(where.infoOffset)) return kCorrupt;
    for (uint32_t done = 0; done < covered;) {
        const uint32_t left = covered - done;
        const uint32_t piece = left < most ? left : most;
        if (!image.readAll(scratch.data, piece)) return kCorrupt;
        names.addCipherText(scratch.data, piece);
        done += piece;
    }
    // The record, with the ciphertext block before it, which its first block chains from (the IV
    // when the block holds nothing else): the first block deciphered is thrown away.
    uint8_t end[16 + kRecord];
    const bool alone = infoSize == kRecord;
    const uint32_t from = alone ? 0 : infoSize - kRecord - 16;
    uint8_t* record = alone ? end : end + 16;
    ExtractResult result = kCorrupt;
    if (image.seek(where.infoOffset + from) &&
        image.readAll(alone ? record : end, alone ? kRecord : kRecord + 16)) {
        cipher.restartChain();
        cipher.decryptBlocks(alone ? record : end, (alone ? kRecord : kRecord + 16) / 16);
        uint8_t stored[kIntegrityTagSize];
        if (readAnnouncedRecord(record, cipher.hasKey(), stored, trailer.recordVersion) &&
            names.matches(stored)) {
            result = kExtractOk;
        }
        secureZero(stored, sizeof stored);
    }
    cipher.restartChain();
    secureZero(end, sizeof end);
    return result;
}

ExtractResult readInfoBlock(File& image, const ArchiveTrailer& trailer,
                            const PayloadLocation& where, PasswordCipher& cipher, ByteBuf& scratch,
                            FileTable& files, PayloadSeal& seal) {
    const uint32_t infoSize = trailer.infoSize;
    const uint32_t count = trailer.fileCount;
    seal.kind = kTailClassic;
    seal.tail = IntegrityTail{};
    seal.namesChecked = false;
    seal.metadata.release();
    seal.tag.restart(cipher.integrityKey());
    seal.tag.addTrailer(trailer.bytes(), where.keyBlockOrNull());
    // Every record takes at least its header and one character, so a count the block cannot
    // hold is damage, found before anything is read.
    if (uint64_t{count} * (kInfoRecordHeader + 2) > infoSize) return kCorrupt;
    // A chunk, and room before it for the start of a record the last chunk cut (or for the
    // records' tail, read after them).
    constexpr uint32_t kCarryRoom = 1024;
    const uint32_t most = infoSize < kChunkSize ? infoSize : kChunkSize;
    if (!scratch.ensureCapacity(most + kCarryRoom)) return kOutOfMemory;
    // An announced version 2 record: its names tag before a single record is parsed. Then the
    // same tag again over the ciphertext as the records are read from it, which must match too.
    const uint8_t announced = trailer.recordVersion;
    const bool namesTagged =
        announced == kIntegrityVersion || announced == kIntegrityVersionMetadata;
    NamesTag names(cipher.integrityKey());
    uint32_t namesCovered = 0;
    if (namesTagged) {
        const ExtractResult checked = checkNamesTag(image, trailer, where, cipher, scratch);
        if (checked != kExtractOk) {
            logLine(1, "integrity", u"integrity record: the names tag does not match");
            return checked;
        }
        names.addTrailer(trailer.bytes(), where.keyBlockOrNull());
        namesCovered = infoSize - 2 * kIntegrityTagSize;
    }
    if (!image.seek(where.infoOffset)) return kCorrupt;
    files.release();

    cipher.restartChain();
    uint8_t* buf = scratch.data;
    uint32_t have = 0;        // deciphered bytes at the front of the buffer, not yet parsed
    uint64_t readSoFar = 0;   // of the block
    uint64_t total = 0;       // sizes of the files so far
    uint32_t recordsEnd = 0;  // where the records parsed so far end in the block
    ExtractResult result = kExtractOk;
    // Reads and deciphers the block's next `piece` bytes into `to`.
    auto readInto = [&](uint8_t* to, uint32_t piece) {
        if (!image.readAll(to, piece)) return false;
        if (readSoFar < namesCovered) {
            const uint64_t left = namesCovered - readSoFar;
            names.addCipherText(to, left < piece ? static_cast<uint32_t>(left) : piece);
        }
        cipher.decryptBlocks(to, piece / 16);
        readSoFar += piece;
        return true;
    };
    // The same behind what the buffer holds.
    auto readPiece = [&](uint32_t piece) {
        if (!readInto(buf + have, piece)) return false;
        have += piece;
        return true;
    };
    while (files.count() < count && result == kExtractOk) {
        const uint64_t left = infoSize - readSoFar;
        if (left == 0) {
            result = kCorrupt;  // the records run past the end of the block
            break;
        }
        if (!readPiece(left < most ? static_cast<uint32_t>(left) : most)) {
            result = kCorrupt;
            break;
        }
        const bool last = readSoFar == infoSize;
        uint32_t at = 0;
        while (files.count() < count) {
            const uint32_t used = infoRecordLength(buf + at, have - at);
            if (used == kNeedMore && !last) break;
            if (used == 0 || used == kNeedMore) {
                result = kCorrupt;
                break;
            }
            if (!addInfoRecord(buf + at, files)) {
                result = kOutOfMemory;
                break;
            }
            const uint32_t i = files.count() - 1;
            const FileEntry e = files.at(i);
            logLine(3, "read_files_to_crypt", u"#%d file size:%I64d %s", static_cast<int>(i),
                    static_cast<long long>(e.size), e.name);
            at += used;
            if (!isSafeStoredName(e.name, e.nameLength / 2) || e.size > trailer.dataSize - total) {
                result = kCorrupt;
                break;
            }
            total += e.size;
        }
        // The records parsed go into the tag; what is left is the start of a record (under one
        // record's length), or the tail after the last: to the front.
        seal.tag.addInfo(buf, at);
        recordsEnd += at;
        std::memmove(buf, buf + at, have - at);
        have -= at;
    }
    // The tail after the records: enough of it to tell padding from a record, or a version 3
    // tail whole, metadata and all, in a buffer of its own. Its size is bounded by what the
    // metadata of `count` files and the most folders can take, so no more is ever allocated
    // than such an archive needs, whatever the block's size says.
    const uint32_t tailLength = infoSize - recordsEnd;
    ByteBuf wholeTail;
    uint8_t* tail = buf;
    if (result == kExtractOk && announced == kIntegrityVersionMetadata) {
        const uint64_t most = kMetadataHeader + uint64_t{count} * kMetadataTimeBytes +
                              uint64_t{kMaxMetadataFolders} * (kInfoRecordHeader + kMaxNameBytes) +
                              15 + 16 + kIntegrityLongestTail;
        if (tailLength > most) {
            result = kCorrupt;
        } else if (!wholeTail.ensureCapacity(tailLength)) {
            result = kOutOfMemory;
        } else {
            std::memcpy(wholeTail.data, buf, have);
            tail = wholeTail.data;
            for (uint32_t held = have; result == kExtractOk && held < tailLength;) {
                const uint32_t left = tailLength - held;
                const uint32_t piece = left < kChunkSize ? left : kChunkSize;
                if (!readInto(tail + held, piece)) result = kCorrupt;
                held += piece;
            }
            have = tailLength;
        }
    }
    const uint32_t look = tailLength < kIntegrityTailLook ? tailLength : kIntegrityTailLook;
    while (result == kExtractOk && have < look) {
        const uint64_t left = infoSize - readSoFar;
        if (!readPiece(left < 128 ? static_cast<uint32_t>(left) : 128)) result = kCorrupt;
    }
    if (result == kExtractOk) {
        const uint32_t held = have < tailLength ? have : tailLength;
        seal.kind = classifyInfoTail(tail, held, recordsEnd, infoSize, cipher.hasKey(), announced,
                                     seal.tail);
        if (seal.kind == kTailCorrupt) {
            logLine(1, "read_files_to_crypt", u"damage after the records");
            result = kCorrupt;
        } else if (seal.kind == kTailRecord) {
            seal.tag.addInfo(tail, seal.tail.tagOffset - recordsEnd);
            if (namesTagged) {
                // Read for the second time: what was parsed must be what was checked.
                seal.namesChecked = names.matches(seal.tail.namesTag);
                if (!seal.namesChecked) {
                    logLine(1, "integrity", u"integrity record: the names tag does not match");
                    result = kCorrupt;
                }
            }
            if (result == kExtractOk && seal.tail.version == kIntegrityVersionMetadata &&
                !parseMetadata(tail + seal.tail.metadataAt, seal.tail.metadataBytes, count,
                               seal.metadata)) {
                logLine(1, "read_files_to_crypt", u"metadata record refused");
                result = kCorrupt;
            }
        }
    }
    cipher.restartChain();
    secureZero(buf, scratch.capacity);
    // The sizes must account for the data stream: all of it but its padding.
    if (result == kExtractOk && trailer.dataSize - total > 15) result = kCorrupt;
    if (result == kExtractOk) {
        NameClash clash;
        const ClashCheck check = findNameClash(files, clash);
        if (check == ClashCheck::kClash) {
            logLine(1, "read_files_to_crypt", u"#%d and #%d are one file on Windows",
                    static_cast<int>(clash.first), static_cast<int>(clash.second));
        }
        result = clashResult(check);
    }
    if (result == kExtractOk && seal.metadata.present()) {
        NameClash clash;
        const ClashCheck check = findMetadataClash(files, seal.metadata, clash);
        if (check == ClashCheck::kClash) {
            logLine(1, "read_files_to_crypt", u"a folder of the metadata clashes with #%d",
                    static_cast<int>(clash.first));
        }
        result = clashResult(check);
    }
    if (result != kExtractOk) {
        files.release();
        seal.kind = kTailClassic;
        seal.namesChecked = false;
        seal.metadata.release();
    }
    return result;
}

bool verifySeal(File& image, const ArchiveTrailer& trailer, const PayloadLocation& where,
                ByteBuf& scratch, PayloadSeal& seal) {
    if (!seal.checked()) return false;
    if (!scratch.ensureCapacity(kChunkSize) || !image.seek(where.dataOffset)) return false;
    for (uint64_t position = 0; position < trailer.dataSize; position += kChunkSize) {
        const uint64_t left = trailer.dataSize - position;
        const uint32_t bytes = left < kChunkSize ? static_cast<uint32_t>(left) : kChunkSize;
        if (!image.readAll(scratch.data, bytes)) return false;
        uint8_t leaf[kIntegrityLeafSize];
        IntegrityTag::leafOf(scratch.data, bytes, leaf);
        seal.tag.addLeaf(leaf);
    }
    return seal.tag.matches(seal.tail.tag);
}

namespace {

// Reads what ends at `end` for a key block and keys the cipher for it: where.imageSize becomes
// the trailer's end (before the key block, if there is one). kCorrupt for a key block this
// reader refuses, kWrongPassword when the cipher cannot open an archive of this kind, kOutOfMemory
// when the derivation found no memory.
ExtractResult keyForEnd(File& image, uint64_t end, PasswordCipher& cipher, PayloadLocation& where) {
    where = PayloadLocation{};
    where.imageSize = end;
    if (!image.seek(end - kKeyBlockBytes) || !image.readAll(where.keyBlock, kKeyBlockBytes)) {
        return kCorrupt;
    }
    KeyRecipe recipe;
    switch (decodeKeyBlock(where.keyBlock, recipe)) {
        case KeyBlockRead::kBad:
            logLine(1, "read_files_to_crypt", u"key block: unknown derivation or cost refused");
            return kCorrupt;
        case KeyBlockRead::kAbsent:
            std::memset(where.keyBlock, 0, sizeof where.keyBlock);
            // A cipher without any password reads a classic archive in the clear, as always.
            if (!cipher.holdsPassword() && !cipher.hasKey()) return kExtractOk;
            if (!cipher.keyFor(recipe)) return kWrongPassword;
            logLine(3, "read_files_to_crypt", u"key: classic");
            return kExtractOk;
        case KeyBlockRead::kHardened:
            break;
    }
    where.hardened = true;
    where.imageSize = end - kKeyBlockBytes;
    logLine(3, "read_files_to_crypt", u"key: Argon2id, %d KiB, %d passes, %d lanes",
            static_cast<int>(recipe.cost.memoryKiB), static_cast<int>(recipe.cost.passes),
            static_cast<int>(recipe.cost.lanes));
    // Without a held password only a key already derived for this very recipe opens it (the
    // writer reading back what it signed); with one, failing to derive means no memory.
    if (cipher.keyFor(recipe)) return kExtractOk;
    return cipher.holdsPassword() ? kOutOfMemory : kWrongPassword;
}

}  // namespace

ExtractResult locatePayload(File& image, PasswordCipher& cipher, ArchiveTrailer& trailer,
                            ByteBuf& scratch, FileTable& files, PayloadLocation& where,
                            PayloadSeal& seal) {
    const int64_t size = image.size();
    if (size < 0 || static_cast<uint64_t>(size) <= kSmallestImage) return kCorrupt;
    // A signed image ends in its certificate table, after zero padding that cannot be told from
    // the trailer's last bytes: each possible end is tried, the latest first, and the first
    // whose trailer checks out is the payload's. An unsigned image has one end, its size.
    const PayloadEnd found = findPayloadEnd(image, static_cast<uint64_t>(size));
    ExtractResult verdict = kWrongPassword;
    for (uint32_t back = 0; back <= found.zeroBytes; ++back) {
        const uint64_t end = found.end - back;
        if (end <= kSmallestImage) return kCorrupt;
        const ExtractResult keyed = keyForEnd(image, end, cipher, where);
        if (keyed == kOutOfMemory) return keyed;
        if (keyed != kExtractOk) {
            if (keyed == kCorrupt) verdict = kCorrupt;
            continue;
        }
        const uint64_t imageSize = where.imageSize;
        if (imageSize <= kSmallestImage || !readTrailer(image, imageSize, cipher, trailer)) {
            return kCorrupt;
        }
        logLine(3, "read_files_to_crypt",
                u"file size:%I64d, sfx size:%d, encr data size:%I64d, info size:%d, 32, and all "
                u"must be:%I64d",
                static_cast<long long>(imageSize), static_cast<int>(trailer.stubSize),
                static_cast<long long>(trailer.dataSize), static_cast<int>(trailer.infoSize),
                static_cast<long long>(uint64_t{trailer.stubSize} + trailer.dataSize +
                                       trailer.infoSize + kTrailerSize));
        const ExtractResult checked = checkTrailer(trailer, imageSize);
        if (checked == kCorrupt) verdict = kCorrupt;
        if (checked != kExtractOk) continue;
        const PayloadLocation found = locationOf(trailer, imageSize);
        where.dataOffset = found.dataOffset;
        where.infoOffset = found.infoOffset;
        return readInfoBlock(image, trailer, where, cipher, scratch, files, seal);
    }
    return verdict;
}

ExtractResult locatePayload(File& image, PasswordCipher& cipher, ArchiveTrailer& trailer,
                            ByteBuf& scratch, FileTable& files, PayloadLocation& where) {
    PayloadSeal seal;
    return locatePayload(image, cipher, trailer, scratch, files, where, seal);
}
