// Files through the writer and back through the reader, and what each does when things fail.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/resource.h>

#include <csignal>
#endif

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "common/archive/job_records.h"
#include "common/support/utf8.h"
#include "tests/support/archive_builder.h"
#include "tests/support/file_tree.h"
#include "tests/support/temp_folder.h"

namespace {

namespace fs = std::filesystem;
using Tree = std::map<std::string, std::string>;

constexpr std::size_t kChunk = 512 * 1024;

std::u16string toWide(const std::string& s) {
    return wideFromUtf8(s);
}

// Names joined into the writer's zero-separated list, with the closing empty name.
std::u16string listOf(const std::vector<std::string>& names) {
    std::u16string list;
    for (const auto& n : names) {
        std::u16string w = toWide(n);
        for (auto& c : w) {
            if (c == u'/') c = u'\\';
        }
        list += w;
        list += u'\0';
    }
    list += u'\0';
    return list;
}

struct Job {
    TempFolder dir;
    fs::path source() const { return dir.native() / "src"; }
    fs::path target() const { return dir.native() / "out"; }
    std::u16string archive = dir.path() + u"\\archive.bin";

    // With `folders`, the writer keeps times and those folders without files (nullptr: neither).
    const std::vector<std::string>* folders = nullptr;

    WriteResult write(const Tree& files, const char16_t* password, const std::string& stub = "",
                      std::vector<std::string> names = {}) {
        for (const auto& [name, content] : files)
            file_tree::put(file_tree::below(source(), name), content);
        if (names.empty()) {
            for (const auto& f : files) names.push_back(f.first);
        }
        ArchiveWriter w;
        const std::u16string list = listOf(names);
        w.configure(nullptr, (dir.path() + u"\\src").c_str(), archive.c_str(), list.data(),
                    static_cast<uint32_t>(list.size()), static_cast<uint32_t>(names.size()));
        if (!stub.empty())
            w.stubImage = {reinterpret_cast<const uint8_t*>(stub.data()),
                           static_cast<uint32_t>(stub.size())};
        EXPECT_EQ(w.setPassword(password), password != nullptr && password[0] != 0);
        if (folders != nullptr) {
            w.metadata = true;
            const std::u16string folderList = listOf(*folders);
            w.setFolders(folderList.data(), static_cast<uint32_t>(folderList.size()));
        }
        w.run();
        return w.writeResult;
    }

    ExtractResult read(const char16_t* password, const std::u16string& destination = u"") {
        ArchiveReader r;
        const std::u16string dest = destination.empty() ? dir.path() + u"\\out" : destination;
        r.configure(nullptr, dest.c_str(), archive.c_str());
        EXPECT_EQ(r.setPassword(password), password != nullptr && password[0] != 0);
        r.run();
        return r.result;
    }

    std::vector<uint8_t> bytes() const {
        const std::string s = file_tree::get(file_tree::native(archive));
        return {s.begin(), s.end()};
    }

