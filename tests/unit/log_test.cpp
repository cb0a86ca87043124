// The log: the exact entry text and the cut of an over-long one on every build; natively, with
// the search pointed at folders of the test's own, the file behaviour (shared with the test on a
// Windows drive root, tests/win32/log_drive_root_test.cpp) and the order of the roots.
#include <gtest/gtest.h>

#include <cstdarg>
#include <string>

#include "common/support/log_entry.h"

namespace {

std::u16string entry(const UtcTime& time, int level, const char* tag, const char16_t* format, ...) {
    char16_t out[kLogEntryRoom + 1];
    out[kLogEntryRoom] = u'#';
    va_list args;
    va_start(args, format);
    const uint32_t n = buildLogEntry(out, time, level, tag, format, args);
    va_end(args);
    EXPECT_EQ(out[kLogEntryRoom], u'#') << "written past the entry";
    EXPECT_EQ(std::u16string(out).size(), n);
    return out;
}

const UtcTime kMorning{2024, 3, 7, 9, 5, 3, 42};

TEST(LogEntry, PrefixPadsTheTimeWithSpacesAndLabelsTheLevel) {
    EXPECT_EQ(entry(kMorning, 3, "rftc", u"file %s, %I64d bytes", u"a.txt", int64_t{5} << 32),
              u"\r\n[ 9: 5: 3: 42] TRACE   [rftc] file a.txt, 21474836480 bytes");
    EXPECT_EQ(entry(UtcTime{2024, 1, 1, 23, 59, 58, 999}, 1, "end", u"%d", -1),
              u"\r\n[23:59:58:999] ERROR   [end] -1");
    EXPECT_EQ(entry(kMorning, 2, "init_log", u"\n\nSTART LOGFILE"),
              u"\r\n[ 9: 5: 3: 42] WARNING [init_log] \n\nSTART LOGFILE");
    EXPECT_EQ(entry(kMorning, 5, "4", u"x"), u"\r\n[ 9: 5: 3: 42]  [4] x") << "no label";
}

TEST(LogEntry, AnOverLongEntryIsCutAt4351Characters) {
    const std::u16string longText(5000, u'x');
    const std::u16string cut = entry(kMorning, 3, "t", u"%s", longText.c_str());
    EXPECT_EQ(cut.size(), 4351u);
    EXPECT_EQ(cut.substr(0, 30), u"\r\n[ 9: 5: 3: 42] TRACE   [t] x");
    // A surrogate pair across the limit is dropped whole rather than split.
    std::u16string pairAtEnd(4351 - 29 - 1, u'y');
    pairAtEnd += u"\U0001F600";
    EXPECT_EQ(entry(kMorning, 3, "t", u"%s", pairAtEnd.c_str()).size(), 4350u);
}

}  // namespace

#ifndef _WIN32

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "common/support/drive_roots.h"
#include "common/support/file_io.h"
#include "common/support/log.h"
#include "tests/support/temp_folder.h"

// The log search pointed at two folders of the test's own, "first" listed before "second".
class LogFileCase : public ::testing::Test {
  protected:
    static constexpr const char* kVersion = "Unknown";
    static constexpr const char* kProductVersion = "Unknown";
    static constexpr const char* kProductName = "Unknown";

