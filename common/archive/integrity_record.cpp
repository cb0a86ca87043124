#include "common/archive/integrity_record.h"

#include <cstring>

#include "common/crypto/constant_time.h"
#include "common/support/secure_zero.h"

namespace {

// Header fields, as offsets inside the 16-byte header.
constexpr uint32_t kMarkerAt = 0;
constexpr uint32_t kVersionAt = 8;
constexpr uint32_t kAlgorithmAt = 9;
constexpr uint32_t kTagLengthAt = 10;
constexpr uint32_t kRecordLengthAt = 12;

bool allZero(const uint8_t* p, uint64_t n) {
    uint8_t any = 0;
    for (uint64_t i = 0; i < n; ++i) any |= p[i];
    return any == 0;
}

uint32_t readLe(const uint8_t* p, int bytes) {
    uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | p[i];
    return v;
}

void writeLe(uint8_t* p, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

}  // namespace

uint32_t encodeRecord(uint32_t recordsEnd, bool keyed, const uint8_t* tag, uint8_t* out,
                      uint8_t version, uint32_t metadataBytes) {
    const uint32_t total = recordBytesFor(recordsEnd, version);
    std::memset(out, 0, total);
    uint8_t* header = out + (total - recordLengthOf(version));
    std::memcpy(header + kMarkerAt, kIntegrityMarker, sizeof kIntegrityMarker);
    header[kVersionAt] = version;
    header[kAlgorithmAt] = keyed ? kIntegrityKeyed : kIntegrityUnkeyed;
    writeLe(header + kTagLengthAt, kIntegrityTagSize, 2);
    writeLe(header + kRecordLengthAt,
            version == kIntegrityVersionMetadata ? metadataBytes : recordLengthOf(version), 4);
    if (tag != nullptr) std::memcpy(out + total - kIntegrityTagSize, tag, kIntegrityTagSize);
    return total;
}

namespace {

// The header of a record of a version this reader knows, for this algorithm. Version 3 keeps
// the metadata's length where the others keep the record length, which it implies: whole blocks.
bool headerFits(const uint8_t* header, uint8_t version, bool keyed) {
    const uint32_t lengthField = readLe(header + kRecordLengthAt, 4);
    const bool lengthFits = version == kIntegrityVersionMetadata
                                ? lengthField % 16 == 0
                                : lengthField == recordLengthOf(version);
    return std::memcmp(header + kMarkerAt, kIntegrityMarker, sizeof kIntegrityMarker) == 0 &&
           header[kVersionAt] == version &&
           header[kAlgorithmAt] == (keyed ? kIntegrityKeyed : kIntegrityUnkeyed) &&
           readLe(header + kTagLengthAt, 2) == kIntegrityTagSize && lengthFits;
}

// A version 3 tail, held whole: alignment zeros, M bytes of metadata, then guard, header and
// tags exactly at the end, where M comes from the header.
IntegrityTailKind classifyMetadataTail(const uint8_t* tail, uint32_t held, uint32_t recordsEnd,
                                       uint32_t length, bool keyed, IntegrityTail& out) {
    const uint32_t align = static_cast<uint32_t>(roundUp16(recordsEnd) - recordsEnd);
    constexpr uint32_t kTail = recordTailSize(kIntegrityVersionMetadata);
    if (held < length || length < align + kTail) return kTailCorrupt;
    const uint8_t* guard = tail + (length - kTail);
    const uint8_t* header = guard + kIntegrityGuardSize;
    if (!allZero(tail, align) || !allZero(guard, kIntegrityGuardSize) ||
        !headerFits(header, kIntegrityVersionMetadata, keyed)) {
        return kTailCorrupt;
    }
    const uint32_t metadata = readLe(header + kRecordLengthAt, 4);
    if (uint64_t{align} + metadata + kTail != length) return kTailCorrupt;
    out.version = kIntegrityVersionMetadata;
    out.metadataAt = align;
    out.metadataBytes = metadata;
    out.tagOffset = recordsEnd + length - kIntegrityTagSize;
    std::memcpy(out.namesTag, header + kIntegrityHeaderSize, kIntegrityTagSize);
    std::memcpy(out.tag, tail + length - kIntegrityTagSize, kIntegrityTagSize);
    return kTailRecord;
}

}  // namespace

bool readAnnouncedRecord(const uint8_t* end, bool keyed, uint8_t* namesTag, uint8_t version) {
    std::memset(namesTag, 0, kIntegrityTagSize);
    if (version != kIntegrityVersion && version != kIntegrityVersionMetadata) return false;
    if (!allZero(end, kIntegrityGuardSize)) return false;
    if (!headerFits(end + kIntegrityGuardSize, version, keyed)) return false;
    std::memcpy(namesTag, end + kIntegrityGuardSize + kIntegrityHeaderSize, kIntegrityTagSize);
    return true;
}

IntegrityTailKind classifyInfoTail(const uint8_t* tail, uint32_t held, uint32_t recordsEnd,
                                   uint32_t infoSize, bool keyed, uint8_t announced,
                                   IntegrityTail& out) {
    out = IntegrityTail{};
    if (recordsEnd > infoSize) return kTailCorrupt;
    // A later record's layout is its own; the trailer's word for it is enough, and nothing after
    // the records is looked at, as a reader that follows the format would not.
    if (announced > kIntegrityNewestVersion) {
        out.version = announced;
        return kTailLaterVersion;
    }
    const uint32_t length = infoSize - recordsEnd;
    if (announced == kIntegrityVersionMetadata) {
        return classifyMetadataTail(tail, held, recordsEnd, length, keyed, out);
    }
    if (length < kIntegrityGuardSize) {
        if (announced != 0) return kTailCorrupt;  // the record it announced is not there
        return held >= length && allZero(tail, length) ? kTailClassic : kTailCorrupt;
    }

    // From here on the bytes must be a record: alignment zeros and guard, then a header. Offsets
    // below count from the records' end.
    const uint32_t headerAt =
        static_cast<uint32_t>(roundUp16(recordsEnd) - recordsEnd) + kIntegrityGuardSize;
    if (headerAt + kIntegrityHeaderSize > length || headerAt + kIntegrityHeaderSize > held) {
        return kTailCorrupt;
    }
    if (!allZero(tail, headerAt)) return kTailCorrupt;
    const uint8_t* header = tail + headerAt;
    if (std::memcmp(header + kMarkerAt, kIntegrityMarker, sizeof kIntegrityMarker) != 0) {
        return kTailCorrupt;
    }
    const uint8_t version = header[kVersionAt];
    if (version == 0) return kTailCorrupt;
    out.version = version;
    if (announced != 0) {
        // The trailer said which record follows; nothing else will do.
        if (version != announced) return kTailCorrupt;
    } else {
        // Records of version 2 and 3 are only ever written announced: one without is a trailer
        // from elsewhere.
        if (version == kIntegrityVersion || version == kIntegrityVersionMetadata) {
            return kTailCorrupt;
        }
        // A later version may lay out the rest differently; the intact guard is what shows that
        // its version byte was written so and not flipped.
        if (version > kIntegrityNewestVersion) return kTailLaterVersion;
    }

    const uint32_t namesAt = headerAt + kIntegrityHeaderSize;
    const uint32_t tagAt = namesAt + (version >= 2 ? kIntegrityTagSize : 0);
    if (!headerFits(header, version, keyed) || length != tagAt + kIntegrityTagSize ||
        held < length) {
        return kTailCorrupt;
    }
    out.tagOffset = recordsEnd + tagAt;
    std::memcpy(out.tag, tail + tagAt, kIntegrityTagSize);
    if (version >= 2) std::memcpy(out.namesTag, tail + namesAt, kIntegrityTagSize);
    return kTailRecord;
}

TagDigest::~TagDigest() {
    // mac_ wipes itself.
    secureZeroObject(plain_);
}

void TagDigest::start(const uint8_t* key) {
    keyed_ = key != nullptr;
    if (keyed_) {
        mac_.init(key, kIntegrityTagSize);
    } else {
        sha512Init(plain_);
    }
}

void TagDigest::add(const uint8_t* data, std::size_t length) {
    if (keyed_) {
        mac_.update(data, length);
    } else {
        sha512Update(plain_, data, length);
    }
}

void TagDigest::finish(uint8_t* out) {
    if (keyed_) {
        mac_.finish(out);
    } else {
        sha512Final(plain_, out);
    }
}

bool tagMatches(bool whole, TagDigest& digest, const uint8_t* storedTag) {
    uint8_t computed[kIntegrityTagSize];
    digest.finish(computed);
    const bool same = equalInConstantTime(computed, storedTag, kIntegrityTagSize);
    secureZero(computed, sizeof computed);
    return whole && same;
}

NamesTag::NamesTag(const uint8_t* key) {
    restart(key);
}

void NamesTag::restart(const uint8_t* key) {
    trailerAdded_ = false;
    finished_ = false;
    digest_.start(key);
    digest_.add(kNamesTagLabel, sizeof kNamesTagLabel);
}

void NamesTag::addTrailer(const uint8_t* trailer, const uint8_t* keyBlock) {
    trailerAdded_ = !trailerAdded_ && !finished_;
    digest_.add(trailer, 32);
    if (keyBlock != nullptr) digest_.add(keyBlock, kKeyBlockBytes);
}

void NamesTag::addCipherText(const uint8_t* data, std::size_t length) {
    digest_.add(data, length);
}

bool NamesTag::finish(uint8_t* tag) {
    const bool whole = trailerAdded_ && !finished_;
    finished_ = true;
    digest_.finish(tag);
    if (!whole) std::memset(tag, 0, kIntegrityTagSize);
    return whole;
}

bool NamesTag::matches(const uint8_t* storedTag) {
    const bool whole = trailerAdded_ && !finished_;
    finished_ = true;
    return tagMatches(whole, digest_, storedTag);
}

IntegrityTag::IntegrityTag(const uint8_t* key) {
    restart(key);
}

void IntegrityTag::restart(const uint8_t* key) {
    stage_ = kNothing;
    chunkFill_ = 0;
    message_.start(key);
    sha512Init(leaves_);
    sha256Init(chunk_);
}

IntegrityTag::~IntegrityTag() {
    // message_ wipes itself.
    secureZeroObject(leaves_);
    secureZeroObject(chunk_);
}

void IntegrityTag::leafOf(const uint8_t* chunk, uint32_t length, uint8_t* leaf) {
    sha256(chunk, length, leaf);
}

void IntegrityTag::addLeaf(const uint8_t* leaf) {
    if (chunkFill_ != 0) stage_ = kMisused;
    sha512Update(leaves_, leaf, kIntegrityLeafSize);
}

void IntegrityTag::addData(const uint8_t* data, std::size_t length) {
    while (length > 0) {
        const std::size_t room = kIntegrityChunkSize - chunkFill_;
        const std::size_t take = length < room ? length : room;
        sha256Update(chunk_, data, take);
        chunkFill_ += static_cast<uint32_t>(take);
        data += take;
        length -= take;
        if (chunkFill_ == kIntegrityChunkSize) {
            uint8_t leaf[kIntegrityLeafSize];
            sha256Final(chunk_, leaf);
            sha512Update(leaves_, leaf, sizeof leaf);
            chunkFill_ = 0;
        }
    }
}

void IntegrityTag::addTrailer(const uint8_t* trailer, const uint8_t* keyBlock) {
    if (stage_ != kNothing) {
        stage_ = kMisused;
        return;
    }
    message_.add(trailer, 32);
    if (keyBlock != nullptr) message_.add(keyBlock, kKeyBlockBytes);
    stage_ = kTrailerAdded;
}

void IntegrityTag::addInfo(const uint8_t* info, uint32_t length) {
    if (stage_ != kTrailerAdded && stage_ != kInfoAdded) {
        stage_ = kMisused;
        return;
    }
    message_.add(info, length);
    stage_ = kInfoAdded;
}

bool IntegrityTag::finish(uint8_t* tag) {
    std::memset(tag, 0, kIntegrityTagSize);
    if (stage_ != kInfoAdded) {
        stage_ = kMisused;
        return false;
    }
    stage_ = kFinished;
    uint8_t digest[kIntegrityTagSize];
    if (chunkFill_ != 0) {  // the last, shorter chunk
        sha256Final(chunk_, digest);
        sha512Update(leaves_, digest, kIntegrityLeafSize);
        chunkFill_ = 0;
    }
    sha512Final(leaves_, digest);
    message_.add(digest, sizeof digest);
    message_.finish(tag);
    secureZero(digest, sizeof digest);
    return true;
}

bool IntegrityTag::matches(const uint8_t* storedTag) {
    uint8_t computed[kIntegrityTagSize];
    const bool finished = finish(computed);
    const bool same = equalInConstantTime(computed, storedTag, kIntegrityTagSize);
    secureZero(computed, sizeof computed);
    return finished && same;
}
