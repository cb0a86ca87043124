// The integrity record: its bytes against an independent encoding, the tag against values made
// by integrity_tag_vectors.py (hashlib and hmac, from the recipe alone) in every feeding order,
// each way the tail after the info records is classified, and the guard doing its job under CBC.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "common/archive/integrity_record.h"
#include "common/crypto/password_cipher.h"
#include "tests/support/hex.h"

namespace {

using Bytes = std::vector<uint8_t>;

// The fixed inputs of integrity_tag_vectors.py.
constexpr uint32_t kDataSize = 2 * kIntegrityChunkSize + 4112;

Bytes patternData(uint32_t size) {
    Bytes data(size);
    for (uint32_t i = 0; i < size; ++i) data[i] = static_cast<uint8_t>(i * 167 + 13 + (i >> 16));
    return data;
}

Bytes record(const std::u16string& name, uint64_t size) {
    Bytes out(12 + 2 * name.size());
    const uint32_t length = static_cast<uint32_t>(2 * name.size());
    for (int i = 0; i < 4; ++i) out[i] = static_cast<uint8_t>(length >> (8 * i));
    for (int i = 0; i < 8; ++i) out[4 + i] = static_cast<uint8_t>(size >> (8 * i));
    for (std::size_t i = 0; i < name.size(); ++i) {
        out[12 + 2 * i] = static_cast<uint8_t>(name[i]);
        out[13 + 2 * i] = static_cast<uint8_t>(name[i] >> 8);
    }
    return out;
}

Bytes sampleRecords() {
    Bytes records = record(u"a.txt", 10);
    const Bytes second = record(u"dir\\b", 1052670);
    records.insert(records.end(), second.begin(), second.end());
    return records;  // R = 44
}

// The records followed by a whole integrity record with its tag left as zeros.
Bytes infoWithRecord(const Bytes& records, bool keyed) {
    const uint32_t r = static_cast<uint32_t>(records.size());
    Bytes info(records);
    info.resize(r + recordBytesFor(r));
    EXPECT_EQ(encodeRecord(r, keyed, nullptr, info.data() + r), recordBytesFor(r));
    return info;
}

Bytes sampleTrailer() {
    return fromHex("0008040090000000020000000000000010101000000000000000000000000000");
}

const uint8_t* integrityKeyOf(PasswordCipher& cipher, const char16_t* password) {
    EXPECT_TRUE(cipher.setPassword(password));
    return cipher.integrityKey();
}

std::string tagHex(IntegrityTag& t) {
    uint8_t tag[kIntegrityTagSize];
    EXPECT_TRUE(t.finish(tag));
    return toHex(tag, sizeof tag);
}

// What integrity_tag_vectors.py prints.
const std::string kKeyedInfoToTag =
    "0a0000000a0000000000000061002e007400780074000a000000fe0f1000000000006400690072005c0062"
    "00000000000000000000000000000000000000000051534658494e54470101400050000000";
const std::string kKeyedTag =
    "7ed4515ab87698849c5ca5aac873cf71f2794b0dfbac310688dface48b8b2577"
    "6e5e394075f09de41a0e920bea53c5c3adac668a069d13a568580f98a6bf83b4";
const std::string kKeyedTagNoData =
    "670ba36549bcfe3ec883ffc7bff8e56a6ea0e997c688b1b249be887f57e32b4c"
    "e5cf0d8eb7c1d69314ee75cc8ba8fd3c006c6136c62b6c48fe674473d8786d54";
const std::string kKeyedTagOneChunk =
    "0462064e319902be62a5e99da1a5577cbb58788fdff5a8b1df503f72f86737f6"
    "8f44e7574e47de22b2d1da606dc3e3253c24f81292644bc7b0786fbeacc4d335";
const std::string kUnkeyedTagOneChunk =
    "5936f41b68a123b6aaf564ff3f1110a6ad84fa23f9728438dd38832e7e6adb37"
    "0a39764869b53ddd54e6fa8d19b611800b821b43dd8c21eea161b63c045ce688";
const std::string kUnkeyedTag =
    "13a5edc99c1c3d0af5573c5f2fa4aaf7878cd144919646201d81052e25f0c4bd"
    "55caf87c72c67bbcf2d6346dfb006d4c362dc2de5de2b98ad39ff4907c6d9648";
const std::string kUnkeyedTagNoData =
    "7d9aae77a4b4ae994be0fe5579d18e3622e01f6258ddb48251eb01e498bc5f29"
    "b766cb4eb8d1987e8a47f9906f96303d0b379caf678afdb687a7c519fa750716";

TEST(IntegrityRecord, SizesAndOffsetsFollowTheRecordsEnd) {
    for (uint32_t r = 0; r < 64; ++r) {
        const uint32_t aligned = (r + 15) / 16 * 16;
        EXPECT_EQ(recordBytesFor(r), aligned - r + 96) << r;
        EXPECT_EQ(tagOffsetFor(r), aligned + 32) << r;
        EXPECT_EQ((r + recordBytesFor(r)) % 16, 0u) << "the block ends on a block boundary";
    }
    EXPECT_EQ(recordBytesFor(44), 100u);
    EXPECT_EQ(recordBytesFor(48), 96u);
}

TEST(IntegrityRecord, EncodingMatchesTheIndependentOne) {
    const Bytes keyed = infoWithRecord(sampleRecords(), true);
    const Bytes unkeyed = infoWithRecord(sampleRecords(), false);
    ASSERT_EQ(keyed.size(), 144u);
    EXPECT_EQ(toHex(keyed.data(), tagOffsetFor(44)), kKeyedInfoToTag);
    // Only the algorithm byte differs between the two.
    std::string unkeyedHex = kKeyedInfoToTag;
    unkeyedHex[2 * 73 + 1] = '2';
    EXPECT_EQ(toHex(unkeyed.data(), tagOffsetFor(44)), unkeyedHex);
    // The tag, when given, lands right after the header.
    uint8_t tag[kIntegrityTagSize];
    for (uint32_t i = 0; i < kIntegrityTagSize; ++i) tag[i] = static_cast<uint8_t>(0xC0 + i);
    Bytes withTag(100, 0xEE);
    encodeRecord(44, true, tag, withTag.data());
    EXPECT_EQ(0, std::memcmp(withTag.data() + 36, tag, sizeof tag));
}

TEST(IntegrityTag, KnownAnswersKeyedAndUnkeyed) {
    PasswordCipher cipher;
    const uint8_t* key = integrityKeyOf(cipher, u"correct horse");
    const Bytes data = patternData(kDataSize);
    const Bytes trailer = sampleTrailer();
    for (bool keyed : {true, false}) {
        const Bytes info = infoWithRecord(sampleRecords(), keyed);
        IntegrityTag withData(keyed ? key : nullptr), noData(keyed ? key : nullptr),
            oneChunk(keyed ? key : nullptr);
        for (IntegrityTag* t : {&withData, &noData, &oneChunk}) {
            t->addTrailer(trailer.data());
            t->addInfo(info.data(), tagOffsetFor(44));
        }
        withData.addData(data.data(), data.size());
        // A stream that ends on a chunk boundary has no empty last leaf.
        oneChunk.addData(data.data(), kIntegrityChunkSize);
        EXPECT_EQ(tagHex(withData), keyed ? kKeyedTag : kUnkeyedTag);
        EXPECT_EQ(tagHex(noData), keyed ? kKeyedTagNoData : kUnkeyedTagNoData);
        EXPECT_EQ(tagHex(oneChunk), keyed ? kKeyedTagOneChunk : kUnkeyedTagOneChunk);
    }
}

TEST(IntegrityTag, SameTagInTheWritersOrderTheReadersOrderAndByLeaves) {
    PasswordCipher cipher;
    const uint8_t* key = integrityKeyOf(cipher, u"correct horse");
    const Bytes data = patternData(kDataSize);
    const Bytes trailer = sampleTrailer();
    const Bytes info = infoWithRecord(sampleRecords(), true);

    // Writer: data first, in pieces that do not line up with the chunks.
    for (std::size_t piece : {std::size_t{1} << 16, std::size_t{100003}, std::size_t{524288}}) {
        IntegrityTag t(key);
        for (std::size_t at = 0; at < data.size(); at += piece) {
            t.addData(data.data() + at, std::min(piece, data.size() - at));
        }
        t.addTrailer(trailer.data());
        t.addInfo(info.data(), tagOffsetFor(44));
        EXPECT_EQ(tagHex(t), kKeyedTag) << "pieces of " << piece;
    }

    // The info block in pieces, as a reader parses it a chunk at a time.
    for (uint32_t cut : {1u, 16u, 44u, 79u}) {
        IntegrityTag t(key);
        t.addData(data.data(), data.size());
        t.addTrailer(trailer.data());
        t.addInfo(info.data(), cut);
        t.addInfo(info.data() + cut, 0);
        t.addInfo(info.data() + cut, tagOffsetFor(44) - cut);
        EXPECT_EQ(tagHex(t), kKeyedTag) << "info cut at " << cut;
    }

    // Leaves computed apart (as on a helper thread) and added in order, before and after the
    // trailer and info block.
    for (bool leavesFirst : {true, false}) {
        IntegrityTag t(key);
        auto addLeaves = [&] {
            for (uint32_t at = 0; at < kDataSize; at += kIntegrityChunkSize) {
                uint8_t leaf[kIntegrityLeafSize];
                IntegrityTag::leafOf(data.data() + at,
                                     std::min(kIntegrityChunkSize, kDataSize - at), leaf);
                t.addLeaf(leaf);
            }
        };
        if (leavesFirst) addLeaves();
        t.addTrailer(trailer.data());
        t.addInfo(info.data(), tagOffsetFor(44));
        if (!leavesFirst) addLeaves();
        EXPECT_EQ(tagHex(t), kKeyedTag) << (leavesFirst ? "leaves first" : "leaves last");
    }
}

TEST(IntegrityTag, EveryPartAndTheKeyChangeTheTag) {
    PasswordCipher cipher, other;
    const uint8_t* key = integrityKeyOf(cipher, u"correct horse");
    const uint8_t* otherKey = integrityKeyOf(other, u"correct horsf");
    const Bytes data = patternData(kDataSize);
    const Bytes trailer = sampleTrailer();
    const Bytes info = infoWithRecord(sampleRecords(), true);
    auto tagOf = [&](const uint8_t* k, const Bytes& t, const Bytes& i, const Bytes& d) {
        IntegrityTag tag(k);
        tag.addTrailer(t.data());
        tag.addInfo(i.data(), tagOffsetFor(44));
        tag.addData(d.data(), d.size());
        return tagHex(tag);
    };
    ASSERT_EQ(tagOf(key, trailer, info, data), kKeyedTag);
    EXPECT_NE(tagOf(otherKey, trailer, info, data), kKeyedTag);
    EXPECT_NE(tagOf(nullptr, trailer, info, data), kKeyedTag);
    for (std::size_t at : {std::size_t{0}, std::size_t{8}, std::size_t{31}}) {
        Bytes t = trailer;
        t[at] ^= 1;
        EXPECT_NE(tagOf(key, t, info, data), kKeyedTag) << "trailer byte " << at;
    }
    for (std::size_t at : {std::size_t{0}, std::size_t{20}, std::size_t{50}, std::size_t{72}}) {
        Bytes i = info;
        i[at] ^= 0x80;
        EXPECT_NE(tagOf(key, trailer, i, data), kKeyedTag) << "info byte " << at;
    }
    for (std::size_t at : {std::size_t{0}, std::size_t{kIntegrityChunkSize - 1},
                           std::size_t{kIntegrityChunkSize}, std::size_t{kDataSize - 1}}) {
        Bytes d = data;
        d[at] ^= 4;
        EXPECT_NE(tagOf(key, trailer, info, d), kKeyedTag) << "data byte " << at;
    }
    // Two chunks swapped, and the data cut at a chunk boundary.
    Bytes swapped = data;
    std::copy(data.begin(), data.begin() + kIntegrityChunkSize,
              swapped.begin() + kIntegrityChunkSize);
    std::copy(data.begin() + kIntegrityChunkSize, data.begin() + 2 * kIntegrityChunkSize,
              swapped.begin());
    EXPECT_NE(tagOf(key, trailer, info, swapped), kKeyedTag);
    EXPECT_NE(
        tagOf(key, trailer, info, Bytes(data.begin(), data.begin() + 2 * kIntegrityChunkSize)),
        kKeyedTag);
}

TEST(IntegrityTag, PartsOutOfOrderGiveNoTag) {
    const Bytes trailer = sampleTrailer();
    const Bytes info = infoWithRecord(sampleRecords(), false);
    const Bytes data = patternData(1000);
    uint8_t tag[kIntegrityTagSize];
    const Bytes zeros(kIntegrityTagSize, 0);
    {
        IntegrityTag t(nullptr);
        t.addInfo(info.data(), 80);
        t.addTrailer(trailer.data());
        EXPECT_FALSE(t.finish(tag)) << "info block before the trailer";
        EXPECT_EQ(Bytes(tag, tag + sizeof tag), zeros);
    }
    {
        IntegrityTag t(nullptr);
        t.addTrailer(trailer.data());
        EXPECT_FALSE(t.finish(tag)) << "no info block";
    }
    {
        IntegrityTag t(nullptr);
        t.addTrailer(trailer.data());
        t.addTrailer(trailer.data());
        t.addInfo(info.data(), 80);
        EXPECT_FALSE(t.finish(tag)) << "trailer twice";
    }
    {
        IntegrityTag t(nullptr);
        t.addData(data.data(), data.size());
        uint8_t leaf[kIntegrityLeafSize] = {};
        t.addLeaf(leaf);
        t.addTrailer(trailer.data());
        t.addInfo(info.data(), 80);
        EXPECT_FALSE(t.finish(tag)) << "a leaf in the middle of a chunk";
    }
    {
        IntegrityTag t(nullptr);
        t.addTrailer(trailer.data());
        t.addInfo(info.data(), 80);
        EXPECT_TRUE(t.finish(tag));
        EXPECT_FALSE(t.finish(tag)) << "finished twice";
    }
}

TEST(IntegrityTail, RoundTripThroughEncodeTagAndClassify) {
    PasswordCipher cipher;
    const uint8_t* key = integrityKeyOf(cipher, u"round trip");
    const Bytes data = patternData(70000);
    // Records ending on a block boundary, just after one and just before one.
    for (uint32_t extraChars : {0u, 1u, 2u, 7u}) {
        for (bool keyed : {true, false}) {
            const Bytes records = record(std::u16string(10 + extraChars, u'n'), data.size());
            const uint32_t r = static_cast<uint32_t>(records.size());
            Bytes info = infoWithRecord(records, keyed);
            Bytes trailer(32, 0);
            trailer[4] = static_cast<uint8_t>(info.size());
            trailer[8] = 1;

            IntegrityTag writer(keyed ? key : nullptr);
            writer.addData(data.data(), data.size());
            writer.addTrailer(trailer.data());
            writer.addInfo(info.data(), tagOffsetFor(r));
            ASSERT_TRUE(writer.finish(info.data() + tagOffsetFor(r)));

            IntegrityTail tail;
            ASSERT_EQ(classifyInfoTail(info.data() + r, static_cast<uint32_t>(info.size()) - r, r,
                                       static_cast<uint32_t>(info.size()), keyed, tail),
                      kTailRecord)
                << "R = " << r;
            EXPECT_EQ(tail.version, 1);
            EXPECT_EQ(tail.tagOffset, tagOffsetFor(r));
            EXPECT_EQ(0, std::memcmp(tail.tag, info.data() + tail.tagOffset, kIntegrityTagSize));

            IntegrityTag reader(keyed ? key : nullptr);
            reader.addTrailer(trailer.data());
            reader.addInfo(info.data(), tail.tagOffset);
            reader.addData(data.data(), data.size());
            EXPECT_TRUE(reader.matches(tail.tag));

            IntegrityTag tampered(keyed ? key : nullptr);
            tampered.addTrailer(trailer.data());
            tampered.addInfo(info.data(), tail.tagOffset);
            tampered.addData(data.data(), data.size() - 16);
            EXPECT_FALSE(tampered.matches(tail.tag));
        }
    }
}

class ClassifyTail : public ::testing::Test {
  protected:
    // Records of 44 bytes (R = 44) and a keyed record after them: I = 144.
    Bytes info = infoWithRecord(sampleRecords(), true);
    IntegrityTail tail;