    void putArchive(const std::vector<uint8_t>& image) {
        file_tree::put(file_tree::native(archive), std::string(image.begin(), image.end()));
    }
};

TEST(ArchiveRoundTrip, EmptyFilesAnywhereAndOddSizes) {
    const Tree files = {{"a-empty-first", ""},
                        {"b.txt", "hello"},
                        {"c-empty-middle", ""},
                        {"d.bin", file_tree::pattern(4099, 1)},
                        {"e-sixteen", std::string(16, 'x')},
                        {"f-empty-last", ""}};
    for (const char16_t* password : {u"pw", static_cast<const char16_t*>(nullptr)}) {
        Job job;
        // The listed order is the stored order; the names sort the same way.
        ASSERT_EQ(job.write(files, password), kWriteOk);
        ASSERT_EQ(job.read(password), kExtractOk);
        EXPECT_EQ(file_tree::read(job.target()), files);
    }
}

TEST(ArchiveRoundTrip, ChunkBoundariesSubFoldersAndNonAsciiNames) {
    const Tree files = {
        {"exact-chunk", file_tree::pattern(kChunk, 2)},  // ends on a chunk boundary
        {"next-starts-a-chunk", file_tree::pattern(33, 3)},
        {"sub/deep/crossing", file_tree::pattern(kChunk + 5000, 4)},  // spans two chunks
        {"sub/r\xc3\xa9sum\xc3\xa9 \xe2\x82\xac.txt", "non-ASCII name"},
        {"z-large", file_tree::pattern(3 * kChunk - 7, 5)},
    };
    Job job;
    ASSERT_EQ(job.write(files, u"p\u00e4ss", "MZ-stub-bytes"), kWriteOk);
    ASSERT_EQ(job.read(u"p\u00e4ss"), kExtractOk);
    EXPECT_EQ(file_tree::read(job.target()), files);
    EXPECT_EQ(file_tree::get(file_tree::native(job.archive)).substr(0, 13), "MZ-stub-bytes");
}

TEST(ArchiveRoundTrip, ContentsOfWholeBlocksAndAllEmpty) {
    for (const Tree& files : {Tree{{"a", std::string(32, 'a')}, {"b", std::string(48, 'b')}},
                              Tree{{"e1", ""}, {"e2", ""}}}) {
        Job job;
        ASSERT_EQ(job.write(files, u"pw"), kWriteOk);
        ASSERT_EQ(job.read(u"pw"), kExtractOk);
        EXPECT_EQ(file_tree::read(job.target()), files);
    }
}

// A metadata record longer than the writer's buffer, so it is flushed in pieces: thousands of
// folders without files (which need not exist to be listed: their times are then unknown), and
// a file whose time was moved back a year.
TEST(ArchiveRoundTrip, MetadataLargerThanAChunkComesBackWhole) {
    const Tree files = {{"a.txt", "dated"}, {"b/c.bin", file_tree::pattern(kChunk + 3, 6)}};
    std::vector<std::string> folders;
    for (int i = 0; i < 2100; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "many/f%04d-", i);
        folders.push_back(name + std::string(120, 'x'));
    }
    Job job;
    job.folders = &folders;
    for (const auto& [name, content] : files) {
        file_tree::put(file_tree::below(job.source(), name), content);
    }
    const fs::path dated = job.source() / "a.txt";
    const auto then = fs::last_write_time(dated) - std::chrono::hours(24 * 365);
    fs::last_write_time(dated, then);
    ASSERT_EQ(job.write({}, u"pw", "", {"a.txt", "b/c.bin"}), kWriteOk);
    // The data is a chunk and a little; the metadata more than another.
    EXPECT_GT(job.bytes().size(), 2 * kChunk);
    ASSERT_EQ(job.read(u"pw"), kExtractOk);
    EXPECT_EQ(file_tree::read(job.target()), files);
    const auto back = fs::last_write_time(job.target() / "a.txt");
    EXPECT_EQ(std::chrono::duration_cast<std::chrono::seconds>(back - then).count(), 0);
    std::size_t made = 0;
    for (const auto& e : fs::directory_iterator(job.target() / "many")) {
        made += e.is_directory() && fs::is_empty(e.path()) ? 1 : 0;
    }
    EXPECT_EQ(made, folders.size());
}

TEST(ArchiveReader, WrongPasswordAndDamageCreateNothing) {
    Job job;
    ASSERT_EQ(job.write({{"sub/a", "secret"}}, u"right"), kWriteOk);
    EXPECT_EQ(job.read(u"wrong"), kWrongPassword);
    EXPECT_EQ(job.read(nullptr), kWrongPassword);
    EXPECT_FALSE(fs::exists(job.target())) << "nothing created before the password is known good";

    auto image = job.bytes();
    image.insert(image.begin() + 3, 0x42);
    job.putArchive(image);
    EXPECT_EQ(job.read(u"right"), kCorrupt);
    image = job.bytes();
    image.erase(image.begin() + 3);
    image.push_back(0);
    job.putArchive(image);
    EXPECT_EQ(job.read(u"right"), kWrongPassword) << "bytes after the trailer";
    EXPECT_FALSE(fs::exists(job.target()));

    ArchiveReader missing;
    missing.configure(nullptr, u"x", nullptr);
    missing.run();
    EXPECT_EQ(missing.result, kCorrupt) << "no archive path";
}

