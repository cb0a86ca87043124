// The metadata record and the version 3 integrity record around it: the bytes against a layout
// built here by hand, every way a hostile record is refused (counts, lengths, names, padding),
// folder names that clash with files, and where a version 3 tail puts its parts.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "common/archive/integrity_record.h"
#include "common/archive/metadata_record.h"

namespace {

using Bytes = std::vector<uint8_t>;

void put32(Bytes& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void put64(Bytes& out, uint64_t v) {
    for (int i = 0; i < 8; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void putName(Bytes& out, const std::u16string& name) {
    for (char16_t c : name) {
        out.push_back(static_cast<uint8_t>(c));
        out.push_back(static_cast<uint8_t>(c >> 8));
    }
}

struct Folder {
    std::u16string name;
    uint64_t time;
};

// The record as its layout describes it, built without the encoder: counts, times, folder
// entries, zeros to a multiple of 16.
Bytes byHand(const std::vector<uint64_t>& times, const std::vector<Folder>& folders) {
    Bytes out;
    put32(out, static_cast<uint32_t>(times.size()));
    put32(out, static_cast<uint32_t>(folders.size()));
    for (uint64_t t : times) put64(out, t);
    for (const Folder& f : folders) {
        put32(out, static_cast<uint32_t>(2 * f.name.size()));
        put64(out, f.time);
        putName(out, f.name);
    }
    while (out.size() % 16 != 0) out.push_back(0);
    return out;
}

bool parses(const Bytes& bytes, uint32_t files, ArchiveMetadata& out) {
    return parseMetadata(bytes.data(), static_cast<uint32_t>(bytes.size()), files, out);
}

bool parses(const Bytes& bytes, uint32_t files) {
    ArchiveMetadata out;
    const bool ok = parses(bytes, files, out);
    EXPECT_EQ(ok, out.present());
    return ok;
}

const std::vector<uint64_t> kTimes = {133000000000000000ull, 0, 116444736000000001ull};
const std::vector<Folder> kFolders = {{u"empty", 133000000000000007ull}, {u"a\\b\\c", 0}};

TEST(MetadataRecord, EncodesTheLayoutAndReadsItBack) {
    FileTable folders;
    for (const Folder& f : kFolders) {
        ASSERT_TRUE(folders.add(f.name.data(), static_cast<uint32_t>(f.name.size()), f.time));
    }
    const Bytes expected = byHand(kTimes, kFolders);
    ASSERT_EQ(metadataBytesFor(3, folders), expected.size());
    Bytes encoded(expected.size(), 0xAA);
    EXPECT_EQ(encodeMetadata(3, kTimes.data(), folders, encoded.data()), expected.size());
    EXPECT_EQ(encoded, expected);

    ArchiveMetadata read;
    ASSERT_TRUE(parses(encoded, 3, read));
    for (uint32_t i = 0; i < 3; ++i) EXPECT_EQ(read.fileTime(i), kTimes[i]) << i;
    EXPECT_EQ(read.fileTime(3), 0u) << "past the table";
    ASSERT_EQ(read.folders().count(), 2u);
    EXPECT_EQ(std::u16string(read.folders().nameOf(1)), u"a\\b\\c");
    EXPECT_EQ(read.folders().sizeOf(0), kFolders[0].time);
    read.release();
    EXPECT_FALSE(read.present());
    EXPECT_EQ(read.fileTime(0), 0u);
}

TEST(MetadataRecord, NoFoldersAndOnlyFolders) {
    EXPECT_TRUE(parses(byHand(kTimes, {}), 3));
    EXPECT_EQ(byHand({1}, {}).size(), 16u);
    EXPECT_TRUE(parses(byHand({}, kFolders), 0));
}

TEST(MetadataRecord, CountsAndLengthsTheBytesDoNotBackAreRefused) {
    const Bytes good = byHand(kTimes, kFolders);
    EXPECT_FALSE(parses(good, 2)) << "a file count other than the trailer's";
    EXPECT_FALSE(parses(good, 4)) << "a file count other than the trailer's";
    EXPECT_FALSE(parses(Bytes(good.begin(), good.end() - 16), 3)) << "cut";
    EXPECT_FALSE(parses(Bytes(good.begin(), good.end() - 1), 3)) << "not whole blocks";
    EXPECT_FALSE(parses(Bytes(good.begin(), good.begin() + 4), 3)) << "shorter than its header";
    Bytes longer = good;
    longer.resize(good.size() + 16);
    EXPECT_FALSE(parses(longer, 3)) << "a block of padding too many";

    // Counts that claim more than the bytes hold, up to the largest, before any memory.
    for (uint32_t claim : {3u, 1000u, kMaxMetadataFolders, kMaxMetadataFolders + 1, UINT32_MAX}) {
        Bytes changed = good;
        std::memcpy(changed.data() + 4, &claim, 4);
        EXPECT_FALSE(parses(changed, 3)) << "folder count " << claim;
    }
    Bytes manyFiles = good;
    const uint32_t files = UINT32_MAX;
    std::memcpy(manyFiles.data(), &files, 4);
    EXPECT_FALSE(parses(manyFiles, UINT32_MAX)) << "more times than bytes";

    // A folder entry's length: past the end, odd, zero, longer than a name may be.
    const std::size_t entry = 8 + 3 * 8;
    for (uint32_t length : {0u, 3u, 200u, kMaxNameBytes + 2, 0x80000000u}) {
        Bytes changed = good;
        std::memcpy(changed.data() + entry, &length, 4);
        EXPECT_FALSE(parses(changed, 3)) << "name length " << length;
    }
    Bytes dirty = good;
    dirty.back() = 1;
    EXPECT_FALSE(parses(dirty, 3)) << "non-zero padding";
}

TEST(MetadataRecord, FolderNamesFollowTheRulesFileNamesDo) {
    for (const std::u16string name :
         {u"..\\x", u"../x", u"a\\..\\..\\x", u"\\abs", u"/abs", u"C:\\x", u"C:x", u"x:stream",
          u"a\\\\b", u"trailing.", u"CON", u"a\\NUL.txt", u".", u"a\\.\\b"}) {
        EXPECT_FALSE(parses(byHand({0}, {{u"fine", 0}, {name, 0}}), 1))
            << std::string(name.begin(), name.end());
    }
    EXPECT_TRUE(parses(byHand({0}, {{u"fine", 0}, {u"sub\\dir", 0}}), 1));
}

TEST(MetadataRecord, FoldersThatClashWithFilesOrEachOther) {
    FileTable files;
    for (const std::u16string name : {u"a.txt", u"dir\\b.txt"}) {
        ASSERT_TRUE(files.add(name.data(), static_cast<uint32_t>(name.size()), 1));
    }
    auto clashes = [&](const std::vector<Folder>& folders) {
        ArchiveMetadata read;
        EXPECT_TRUE(parses(byHand({0, 0}, folders), 2, read));
        NameClash clash;
        return findMetadataClash(files, read, clash) == ClashCheck::kClash;
    };
    EXPECT_FALSE(clashes({}));
    EXPECT_FALSE(clashes({{u"empty", 0}, {u"dir\\empty", 0}}));
    EXPECT_TRUE(clashes({{u"A.TXT", 0}})) << "a folder where a file goes";
    EXPECT_TRUE(clashes({{u"dir", 0}})) << "an empty folder that holds a file";
    EXPECT_TRUE(clashes({{u"a.txt\\x", 0}})) << "a folder below a file";
    EXPECT_TRUE(clashes({{u"x", 0}, {u"X", 0}})) << "one folder twice";
}

// A version 3 tail: records of R bytes, zeros, M bytes of metadata, guard, header, tags.
Bytes v3Block(uint32_t r, const Bytes& metadata, bool keyed) {
    Bytes block(r, 0x41);
    block.resize(roundUp16(r));
    block.insert(block.end(), metadata.begin(), metadata.end());
    const uint32_t at = static_cast<uint32_t>(block.size());
    block.resize(at + recordTailSize(kIntegrityVersionMetadata));
    EXPECT_EQ(encodeRecord(at, keyed, nullptr, block.data() + at, kIntegrityVersionMetadata,
                           static_cast<uint32_t>(metadata.size())),
              160u);
    for (uint32_t i = 0; i < 2 * kIntegrityTagSize; ++i) {
        block[block.size() - 128 + i] = static_cast<uint8_t>(i + 1);
    }
    return block;
}

class MetadataTail : public ::testing::Test {
  protected:
    static constexpr uint32_t kR = 44;
    Bytes metadata = byHand(kTimes, kFolders);
    Bytes block = v3Block(kR, metadata, true);
    IntegrityTail tail;

    IntegrityTailKind classify(const Bytes& b, uint8_t announced = kIntegrityVersionMetadata,
                               bool keyed = true) {
        return classifyInfoTail(b.data() + kR, static_cast<uint32_t>(b.size()) - kR, kR,
                                static_cast<uint32_t>(b.size()), keyed, announced, tail);
    }
};

TEST_F(MetadataTail, PartsAreWhereTheHeaderSays) {
    ASSERT_EQ(classify(block), kTailRecord);
    EXPECT_EQ(tail.version, kIntegrityVersionMetadata);
    EXPECT_EQ(tail.metadataAt, 4u);
    EXPECT_EQ(tail.metadataBytes, metadata.size());
    EXPECT_EQ(tail.tagOffset, block.size() - 64);
    EXPECT_EQ(tail.namesTag[0], 1);
    EXPECT_EQ(tail.tag[0], 65);
    // The header's length field holds M, and the names tag sits where version 2 has it.
    const std::size_t header = block.size() - 144;
    uint32_t m = 0;
    std::memcpy(&m, block.data() + header + 12, 4);
    EXPECT_EQ(m, metadata.size());
    EXPECT_EQ(block[header + 8], 3);
    ArchiveMetadata read;
    EXPECT_TRUE(parseMetadata(block.data() + kR + tail.metadataAt, tail.metadataBytes, 3, read));
    uint8_t names[kIntegrityTagSize];
    EXPECT_TRUE(readAnnouncedRecord(block.data() + block.size() - 160, true, names,
                                    kIntegrityVersionMetadata));
    EXPECT_FALSE(
        readAnnouncedRecord(block.data() + block.size() - 160, true, names, kIntegrityVersion))
        << "a version 3 header where 2 was announced";
    EXPECT_EQ(classify(v3Block(kR, metadata, false), kIntegrityVersionMetadata, false),
              kTailRecord);
    EXPECT_EQ(classify(block, kIntegrityVersionMetadata, false), kTailCorrupt) << "algorithm";
}

TEST_F(MetadataTail, ALengthThatDoesNotFillTheBlockOrAnyDamageIsCorrupt) {
    const std::size_t header = block.size() - 144;
    for (uint32_t m : {0u, 16u, static_cast<uint32_t>(metadata.size()) - 16,
                       static_cast<uint32_t>(metadata.size()) + 16,
                       static_cast<uint32_t>(metadata.size()) + 1, UINT32_MAX & ~15u}) {
        Bytes changed = block;
        std::memcpy(changed.data() + header + 12, &m, 4);
        EXPECT_EQ(classify(changed), kTailCorrupt) << "M = " << m;
    }
    Bytes align = block;
    align[kR + 1] = 1;
    EXPECT_EQ(classify(align), kTailCorrupt) << "alignment zeros";
    Bytes guard = block;
    guard[block.size() - 150] = 1;
    EXPECT_EQ(classify(guard), kTailCorrupt) << "guard";
    EXPECT_EQ(classify(Bytes(block.begin(), block.end() - 16)), kTailCorrupt) << "cut";
    // Held only in part, as a reader that looks at the tail's start would hold it.
    EXPECT_EQ(classifyInfoTail(block.data() + kR, kIntegrityTailLook, kR,
                               static_cast<uint32_t>(block.size()), true, 3, tail),
              kTailCorrupt);
    EXPECT_EQ(classify(block, kIntegrityVersion), kTailCorrupt) << "announced as version 2";
    EXPECT_EQ(classify(block, 0), kTailCorrupt) << "not announced";
    EXPECT_EQ(classify(block, 4), kTailLaterVersion) << "a later announcement is not looked at";
}

}  // namespace