    IntegrityTailKind classify(const Bytes& block, bool keyed = true) {
        return classifyInfoTail(block.data() + 44, static_cast<uint32_t>(block.size()) - 44, 44,
                                static_cast<uint32_t>(block.size()), keyed, tail);
    }
    Bytes with(std::size_t at, uint8_t value) const {
        Bytes changed = info;
        changed[at] = value;
        return changed;
    }
};

TEST_F(ClassifyTail, ClassicArchivesHaveOnlyZerosAfterTheirRecords) {
    const Bytes records = sampleRecords();
    for (uint32_t zeros = 0; zeros < 16; ++zeros) {
        Bytes block(records);
        block.resize(44 + zeros);
        EXPECT_EQ(classify(block), kTailClassic) << zeros;
        EXPECT_EQ(classify(block, false), kTailClassic) << zeros;
        if (zeros > 0) {
            block.back() = 1;
            EXPECT_EQ(classify(block), kTailCorrupt) << "non-zero padding " << zeros;
        }
    }
    // Sixteen zeros or more cannot be classic padding, nor a record.
    Bytes block(records);
    block.resize(44 + 4 + 16 + 16);
    EXPECT_EQ(classify(block), kTailCorrupt);
}

TEST_F(ClassifyTail, AValidRecordAndItsAlgorithm) {
    EXPECT_EQ(classify(info, true), kTailRecord);
    EXPECT_EQ(tail.tagOffset, 80u);
    EXPECT_EQ(classify(info, false), kTailCorrupt) << "keyed record read without a password";
    Bytes unkeyed = infoWithRecord(sampleRecords(), false);
    EXPECT_EQ(classify(unkeyed, false), kTailRecord);
    EXPECT_EQ(classify(unkeyed, true), kTailCorrupt) << "unkeyed record read with a password";
    EXPECT_EQ(classify(with(73, 3)), kTailCorrupt) << "unknown algorithm";
}

TEST_F(ClassifyTail, LaterVersionsOpenUnverifiedBehindAnIntactGuard) {
    for (uint8_t version : {4, 7, 255}) {
        Bytes later = with(72, version);
        // A later version may change everything after its version byte, and the length.
        later[73] = 9;
        later[74] = 0;
        later.resize(64 + 16 + 32);
        EXPECT_EQ(classify(later), kTailLaterVersion) << int{version};
        EXPECT_EQ(tail.version, version);
        later[50] = 1;
        EXPECT_EQ(classify(later), kTailCorrupt) << "damaged guard, version " << int{version};
    }
    EXPECT_EQ(classify(with(72, 0)), kTailCorrupt) << "version 0";
    // Version 2 is only ever written announced: unannounced it is a trailer from elsewhere.
    EXPECT_EQ(classify(with(72, 2)), kTailCorrupt) << "version 2 without its announcement";
    EXPECT_EQ(classify(with(72, 3)), kTailCorrupt) << "version 3 without its announcement";
}

// A block as the writer ends it now: records, zeros, guard, header, names tag, tag.
Bytes infoWithAnnouncedRecord(const Bytes& records, bool keyed) {
    Bytes info = records;
    const uint32_t r = static_cast<uint32_t>(records.size());
    info.resize(r + recordBytesFor(r, kIntegrityVersion));
    encodeRecord(r, keyed, nullptr, info.data() + r, kIntegrityVersion);
    for (uint32_t i = 0; i < 2 * kIntegrityTagSize; ++i) {
        info[namesTagOffsetFor(r) + i] = static_cast<uint8_t>(i + 1);
    }
    return info;
}

TEST_F(ClassifyTail, TheTrailerSaysWhichRecordMustFollow) {
    const Bytes v2 = infoWithAnnouncedRecord(sampleRecords(), true);
    const uint32_t r = 44;
    auto classifyAs = [&](const Bytes& block, uint8_t announced) {
        return classifyInfoTail(block.data() + r, static_cast<uint32_t>(block.size()) - r, r,
                                static_cast<uint32_t>(block.size()), true, announced, tail);
    };
    ASSERT_EQ(v2.size(), 48u + 160u);
    EXPECT_EQ(classifyAs(v2, 2), kTailRecord);
    EXPECT_EQ(tail.version, 2);
    EXPECT_EQ(tail.tagOffset, 48u + 32u + 64u);
    EXPECT_EQ(tail.namesTag[0], 1);
    EXPECT_EQ(tail.tag[0], 65);
    // Announced, the record must be there, whole and of that version.
    EXPECT_EQ(classifyAs(Bytes(v2.begin(), v2.begin() + 48), 2), kTailCorrupt) << "stripped";
    EXPECT_EQ(classifyAs(Bytes(v2.begin(), v2.end() - 64), 2), kTailCorrupt) << "cut";
    EXPECT_EQ(classifyAs(info, 2), kTailCorrupt) << "a version 1 record";
    EXPECT_EQ(classifyAs(v2, 1), kTailCorrupt) << "a version 2 record where 1 was announced";
    Bytes wrongLength = v2;
    wrongLength[64 + 12] = 80;
    EXPECT_EQ(classifyAs(wrongLength, 2), kTailCorrupt) << "record length of version 1";
    // A later announced version is not looked at at all.
    EXPECT_EQ(classifyAs(Bytes(v2.begin(), v2.begin() + 48), 4), kTailLaterVersion);
    EXPECT_EQ(tail.version, 4);
    EXPECT_EQ(classifyAs(v2, 3), kTailCorrupt) << "a version 2 record where 3 was announced";

    uint8_t names[kIntegrityTagSize];
    EXPECT_TRUE(readAnnouncedRecord(v2.data() + 48, true, names));
    EXPECT_EQ(names[63], 64);
    EXPECT_FALSE(readAnnouncedRecord(v2.data() + 48, false, names)) << "algorithm";
    Bytes guard = v2;
    guard[50] = 1;
    EXPECT_FALSE(readAnnouncedRecord(guard.data() + 48, true, names)) << "guard";
}

TEST(NamesTag, KeyedUnkeyedAndInPieces) {
    uint8_t key[kIntegrityTagSize];
    for (uint32_t i = 0; i < sizeof key; ++i) key[i] = static_cast<uint8_t>(3 * i);
    uint8_t trailer[32] = {2, 0, 4};
    uint8_t block[100];
    for (uint32_t i = 0; i < sizeof block; ++i) block[i] = static_cast<uint8_t>(i * 7);
    auto tagOf = [&](const uint8_t* k, std::size_t cut) {
        NamesTag names(k);
        names.addTrailer(trailer);
        names.addCipherText(block, cut);
        names.addCipherText(block + cut, sizeof block - cut);
        Bytes out(kIntegrityTagSize);
        EXPECT_TRUE(names.finish(out.data()));
        return out;
    };
    // The recipe, from the primitives: the label, the trailer, the ciphertext.
    Bytes message(kNamesTagLabel, kNamesTagLabel + sizeof kNamesTagLabel);
    message.insert(message.end(), trailer, trailer + 32);
    message.insert(message.end(), block, block + sizeof block);
    Bytes keyed(kIntegrityTagSize), plain(kIntegrityTagSize);
    hmacSha512(key, sizeof key, message.data(), message.size(), keyed.data());
    Sha512Context sha;
    sha512Init(sha);
    sha512Update(sha, message.data(), message.size());
    sha512Final(sha, plain.data());
    EXPECT_EQ(tagOf(key, 0), keyed);
    EXPECT_EQ(tagOf(key, 37), keyed);
    EXPECT_EQ(tagOf(nullptr, 64), plain);

    NamesTag noTrailer(key);
    noTrailer.addCipherText(block, sizeof block);
    uint8_t out[kIntegrityTagSize];
    EXPECT_FALSE(noTrailer.finish(out)) << "the trailer is part of the message";
    NamesTag matching(key);
    matching.addTrailer(trailer);
    matching.addCipherText(block, sizeof block);
    EXPECT_TRUE(matching.matches(keyed.data()));
}

TEST_F(ClassifyTail, EveryMalformedRecordIsCorrupt) {
    EXPECT_EQ(classify(with(45, 1)), kTailCorrupt) << "alignment byte";
    EXPECT_EQ(classify(with(48, 1)), kTailCorrupt) << "first guard byte";
    EXPECT_EQ(classify(with(63, 0x80)), kTailCorrupt) << "last guard byte";
    EXPECT_EQ(classify(with(64, 'q')), kTailCorrupt) << "marker";
    EXPECT_EQ(classify(with(71, 'H')), kTailCorrupt) << "marker";
    EXPECT_EQ(classify(with(74, 63)), kTailCorrupt) << "tag length";
    EXPECT_EQ(classify(with(75, 1)), kTailCorrupt) << "tag length, high byte";
    EXPECT_EQ(classify(with(76, 81)), kTailCorrupt) << "record length";
    EXPECT_EQ(classify(with(79, 1)), kTailCorrupt) << "record length, high byte";

    Bytes longer = info;
    longer.resize(info.size() + 16);
    EXPECT_EQ(classify(longer), kTailCorrupt) << "block goes on after the tag";
    for (std::size_t cut : {16u, 32u, 64u, 80u}) {
        Bytes shorter(info.begin(), info.end() - cut);
        EXPECT_EQ(classify(shorter), kTailCorrupt) << "block cut by " << cut;
    }
    // Cut back to the records and their padding it reads as a classic block: the I in the
    // enciphered trailer is what keeps anyone without the password from doing that.
    EXPECT_EQ(classify(Bytes(info.begin(), info.begin() + 48)), kTailClassic);
    Bytes guardOnly(info.begin(), info.begin() + 64);
    EXPECT_EQ(classify(guardOnly), kTailCorrupt) << "guard without header";
    EXPECT_EQ(classifyInfoTail(info.data(), 0, 150, 144, true, tail), kTailCorrupt)
        << "records past the block";
}

TEST_F(ClassifyTail, TheGuardCatchesAVersionFlippedThroughTheCipher) {
    // The attack the guard is there for: in the enciphered block, flip the bit of the guard's
    // ciphertext that lands on the version byte, hoping to make the record a later version
    // whose tag goes unchecked. The version does change, and the guard comes out garbled.
    PasswordCipher cipher;
    ASSERT_TRUE(cipher.setPassword(u"guard"));
    Bytes block = info;
    cipher.encryptBlocks(block.data(), block.size() / 16);
    block[48 + 8] ^= 1 ^ 2;  // guard ciphertext, over the header's version byte
    cipher.restartChain();
    cipher.decryptBlocks(block.data(), block.size() / 16);
    ASSERT_EQ(block[72], 2) << "the flip reached the version byte";
    EXPECT_EQ(classify(block), kTailCorrupt);
}

}  // namespace