TEST(ArchiveReader, NamesThatLeaveTheDestinationRejectTheWholeArchive) {
    for (const char16_t* bad : {u"..\\escaped", u"ok\\..\\..\\escaped", u"\\rooted", u"C:\\x",
                                u"a:stream", u"a\\\\b", u"NUL"}) {
        Job job;
        job.putArchive(buildImage({{u"fine.txt", "first"}, {bad, "evil"}}, u"pw", ""));
        EXPECT_EQ(job.read(u"pw"), kCorrupt) << utf8FromWide(bad);
        EXPECT_FALSE(fs::exists(job.target())) << "not even the safe first file";
        EXPECT_FALSE(fs::exists(job.dir.native() / "escaped"));
    }
}

// Names other systems hold but Windows cannot: refused as corrupt on every system, before any
// file is written, not discovered on Windows once the data has been decrypted.
TEST(ArchiveReader, NamesWindowsCannotHoldRejectTheWholeArchive) {
    for (const char16_t* bad : {u"what?.txt", u"*.doc", u"a<b", u"a>b", u"a|b", u"\"a\"",
                                u"sub?\\inner.txt", u"ends.in.dot."}) {
        for (const char16_t* password : {u"pw", static_cast<const char16_t*>(nullptr)}) {
            Job job;
            job.putArchive(buildImage({{u"fine.txt", "first"}, {bad, "odd"}}, password, ""));
            EXPECT_EQ(job.read(password), kCorrupt) << utf8FromWide(bad);
            EXPECT_FALSE(fs::exists(job.target())) << "not even the safe first file";
        }
    }
}

// Every status line the reader shows.
struct StatusLines : ProgressSink {
    std::vector<std::u16string> lines;
    bool hasDialog() const override { return false; }
    bool hasStatus() const override { return true; }
    bool hasPercent() const override { return false; }
    bool hasBar() const override { return false; }
    void showStatus(const char16_t* text) override { lines.emplace_back(text); }
    void showPercent(const char16_t*) override {}
    void moveBar(uint32_t) override {}
    void endDialog(int) override {}
};

// An archive made before writers refused them may hold a name with a right-to-left override.
// It still extracts (the file system takes the name), but the progress line shows the override
// written out, so "Invoice_2024<U+202E>fdp.exe" never reads as "Invoice_2024exe.pdf".
TEST(ArchiveReader, NamesWithInvisibleFormattingExtractAndShowWrittenOut) {
    Job job;
    job.putArchive(buildImage({{u"Invoice_2024\u202Efdp.exe", "x"}}, u"pw", ""));
    const std::u16string dest = job.dir.path() + u"\\out";
    ArchiveReader r;
    r.configure(nullptr, dest.c_str(), job.archive.c_str());
    ASSERT_TRUE(r.setPassword(u"pw"));
    r.unverified = kUnverifiedAllow;  // an old archive, made before the integrity record
    StatusLines status;
    r.bindProgress(&status);
    r.run();
    ASSERT_EQ(r.result, kExtractOk);
    EXPECT_EQ(file_tree::read(job.target()), (Tree{{"Invoice_2024\xE2\x80\xAE"
                                                    "fdp.exe",
                                                    "x"}}));
    bool named = false;
    for (const std::u16string& line : status.lines) {
        EXPECT_EQ(line.find(u'\u202E'), std::u16string::npos) << utf8FromWide(line);
        named = named || line.find(u" Invoice_2024<U+202E>fdp.exe") != std::u16string::npos;
    }
    EXPECT_TRUE(named) << "the name is shown, written out";
}

