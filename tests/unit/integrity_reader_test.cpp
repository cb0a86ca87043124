// The reader and the integrity record: a sealed archive extracts verified; a record that is
// damaged in its structure (marker, version, algorithm, lengths, guard, tag) fails the whole
// archive, and a file already in the destination stays as it was; a record of a later version
// opens as before, not verified, where the run allows it; an archive without a record likewise,
// and bytes other than zeros after its records are damage. A run that does not allow unchecked
// archives refuses them before writing, or asks. An announced record must be there, and its
// names tag holds. Extraction and test-only runs agree.
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
    bool namesChecked;
};

// A sink that answers the question about unchecked archives as told, and counts the asking.
struct Answering final : ProgressSink {
    bool answer = false;
    int asked = 0;
    bool laterVersion = false;
    bool hasDialog() const override { return false; }
    bool hasStatus() const override { return false; }
    bool hasPercent() const override { return false; }
    bool hasBar() const override { return false; }
    void showStatus(const char16_t*) override {}
    void showPercent(const char16_t*) override {}
    void moveBar(uint32_t) override {}
    bool allowUnverified(bool later) override {
        ++asked;
        laterVersion = later;
        return answer;
    }
    void endDialog(int) override {}
};

Outcome run(const std::vector<uint8_t>& image, const char16_t* password, bool verifyOnly,
            UnverifiedChoice choice = kUnverifiedAllow, ProgressSink* sink = nullptr) {
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
    r.unverified = choice;
    if (sink != nullptr) r.bindProgress(sink);
    if (password != nullptr) {
        EXPECT_TRUE(r.setPassword(password));
    }
    r.run();
    const auto tree = file_tree::read(file_tree::native(dest));
    const auto a = tree.find("a.txt");
    return {r.result, r.integrity, a != tree.end() ? a->second : std::string(), tree.size(),
            r.namesChecked};
}

// The same image read both ways must end the same.
Outcome both(const std::vector<uint8_t>& image, const char16_t* password = u"pw",
             UnverifiedChoice choice = kUnverifiedAllow) {
    const Outcome tested = run(image, password, true, choice);
    const Outcome extracted = run(image, password, false, choice);
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
            i[headerAt(r) + 8] = 4;
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

TEST(IntegrityReader, AnAnnouncedRecordExtractsVerifiedWithItsNamesChecked) {
    for (const char16_t* password : {u"pw", static_cast<const char16_t*>(nullptr)}) {
        const auto image = buildImage(kFiles, password, "", nullptr, true, nullptr, 2);
        const Outcome o = both(image, password, kUnverifiedRefuse);
        EXPECT_EQ(o.result, kExtractOk);
        EXPECT_EQ(o.integrity, kIntegrityVerified);
        EXPECT_TRUE(o.namesChecked);
        EXPECT_EQ(o.existing, kFiles[0].content);
    }
    // A version 1 record verifies too, but only with the data: its names were not checked first.
    const Outcome v1 = both(buildImage(kFiles, u"pw", "", nullptr, true), u"pw", kUnverifiedRefuse);
    EXPECT_EQ(v1.result, kExtractOk);
    EXPECT_FALSE(v1.namesChecked);
}

TEST(IntegrityReader, AnAnnouncedRecordThatIsDamagedOrGoneIsCorrupt) {
    const std::vector<std::pair<const char*, TailEdit>> edits = {
        {"names tag", [](std::vector<uint8_t>& i, uint32_t r) { i[headerAt(r) + 16] ^= 1; }},
        {"a name", [](std::vector<uint8_t>& i, uint32_t) { i[12] ^= 1; }},
        {"a record's size", [](std::vector<uint8_t>& i, uint32_t) { i[4] ^= 1; }},
        {"version 1 in its header",
         [](std::vector<uint8_t>& i, uint32_t r) { i[headerAt(r) + 8] = 1; }},
        {"a later version in its header",
         [](std::vector<uint8_t>& i, uint32_t r) { i[headerAt(r) + 8] = 4; }},
        {"guard", [](std::vector<uint8_t>& i, uint32_t r) { i[headerAt(r) - 16] = 1; }},
        // The records made to reach the end of the block: the last name swallows the record.
        {"stripped",
         [](std::vector<uint8_t>& i, uint32_t r) {
             const uint32_t last = r - kInfoRecordHeader - 10;  // "empty", five characters
             const uint32_t grown = 10 + static_cast<uint32_t>(i.size()) - r;
             i[last] = static_cast<uint8_t>(grown);
             i[last + 1] = static_cast<uint8_t>(grown >> 8);
             for (uint32_t k = r; k < i.size(); k += 2) i[k] = 'x';
         }},
    };
    for (const auto& [why, edit] : edits) {
        expectRefused(
            both(buildImage(kFiles, u"pw", "", nullptr, true, edit, 2), u"pw", kUnverifiedAllow),
            why);
    }
}

TEST(IntegrityReader, UncheckedArchivesAreRefusedOrAskedBeforeAnythingIsWritten) {
    const auto classic = buildImage(kFiles, u"pw", "");
    const Outcome refused = both(classic, u"pw", kUnverifiedRefuse);
    EXPECT_EQ(refused.result, kUnverified);
    EXPECT_EQ(refused.integrity, kIntegrityAbsent);
    EXPECT_EQ(refused.existing, "mine\n");
    EXPECT_EQ(refused.files, 1u);

    Answering no;
    const Outcome declined = run(classic, u"pw", false, kUnverifiedAsk, &no);
    EXPECT_EQ(no.asked, 1);
    EXPECT_FALSE(no.laterVersion);
    EXPECT_EQ(declined.result, kUnverified);
    EXPECT_EQ(declined.existing, "mine\n");
    EXPECT_EQ(declined.files, 1u);

    Answering yes;
    yes.answer = true;
    const Outcome accepted = run(classic, u"pw", false, kUnverifiedAsk, &yes);
    EXPECT_EQ(yes.asked, 1);
    EXPECT_EQ(accepted.result, kExtractOk);
    EXPECT_EQ(accepted.existing, kFiles[0].content);

    // A later version is asked about as such; a checked archive is never asked about.
    const auto later =
        buildImage(kFiles, u"pw", "", nullptr, true,
                   [](std::vector<uint8_t>& i, uint32_t r) { i[headerAt(r) + 8] = 4; });
    Answering asked;
    EXPECT_EQ(run(later, u"pw", false, kUnverifiedAsk, &asked).result, kUnverified);
    EXPECT_TRUE(asked.laterVersion);
    Answering never;
    EXPECT_EQ(run(buildImage(kFiles, u"pw", "", nullptr, true, nullptr, 2), u"pw", false,
                  kUnverifiedAsk, &never)
                  .result,
              kExtractOk);
    EXPECT_EQ(never.asked, 0);
}

}  // namespace
