// The reader and the integrity record: a sealed archive extracts verified; a record that is
// damaged in its structure (marker, version, algorithm, lengths, guard, tag) fails the whole
// archive, and a file already in the destination stays as it was; a record of a later version
// opens as before, not verified; an archive without a record opens as before, and bytes other
// than zeros after its records are damage. Extraction and test-only runs agree.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/archive/job_records.h"
#include "tests/support/archive_builder.h"
#include "tests/support/file_tree.h"
#include "tests/support/temp_folder.h"

namespace {

// A file in the middle of the second 512 KiB chunk, so leaves and files do not line up.
const std::vector<StoredFile> kFiles = {
    {u"a.txt", "the archive's version\n"},
    {u"dir\\big.bin", std::string(700000, 'b')},
    {u"empty", ""},
};

struct Outcome {
    ExtractResult result;
    IntegrityState integrity;
    std::string existing;  // what dest/a.txt holds afterwards
    std::size_t files;     // files in the destination afterwards
};

Outcome run(const std::vector<uint8_t>& image, const char16_t* password, bool verifyOnly) {
    TempFolder dir;
    const std::u16string archive = dir.path() + u"\\image.tvf";
    File out;
    EXPECT_TRUE(out.create(archive.c_str(), FileCreate::kExclusive));
    out.write(image.data(), static_cast<uint32_t>(image.size()));
    out.close();
    const std::u16string dest = dir.path() + u"\\dest";
    file_tree::put(file_tree::native(dest + u"\\a.txt"), "mine\n");

    ArchiveReader r;
    r.configure(nullptr, dest.c_str(), archive.c_str());
    r.verifyOnly = verifyOnly;
    if (password != nullptr) {
        EXPECT_TRUE(r.setPassword(password));
    }
    r.run();
    const auto tree = file_tree::read(file_tree::native(dest));
    const auto a = tree.find("a.txt");
    return {r.result, r.integrity, a != tree.end() ? a->second : std::string(), tree.size()};
}

// The same image read both ways must end the same.
Outcome both(const std::vector<uint8_t>& image, const char16_t* password = u"pw") {
    const Outcome tested = run(image, password, true);
    const Outcome extracted = run(image, password, false);
    EXPECT_EQ(tested.result, extracted.result);
    EXPECT_EQ(tested.integrity, extracted.integrity);
    EXPECT_EQ(tested.existing, "mine\n") << "a test-only run wrote";
    return extracted;
}

void expectRefused(const Outcome& o, const char* why) {
    EXPECT_EQ(o.result, kCorrupt) << why;
    EXPECT_EQ(o.existing, "mine\n") << why;
    EXPECT_EQ(o.files, 1u) << why << ": something was left beside the file";
}

// Offsets in the record, counted from the records' end (which for kFiles is not a multiple
// of 16, so there are alignment zeros first).
uint32_t headerAt(uint32_t recordsEnd) {
    return static_cast<uint32_t>(roundUp16(recordsEnd)) + kIntegrityGuardSize;
}

TEST(IntegrityReader, ASealedArchiveExtractsVerified) {
    for (const char16_t* password : {u"pw", static_cast<const char16_t*>(nullptr)}) {
        const Outcome o = both(buildImage(kFiles, password, "", nullptr, true), password);
        EXPECT_EQ(o.result, kExtractOk);
        EXPECT_EQ(o.integrity, kIntegrityVerified);
        EXPECT_EQ(o.existing, kFiles[0].content);
        EXPECT_EQ(o.files, 3u);
    }
}

TEST(IntegrityReader, ADamagedRecordFailsTheWholeArchive) {
    const std::vector<std::pair<const char*, TailEdit>> edits = {
        {"marker", [](std::vector<uint8_t>& i, uint32_t r) { i[headerAt(r)] ^= 0x20; }},
        {"version 0", [](std::vector<uint8_t>& i, uint32_t r) { i[headerAt(r) + 8] = 0; }},
        {"algorithm of an archive without a password",
         [](std::vector<uint8_t>& i, uint32_t r) { i[headerAt(r) + 9] = kIntegrityUnkeyed; }},
        {"tag length", [](std::vector<uint8_t>& i, uint32_t r) { i[headerAt(r) + 10] = 32; }},
        {"record length", [](std::vector<uint8_t>& i, uint32_t r) { i[headerAt(r) + 12] = 96; }},
        {"guard", [](std::vector<uint8_t>& i, uint32_t r) { i[headerAt(r) - 1] = 1; }},
        {"alignment zeros", [](std::vector<uint8_t>& i, uint32_t r) { i[r] = 1; }},
        {"tag", [](std::vector<uint8_t>& i, uint32_t r) { i[headerAt(r) + 16 + 63] ^= 1; }},
        {"a record's size", [](std::vector<uint8_t>& i, uint32_t) { i[4] ^= 1; }},
    };
    for (const auto& [why, edit] : edits) {
        expectRefused(both(buildImage(kFiles, u"pw", "", nullptr, true, edit)), why);
    }
}

TEST(IntegrityReader, ALaterVersionOpensAsBeforeNotVerified) {
    const auto image =
        buildImage(kFiles, u"pw", "", nullptr, true, [](std::vector<uint8_t>& i, uint32_t r) {
            i[headerAt(r) + 8] = 2;
            i[headerAt(r) + 16] ^= 0xFF;  // its tag means nothing to us
        });
    const Outcome o = both(image);
    EXPECT_EQ(o.result, kExtractOk);
    EXPECT_EQ(o.integrity, kIntegrityLaterVersion);
    EXPECT_EQ(o.existing, kFiles[0].content);
}

TEST(IntegrityReader, ArchivesWithoutARecordOpenAsBefore) {
    const Outcome o = both(buildImage(kFiles, u"pw", ""));
    EXPECT_EQ(o.result, kExtractOk);
    EXPECT_EQ(o.integrity, kIntegrityAbsent);
    EXPECT_EQ(o.files, 3u);

    // Their padding is zeros; anything else after the records is damage, not a record.
    ArchiveTrailer t;
    auto image = buildImage(kFiles, u"pw", "", &t);
    ASSERT_GT(t.infoPadding, 0);
    PasswordCipher cipher;
    ASSERT_TRUE(cipher.setPassword(u"pw"));
    uint8_t* info = image.data() + t.dataSize;
    decryptRegion(cipher, info, t.infoSize);
    info[t.infoSize - 1] = 0x55;
    encryptRegion(cipher, info, t.infoSize);
    expectRefused(both(image), "non-zero padding");
}

}  // namespace
