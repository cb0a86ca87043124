// Configuring, keying and destroying the job records, and the result messages.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "common/archive/job_records.h"
#include "tests/support/release_watch.h"

namespace {

TEST(ArchiveWriter, ConfigureCopiesTheListExactlyAndKeepsWhatIsNotGiven) {
    ArchiveWriter w;
    const char16_t list[] = u"a.txt\0sub\\b.bin\0\0";
    const uint32_t length = sizeof list / sizeof list[0] - 1;  // both zeros of the end included
    w.configure(nullptr, u"C:\\base", nullptr, list, length, 2);
    EXPECT_EQ(w.fileCount, 2u);
    EXPECT_EQ(0, std::memcmp(w.fileList.data, list, length * sizeof(char16_t)));
    EXPECT_EQ(std::u16string(w.baseFolder.text()), u"C:\\base");
    EXPECT_EQ(w.outputPath.length(), 0u);

    // A second configure without list or base keeps them and stores the stub module.
    int module = 0;
    w.configure(&module, nullptr, u"out.exe", nullptr, 0, 9);
    EXPECT_EQ(w.stubModule, &module);
    EXPECT_EQ(w.fileCount, 2u);
    EXPECT_EQ(std::u16string(w.baseFolder.text()), u"C:\\base");
    EXPECT_EQ(std::u16string(w.outputPath.text()), u"out.exe");
    w.configure(nullptr, nullptr, nullptr, nullptr, 0, 0);
    EXPECT_EQ(w.stubModule, nullptr) << "the stub module is stored also when null";
}

TEST(ArchiveWriter, AnUnterminatedListStillEndsInsideTheBuffer) {
    // 600 characters of names with no closing zeros, larger than the default buffer.
    std::u16string list(600, u'n');
    ArchiveWriter w;
    w.configure(nullptr, nullptr, nullptr, list.data(), 600, 1);
    ASSERT_GE(w.fileList.capacity, 602u);
    EXPECT_EQ(w.fileList.data[600], 0);
    EXPECT_EQ(w.fileList.data[601], 0);
}

TEST(ArchiveWriter, SetPasswordKeysOnlyWithAPassword) {
    ArchiveWriter w;
    EXPECT_FALSE(w.setPassword(u""));
    EXPECT_FALSE(w.cipher.hasKey());
    EXPECT_TRUE(w.setPassword(u"k"));
    EXPECT_TRUE(w.cipher.hasKey());
}

TEST(ArchiveReader, ConfigureEmptiesBeforeStoring) {
    ArchiveReader r;
    int owner = 0;
    r.configure(&owner, u"D:\\out", u"D:\\a.exe");
    EXPECT_EQ(r.ownerModule, &owner);
    r.configure(nullptr, nullptr, u"D:\\b.tvf");
    EXPECT_EQ(r.ownerModule, nullptr);
    EXPECT_EQ(r.destinationFolder.length(), 0u);
    EXPECT_EQ(std::u16string(r.archivePath.text()), u"D:\\b.tvf");
}

TEST(ArchiveReader, ResultMessages) {
    ArchiveReader r;
    r.result = kWrongPassword;
    EXPECT_EQ(std::u16string(r.resultMessage()), u"The password you entered is incorrect!");
    EXPECT_EQ(std::u16string(lastResultMessage()), u"The password you entered is incorrect!");
    r.result = kCorrupt;
    EXPECT_EQ(std::u16string(r.resultMessage()), u"File is corrupt and cannot be decrypted!");
    r.result = kOutOfMemory;
    EXPECT_EQ(std::u16string(r.resultMessage()), u"A memory error has occured!");
    r.result = kWriteError;
    EXPECT_EQ(std::u16string(r.resultMessage()),
              u"A file could not be written to the destination directory!");
    r.result = kExtractOk;
    EXPECT_EQ(r.resultMessage(), nullptr);
    EXPECT_EQ(std::u16string(lastResultMessage()), u"") << "the slot is cleared first";
    r.result = static_cast<ExtractResult>(77);
    EXPECT_EQ(r.resultMessage(), nullptr);
}

struct RecordingSink : ProgressSink {
    bool hasDialog() const override { return true; }
    bool hasStatus() const override { return true; }
    bool hasPercent() const override { return false; }
    bool hasBar() const override { return false; }
    void showStatus(const char16_t* t) override { status = t; }
    void showPercent(const char16_t*) override {}
    void moveBar(uint32_t) override {}
    void endDialog(int r) override { ended = r; }
    std::u16string status;
    int ended = -1;
};

TEST(JobRecords, ProgressGoesWhereItIsBound) {
    ArchiveWriter w;
    EXPECT_EQ(w.progress, nullptr) << "nothing bound: the run reports nowhere";
    w.bindProgress(static_cast<WindowHandle>(nullptr), 1, 2, 3);
    EXPECT_EQ(w.progress, nullptr) << "no dialog, nothing bound";
    RecordingSink sink;
    w.bindProgress(&sink);
    w.progress->showStatus(u"Encrypt: x");
    w.progress->endDialog(1);
    EXPECT_EQ(sink.status, u"Encrypt: x");
    EXPECT_EQ(sink.ended, 1);
    ProgressJob job;
    EXPECT_EQ(job.writer, nullptr);
    EXPECT_EQ(job.reader, nullptr);
}

class RecordWipe : public ::testing::Test {
  protected:
    void SetUp() override { release_watch::reset(); }
    void TearDown() override { release_watch::reset(); }
};

TEST_F(RecordWipe, DestroyingAKeyedRecordThatNeverRanWipesEverything) {
    const void* working;
    const void* saved;
    const void* list;
    const void* table;
    {
        ArchiveWriter w;
        const char16_t names[] = u"secret-plans.doc\0\0";
        w.configure(nullptr, u"C:\\private", nullptr, names, 18, 1);
        ASSERT_TRUE(w.setPassword(u"hunter2"));
        ASSERT_TRUE(w.fileTable.add(u"secret", 6, 1));
        working = w.cipher.working;
        saved = w.cipher.saved;
        list = w.fileList.data;
        table = w.fileTable.nameOf(0);  // the start of the table's first block of names
        release_watch::watch(working, sizeof(AesContext));
        release_watch::watch(saved, sizeof(AesContext));
        release_watch::watch(list, w.fileList.capacity * sizeof(char16_t));
        release_watch::watch(table, 12);
        w.destroy();
        EXPECT_EQ(w.cipher.working, nullptr);
        EXPECT_EQ(w.fileCount, 0u);
    }
    for (const void* p : {working, saved, list, table}) {
        ASSERT_TRUE(release_watch::released(p));
        EXPECT_TRUE(release_watch::wasZero(p));
    }
}

// The reader holds the typed password until its run has read the archive's key block, then the
// key derived from it: both go wiped.
TEST_F(RecordWipe, ReaderDestroyWipesItsPasswordAndKey) {
    const void* held;
    const void* working;
    {
        ArchiveReader r;
        ASSERT_TRUE(r.setPassword(u"pw"));
        held = r.cipher.held;
        ASSERT_NE(held, nullptr);
        release_watch::watch(held, 3 * sizeof(char16_t));
        ASSERT_TRUE(r.cipher.keyFor(KeyRecipe{}));
        working = r.cipher.working;
        release_watch::watch(working, sizeof(AesContext));
    }
    ASSERT_TRUE(release_watch::released(held));
    EXPECT_TRUE(release_watch::wasZero(held));
    ASSERT_TRUE(release_watch::released(working));
    EXPECT_TRUE(release_watch::wasZero(working));
}

TEST(FileTable, HoldsManyNamesCompactlyAcrossBlocks) {
    FileTable t;
    // Long names, so that blocks of names fill and a name would straddle two if allowed.
    std::u16string name(250, u'n');
    const uint32_t files = 3000;
    for (uint32_t i = 0; i < files; ++i) {
        name[0] = static_cast<char16_t>(u'A' + i % 26);
        name[249] = static_cast<char16_t>(u'0' + i % 10);
        ASSERT_TRUE(t.add(name.data(), static_cast<uint32_t>(name.size()), i));
    }
    ASSERT_EQ(t.count(), files);
    for (uint32_t i = 0; i < files; i += 7) {
        const FileEntry e = t.at(i);
        EXPECT_EQ(e.size, i);
        EXPECT_EQ(e.nameLength, 500u);
        EXPECT_EQ(e.name[0], u'A' + i % 26);
        EXPECT_EQ(e.name[249], u'0' + i % 10);
        EXPECT_EQ(e.name[250], 0) << "terminated";
    }
    // 16 bytes a file and its name with a terminator, plus at most one part-filled block of
    // each kind.
    EXPECT_LE(t.bytesHeld(), uint64_t{files} * (16 + 502) + 262144 + 16384 * 16 + 1024);
    EXPECT_FALSE(t.add(name.data(), kMaxNameChars + 1, 0)) << "longer than a stored name";
    EXPECT_EQ(t.count(), files);
    t.release();
    EXPECT_EQ(t.count(), 0u);
    EXPECT_EQ(t.bytesHeld(), 0u);
}

}  // namespace
