// Two things a front end asks of a run from outside it. Keeping what the destination holds:
// every entry at a stored name (a file, a link, a folder) is left as it was, the rest is
// extracted, and the counts say what was replaced or kept. A stop request: the file calls
// refuse from then on, so a writer or a reader ends as a failed run and leaves nothing, and a
// commit renames nothing. A stop cannot be taken back, so each of those runs in a child process
// of its own (a death test) and reports by its exit status.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "common/archive/extraction_commit.h"
#include "common/archive/job_records.h"
#include "common/support/file_io.h"
#include "common/support/stop_request.h"
#include "tests/support/archive_builder.h"
#include "tests/support/file_tree.h"
#include "tests/support/temp_folder.h"

namespace {

namespace fs = std::filesystem;

struct Destination {
    TempFolder dir;
    std::u16string archive = dir.path() + u"\\a.tvf";
    fs::path dest() const { return dir.native() / "dest"; }

    explicit Destination(const std::vector<StoredFile>& files) {
        fs::create_directories(dest());
        const auto image = buildImage(files, u"pw", "", nullptr, true, nullptr, kIntegrityVersion);
        file_tree::put(file_tree::native(archive),
                       std::string(reinterpret_cast<const char*>(image.data()), image.size()));
    }

    ExtractResult extract() {
        ArchiveReader r;
        const std::u16string d = dir.path() + u"\\dest";
        r.configure(nullptr, d.c_str(), archive.c_str());
        if (!r.setPassword(u"pw")) return kOutOfMemory;
        r.run();
        return r.result;
    }