TEST(ArchiveReader, SizesThatDoNotAccountForTheDataAreCorrupt) {
    // Sizes summing past the data, and sizes leaving more than padding unused.
    std::vector<uint8_t> image = buildImage({{u"a", std::string(40, 'a')}}, nullptr, "");
    ArchiveTrailer t;
    std::memcpy(&t, image.data() + image.size() - kTrailerSize, kTrailerSize);
    for (uint64_t size : {uint64_t{49}, uint64_t{32}, uint64_t{0}}) {
        auto forged = image;
        // The info block starts right after the 48-byte data stream; the size is at offset 4.
        std::memcpy(forged.data() + t.dataSize + 4, &size, 8);
        Job job;
        job.putArchive(forged);
        EXPECT_EQ(job.read(nullptr), kCorrupt) << size;
        EXPECT_FALSE(fs::exists(job.target()));
    }
}

TEST(ArchiveReader, DestinationForms) {
    Job job;
    ASSERT_EQ(job.write({{"f.txt", "data"}}, u"pw"), kWriteOk);
    // A destination ending in a separator gets no second one.
    ASSERT_EQ(job.read(u"pw", job.dir.path() + u"\\slash\\"), kExtractOk);
    EXPECT_EQ(file_tree::get(job.dir.native() / "slash" / "f.txt"), "data");
    // A destination without any backslash is a relative folder; an empty one the current folder.
    const auto saved = fs::current_path();
    fs::current_path(job.dir.native());
    EXPECT_EQ(job.read(u"pw", u"relative"), kExtractOk);
    ArchiveReader here;
    here.configure(nullptr, nullptr, job.archive.c_str());
    ASSERT_TRUE(here.setPassword(u"pw"));
    here.run();
    fs::current_path(saved);
    EXPECT_EQ(here.result, kExtractOk);
    EXPECT_EQ(file_tree::get(job.dir.native() / "relative" / "f.txt"), "data");
    EXPECT_EQ(file_tree::get(job.dir.native() / "f.txt"), "data");
}

TEST(ArchiveReader, AFileThatCannotBeCreatedIsAFailure) {
    Job job;
    ASSERT_EQ(job.write({{"a.txt", "first"}, {"blocked/b.txt", "second"}}, u"pw"), kWriteOk);
    file_tree::put(job.target() / "blocked", "a file where a folder must go");
    EXPECT_EQ(job.read(u"pw"), kWriteError);
    // Nothing is committed when one file fails: the destination is as it was.
    EXPECT_EQ(file_tree::read(job.target()), (Tree{{"blocked", "a file where a folder must go"}}));
}

TEST(ArchiveWriter, StoresNamesTheReaderAccepts) {
    Job job;
    file_tree::put(job.source() / "in.txt", "x");
    file_tree::put(job.dir.native() / "up.txt", "y");
    ASSERT_EQ(job.write({}, u"pw", "", {"./in.txt", "../up.txt"}), kWriteOk);
    ASSERT_EQ(job.read(u"pw"), kExtractOk);
    EXPECT_EQ(file_tree::read(job.target()), (Tree{{"in.txt", "x"}, {"up.txt", "y"}}));
}

#ifndef _WIN32
// Elsewhere a file may be called "what?.txt"; the writer leaves it out as it does a missing file
// (sfxtool refuses such a name before it starts), so no archive holds a name Windows cannot.
TEST(ArchiveWriter, LeavesOutNamesWindowsCannotHold) {
    for (const char* bad : {"what?.txt", "a*b", "a<b", "a>b", "a|b", "\"a\""}) {
        Job job;
        ASSERT_EQ(job.write({{"fine.txt", "x"}, {bad, "y"}}, u"pw"), kWriteOk) << bad;
        ASSERT_EQ(job.read(u"pw"), kExtractOk) << bad;
        EXPECT_EQ(file_tree::read(job.target()), (Tree{{"fine.txt", "x"}})) << bad;
    }
}
#endif

