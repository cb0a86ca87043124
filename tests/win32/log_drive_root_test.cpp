// The log on a real drive root, found by the walk over the machine's fixed disks: C:\zq_sfx.log
// in the Wine prefix (C: is listed first), with this program's version resource in the banner.
// The file is seen by every program that starts a log; ctest runs the tests that create it or
// log one at a time (lock wine_log_file).
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "common/support/log.h"

class LogFileCase : public ::testing::Test {
  protected:
    static constexpr const char* kFile = "C:\\zq_sfx.log";
    static constexpr const char* kVersion = "3.12.0.7";
    static constexpr const char* kProductVersion = "3.12 beta";
    static constexpr const char* kProductName = "Quillon SFX tests";

    void TearDown() override {
        DeleteFileA(kFile);
        resetLogForTesting();
    }
    void create(const std::string& bytes) { std::ofstream(kFile, std::ios::binary) << bytes; }
    void remove() { DeleteFileA(kFile); }
    std::string read() {
        std::ifstream in(kFile, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    void start() {
        resetLogForTesting();
        ModuleHandle program = GetModuleHandleW(nullptr);
        initLog(u"zq_sfx", &program, 1);
    }
};

#include "tests/support/log_file_cases.h"

// A hard link or a symbolic link planted at C:\zq_sfx.log would make every program that logs
// write into the file it leads to. Neither is opened: logging stays off.
TEST_F(LogFileCase, ALinkAtTheRootIsNoLog) {
    const char* const kVictim = "C:\\zq_sfx_victim.txt";
    const auto victimText = [&] {
        std::ifstream in(kVictim, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    std::ofstream(kVictim, std::ios::binary) << "3";

    remove();
    ASSERT_TRUE(CreateHardLinkA(kFile, kVictim, nullptr));
    start();
    EXPECT_EQ(logLine(1, "x", u"through a hard link"), 0);
    EXPECT_EQ(victimText(), "3");

    remove();
    // Symbolic links need a privilege (or developer mode) on Windows; where none can be made
    // there is nothing to plant.
    using CreateLink = BOOLEAN(WINAPI*)(LPCSTR, LPCSTR, DWORD);
    const auto createLink = reinterpret_cast<CreateLink>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "CreateSymbolicLinkA")));
    if (createLink != nullptr && createLink(kFile, kVictim, 0)) {
        start();
        EXPECT_EQ(logLine(1, "x", u"through a symbolic link"), 0);
        EXPECT_EQ(victimText(), "3");
        remove();
    }
    DeleteFileA(kVictim);
}