    void SetUp() override {
        const std::u16string first = dir_.path() + u"\\first\\",
                             second = dir_.path() + u"\\second\\";
        ASSERT_TRUE(createFolder(first.c_str()) && createFolder(second.c_str()));
        const char16_t* roots[] = {first.c_str(), second.c_str()};
        setLogSearchRoots(roots, 2);
    }
    void TearDown() override {
        setLogSearchRoots(nullptr, 0);
        resetLogForTesting();
    }
    std::filesystem::path file(const char* folder = "first") const {
        return dir_.native() / folder / "zq_sfx.log";
    }
    void create(const std::string& bytes, const char* folder = "first") {
        std::ofstream(file(folder), std::ios::binary) << bytes;
    }
    void remove() { std::filesystem::remove(file()); }
    std::string read(const char* folder = "first") {
        std::ifstream in(file(folder), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    void start() {
        resetLogForTesting();
        ModuleHandle program = nullptr;
        initLog(u"zq_sfx", &program, 1);
    }

    TempFolder dir_;
};

#include "tests/support/log_file_cases.h"

TEST_F(LogFileCase, TheFirstListedRootWithAFileWinsAndLaterStartsDoNothing) {
    create("", "second");
    start();
    EXPECT_EQ(log_file_cases::entries(read("second")).size(), 15u) << "the only file";

    create("");
    ModuleHandle program = nullptr;
    initLog(u"zq_sfx", &program, 1);  // started already: nothing is searched again
    EXPECT_EQ(logLine(3, "t", u"still second"), 1);
    EXPECT_EQ(read(), "");
    EXPECT_EQ(log_file_cases::entries(read("second")).back(), "TRACE  |t|still second");

    create("", "second");
    start();
    EXPECT_EQ(log_file_cases::entries(read()).size(), 15u);
    EXPECT_EQ(read("second"), "") << "the first root now has a file";
}

// A link or a second name planted under the log's name makes every program that logs write into
// the file it leads to. None is ever opened: logging stays off, as without a file, and the
// search goes on to the next root.
TEST_F(LogFileCase, ALinkOrAFileWithOtherNamesIsNoLog) {
    const std::filesystem::path victim = dir_.native() / "victim.txt";
    const auto plantVictim = [&] {
        std::filesystem::remove(file());
        std::ofstream(victim, std::ios::binary) << "3";
    };
    const auto victimText = [&] {
        std::ifstream in(victim, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };

    plantVictim();
    std::filesystem::create_symlink(victim, file());
    start();
    EXPECT_EQ(logLine(1, "x", u"through a symbolic link"), 0);
    EXPECT_EQ(victimText(), "3");

    plantVictim();
    std::filesystem::create_hard_link(victim, file());
    start();
    EXPECT_EQ(logLine(1, "x", u"through a hard link"), 0);
    EXPECT_EQ(victimText(), "3");

    // Such a name is passed over like a missing file: a log in the next root is used.
    create("", "second");
    start();
    EXPECT_EQ(log_file_cases::entries(read("second")).size(), 15u);
    EXPECT_EQ(victimText(), "3");
}

TEST_F(LogFileCase, ALinkPutInPlaceAfterTheStartIsNotWritten) {
    const std::filesystem::path victim = dir_.native() / "victim.txt";
    std::ofstream(victim, std::ios::binary) << "3";
    create("3");
    start();
    create("3");  // without the banner
    EXPECT_EQ(logLine(3, "t", u"written"), 1);
    EXPECT_EQ(log_file_cases::entries(read()), std::vector<std::string>{"TRACE  |t|written"});

    remove();
    std::filesystem::create_symlink(victim, file());
    EXPECT_EQ(logLine(3, "t", u"lost"), 1) << "it passed the level test";
    std::filesystem::remove(file());
    std::filesystem::create_hard_link(victim, file());
    EXPECT_EQ(logLine(3, "t", u"lost too"), 1);
    std::ifstream in(victim, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "3");
}

// Not a regular file, or a file another user put there and owns, is no log either; a FIFO must
// not even be opened, since opening one for reading waits for a writer.
TEST_F(LogFileCase, AFifoOrAnotherUsersFileIsNoLog) {
    ASSERT_EQ(mkfifo(file().c_str(), 0600), 0);
    start();
    EXPECT_EQ(logLine(1, "x", u"into a fifo"), 0);
    remove();

    create("3");
    if (chown(file().c_str(), 4242, 4242) != 0) GTEST_SKIP() << "only root may give a file away";
    start();
    EXPECT_EQ(logLine(1, "x", u"into another user's file"), 0);
    EXPECT_EQ(read(), "3");
    ASSERT_EQ(chown(file().c_str(), 0, 0), 0);
    start();
    EXPECT_EQ(logLine(1, "x", u"root's own file"), 1);
    EXPECT_EQ(log_file_cases::entries(read()).back(), "ERROR  |x|root's own file");
}

#endif  // !_WIN32