// A name with an invisible formatting character would show as another: the writer leaves such
// a file out as it does a missing one, on every system (the front ends refuse it up front).
TEST(ArchiveWriter, LeavesOutNamesThatShowOtherThanTheyAre) {
    for (const char* bad : {"Invoice_2024\xE2\x80\xAE"
                            "fdp.exe",
                            "zero\xE2\x80\x8Bwidth.txt", "soft\xC2\xADhyphen.txt",
                            "bom\xEF\xBB\xBF/inner.txt", "tag\xF3\xA0\x81\x81.txt"}) {
        Job job;
        ASSERT_EQ(job.write({{"fine.txt", "x"}, {bad, "y"}}, u"pw"), kWriteOk) << bad;
        ASSERT_EQ(job.read(u"pw"), kExtractOk) << bad;
        EXPECT_EQ(file_tree::read(job.target()), (Tree{{"fine.txt", "x"}})) << bad;
    }
}

TEST(ArchiveWriter, EmptyBaseFolderTakesNamesAsTheyStand) {
    Job job;
    file_tree::put(job.dir.native() / "given.txt", "as is");
    const std::u16string full = job.dir.path() + u"\\given.txt";
    const std::u16string list = full + u'\0' + u'\0';
    ArchiveWriter w;
    w.configure(nullptr, u"", job.archive.c_str(), list.data(), static_cast<uint32_t>(list.size()),
                1);
    w.run();
    ASSERT_EQ(w.writeResult, kWriteOk);
    ASSERT_EQ(job.read(nullptr), kExtractOk);
    // A full path is stored without its root, as tar stores it.
    EXPECT_EQ(file_tree::get(job.target() / job.dir.native().relative_path() / "given.txt"),
              "as is");
}

TEST(ArchiveWriter, DefaultOutputNameAndExtension) {
    for (const auto& [first, stub, expected] :
         {std::tuple{"notes.txt", "S", "notes.exe"}, std::tuple{"notes.txt", "", "notes.tvf"},
          std::tuple{"README", "S", "README.exe"},
          std::tuple{"v1.2/notes", "", "v1.2/notes.tvf"}}) {
        TempFolder dir;
        file_tree::put(dir.native() / first, "content");
        std::u16string list = listOf({first});
        ArchiveWriter w;
        w.configure(nullptr, dir.path().c_str(), nullptr, list.data(),
                    static_cast<uint32_t>(list.size()), 1);
        if (*stub) w.stubImage = {reinterpret_cast<const uint8_t*>(stub), 1};
        const auto saved = fs::current_path();
        fs::current_path(dir.native());  // the derived name is relative to the current folder
        w.run();
        fs::current_path(saved);
        EXPECT_EQ(w.writeResult, kWriteOk);
        EXPECT_TRUE(fs::exists(dir.native() / expected)) << expected;
    }
}

// Shrinks a file once the first chunk of it has gone by: its record would claim bytes the
// archive does not hold. The file is long enough that chunks read after the shrink remain
// (the writer reads at most three chunks ahead).
struct ShrinkingSink : ProgressSink {
    fs::path victim;
    bool done = false;
    bool hasDialog() const override { return false; }
    bool hasStatus() const override { return false; }
    bool hasPercent() const override { return true; }
    bool hasBar() const override { return true; }
    void showStatus(const char16_t*) override {}
    void showPercent(const char16_t*) override {
        if (!done) fs::resize_file(victim, 100);
        done = true;
    }
    void moveBar(uint32_t) override {}
    void endDialog(int) override {}
};