    // Every entry below the destination: files with their bytes, folders with a slash, links
    // with their target.
    std::map<std::string, std::string> entries() const {
        std::map<std::string, std::string> out;
        for (auto it = fs::recursive_directory_iterator(dest());
             it != fs::recursive_directory_iterator(); ++it) {
            const std::string rel = it->path().lexically_relative(dest()).generic_string();
            if (it->is_symlink()) {
                out[rel] = "-> " + fs::read_symlink(it->path()).string();
                it.disable_recursion_pending();
            } else if (it->is_directory()) {
                out[rel + "/"] = "";
            } else {
                out[rel] = file_tree::get(it->path());
            }
        }
        return out;
    }
};

// The process-wide choice goes back to replacing after each test.
class KeepExisting : public ::testing::Test {
  protected:
    void TearDown() override { keepExistingFiles(false); }
};

TEST_F(KeepExisting, ReplacedFilesAreCounted) {
    Destination d({{u"a.txt", "new a"}, {u"sub\\b.txt", "new b"}, {u"c.txt", "new c"}});
    file_tree::put(d.dest() / "a.txt", "old a");
    file_tree::put(d.dest() / "sub" / "b.txt", "old b");
    ASSERT_EQ(d.extract(), kExtractOk);
    EXPECT_EQ(lastCommitCounts().replaced, 2u);
    EXPECT_EQ(lastCommitCounts().kept, 0u);
    EXPECT_EQ(d.entries(),
              (std::map<std::string, std::string>{
                  {"a.txt", "new a"}, {"c.txt", "new c"}, {"sub/", ""}, {"sub/b.txt", "new b"}}));
}

TEST_F(KeepExisting, WhatStandsAtAStoredNameIsLeftAndTheRestExtracted) {
    std::vector<StoredFile> stored = {
        {u"a.txt", "new a"}, {u"dir", "new dir"}, {u"sub\\c.txt", "new c"}};
    std::map<std::string, std::string> expected = {
        {"a.txt", "old a"}, {"dir/", ""}, {"sub/", ""}, {"sub/c.txt", "new c"}};
#ifndef _WIN32
    stored.push_back({u"link", "new link"});
    expected["link"] = "-> a.txt";
#endif
    Destination d(stored);
    file_tree::put(d.dest() / "a.txt", "old a");
    fs::create_directories(d.dest() / "dir");
#ifndef _WIN32
    fs::create_symlink("a.txt", d.dest() / "link");
#endif
    keepExistingFiles(true);
    ASSERT_EQ(d.extract(), kExtractOk);
    EXPECT_EQ(d.entries(), expected) << "no temporary left, nothing written through the link";
    EXPECT_EQ(lastCommitCounts().kept, expected.size() - 2);  // all but sub/ and sub/c.txt
    EXPECT_EQ(lastCommitCounts().replaced, 0u);
}

TEST_F(KeepExisting, AFailedRunStillLeavesEverything) {
    Destination d({{u"a.txt", "new a"}, {u"blocked\\b.txt", "cannot go there"}});
    file_tree::put(d.dest() / "a.txt", "old a");
    file_tree::put(d.dest() / "blocked", "a file where a folder must go");
    const auto before = d.entries();
    keepExistingFiles(true);
    EXPECT_EQ(d.extract(), kWriteError);
    EXPECT_EQ(d.entries(), before);
}

#if GTEST_HAS_DEATH_TEST
// Runs `body` in a child process with a stop requested; the child exits 0 when `body` holds.
template <typename Body>
void inStoppedChild(Body body) {
    EXPECT_EXIT(
        {
            requestStop(2);
            std::exit(body() ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST(StopRequest, TheFirstReasonStays) {
    inStoppedChild([] {
        requestStop(15);
        return stopRequest() == 2;
    });
}

TEST(StopRequest, FileCallsRefuseWithTheSystemsWordForIt) {
    TempFolder dir;
    const std::u16string a = dir.path() + u"\\a.txt", b = dir.path() + u"\\b.txt";
    file_tree::put(file_tree::native(a), "there");
    inStoppedChild([&] {
        File f;
        char buf[8];
        const bool opened = f.open(a.c_str(), FileOpen::kReadShared);
        const bool readRefused = f.read(buf, sizeof buf) == -1;
        const uint32_t readError = lastSystemError();
        const bool moveRefused = !replaceFile(a.c_str(), b.c_str());
#ifdef _WIN32
        const uint32_t expected = 995;  // ERROR_OPERATION_ABORTED
#else
        const uint32_t expected = EINTR;
#endif
        return opened && readRefused && readError == expected && moveRefused &&
               fs::exists(file_tree::native(a)) && !fs::exists(file_tree::native(b));
    });
}

TEST(StopRequest, AWriterLeavesNeitherArchiveNorTemporary) {
    TempFolder dir;
    file_tree::put(dir.native() / "in.txt", file_tree::pattern(3 << 20, 1));
    file_tree::put(dir.native() / "out.tvf", "the archive that was there");
    inStoppedChild([&] {
        ArchiveWriter w;
        const std::u16string out = dir.path() + u"\\out.tvf";
        const char16_t list[] = u"in.txt\0";
        w.configure(nullptr, dir.path().c_str(), out.c_str(), list, 8, 1);
        w.strictList = true;
        if (!w.setPassword(u"pw")) return false;
        w.run();
        const auto files = file_tree::read(dir.native());
        return w.writeResult != kWriteOk && files.size() == 2 &&
               files.at("out.tvf") == "the archive that was there";
    });
}

TEST(StopRequest, AReaderLeavesTheDestinationAsItWas) {
    Destination d({{u"a.txt", "new a"}, {u"b.txt", file_tree::pattern(3 << 20, 2)}});
    file_tree::put(d.dest() / "a.txt", "old a");
    inStoppedChild([&] {
        const ExtractResult result = d.extract();
        return result != kExtractOk &&
               d.entries() == std::map<std::string, std::string>{{"a.txt", "old a"}};
    });
}

TEST(StopRequest, ACommitRenamesNothing) {
    TempFolder dir;
    file_tree::put(dir.native() / "a.txt", "old a");
    inStoppedChild([&] {
        FileTable files;
        DestinationTree tree;
        ExtractionCommit pending;
        if (!files.add(u"a.txt", 5, 3) || !files.add(u"b.txt", 5, 3)) return false;
        if (!tree.open(dir.path().c_str()) || !pending.prepare(2)) return false;
        for (uint32_t i = 0; i < 2; ++i) {
            const char16_t* leaf = nullptr;
            File temp;
            if (pending.enterFolderOf(tree, files, i, true, leaf) != TreeEnter::kEntered ||
                !pending.createTemporary(tree, i, temp)) {
                return false;
            }
        }
        uint32_t failed = 99;
        TargetRefusal refused = kRefusedLink;
        const bool done = pending.commit(tree, files, FileIdentity{}, failed, refused);
        return !done && refused == kNotRefused &&
               file_tree::read(dir.native()) ==
                   std::map<std::string, std::string>{{"a.txt", "old a"}};
    });
}
#endif

}  // namespace