TEST(ArchiveWriter, FailuresLeaveNothingAndKeepWhatWasThere) {
    Job job;
    file_tree::put(job.source() / "big", file_tree::pattern(8 * kChunk, 9));
    file_tree::put(file_tree::native(job.archive), "an older archive");
#ifndef _WIN32
    // Windows keeps others from shrinking a file we hold open; elsewhere it can happen.
    ShrinkingSink sink;
    sink.victim = job.source() / "big";
    ArchiveWriter w;
    const std::u16string list = listOf({"big"});
    w.configure(nullptr, (job.dir.path() + u"\\src").c_str(), job.archive.c_str(), list.data(),
                static_cast<uint32_t>(list.size()), 1);
    w.bindProgress(&sink);
    w.run();
    EXPECT_EQ(w.writeResult, kWriteReadFailed);
    EXPECT_EQ(file_tree::get(file_tree::native(job.archive)), "an older archive");
    for (const auto& e : fs::directory_iterator(job.dir.native())) {
        EXPECT_EQ(e.path().string().find(".partial"), std::string::npos) << e.path();
    }
#endif

    // Output in a folder that does not exist.
    Job other;
    other.archive = other.dir.path() + u"\\no\\such\\folder\\a.tvf";
    EXPECT_EQ(other.write({{"x", "y"}}, u"pw"), kWriteCannotCreate);
    // Nothing that could be read at all.
    Job none;
    EXPECT_EQ(none.write({}, u"pw", "", {"missing-1", "missing-2"}), kWriteReadFailed);
    EXPECT_FALSE(fs::exists(file_tree::native(none.archive)));
}

#ifndef _WIN32
// A disk that fills up, as a file-size limit on this process: writes past it fail.
class FullDisk {
  public:
    explicit FullDisk(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &saved_);
        signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved_;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FullDisk() { setrlimit(RLIMIT_FSIZE, &saved_); }

  private:
    rlimit saved_{};
};

TEST(ArchiveWriter, AFullDiskLeavesNoPartialArchive) {
    Job job;
    file_tree::put(job.source() / "f", file_tree::pattern(300000, 6));
    file_tree::put(file_tree::native(job.archive), "kept");
    ArchiveWriter w;
    const std::u16string list = listOf({"f"});
    w.configure(nullptr, (job.dir.path() + u"\\src").c_str(), job.archive.c_str(), list.data(),
                static_cast<uint32_t>(list.size()), 1);
    {
        FullDisk full(100000);
        w.run();
    }
    EXPECT_EQ(w.writeResult, kWriteFailed);
    EXPECT_EQ(file_tree::get(file_tree::native(job.archive)), "kept");
    for (const auto& e : fs::directory_iterator(job.dir.native())) {
        EXPECT_EQ(e.path().string().find(".partial"), std::string::npos) << e.path();
    }
}

TEST(ArchiveReader, AFullDiskIsAFailureAndLeavesTheOldFiles) {
    Job job;
    ASSERT_EQ(job.write({{"a-small", "fits"}, {"b-large", file_tree::pattern(300000, 7)}}, u"pw"),
              kWriteOk);
    // The user's own copy of the file that cannot be written whole must survive the failure.
    file_tree::put(job.target() / "b-large", "the user's old file");
    ExtractResult result;
    {
        FullDisk full(100000);
        result = job.read(u"pw");
    }
    EXPECT_EQ(result, kWriteError);
    EXPECT_EQ(file_tree::read(job.target()), (Tree{{"b-large", "the user's old file"}}))
        << "no new file, no temporary, the old one untouched";
}
#endif

TEST(ArchiveWriter, MissingFilesAreLeftOut) {
    Job job;
    ASSERT_EQ(job.write({{"present", "here"}}, u"pw", "", {"absent", "present"}), kWriteOk);
    ASSERT_EQ(job.read(u"pw"), kExtractOk);
    EXPECT_EQ(file_tree::read(job.target()), (Tree{{"present", "here"}}));
}

}  // namespace
