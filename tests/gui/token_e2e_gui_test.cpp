// The token path through the real extractor, as its own process: an archive made by sfxtool
// around the built sfxstub.exe, run with simulated readers. A stored password means no password
// dialog (the progress dialog comes first, after the PIN prompt where there is one); a copy of
// hwtok32.dll planted beside the archive never runs; the library file written at start-up is
// gone at exit, also when Extract was never pressed. The stand-in library's call log shows which
// copy was loaded.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "common/archive/progress_dialog_ids.h"
#include "tests/gui/gui_driver.h"
#include "tests/gui/process_driver.h"
#include "tests/gui/program_files.h"

namespace {

namespace fs = std::filesystem;
using gui::contentsOf;
using gui::filesBelow;
using gui::quoted;
using gui::windowsPath;
using gui::writeFile;

constexpr wchar_t kCaption[] = L"Self-extracting Quillon archive";
constexpr char kPassword[] = "token-held password 7";
constexpr int kDestination = 1000, kExtract = 1002;
constexpr int kPasswordEdit = 1007, kPinEdit = 1015, kPinOk = 1013, kPinReader = 1017;

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

// One archive, with the planted library beside it, for every test.
class TokenThroughExtractor : public testing::Test {
  protected:
    static inline fs::path work, archive, planted;
    static inline std::string payload;

    static void SetUpTestSuite() {
        wchar_t temp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, temp);
        work = fs::path(temp) / ("token_e2e_" + std::to_string(GetCurrentProcessId()));
        fs::remove_all(work);
        // Large enough that the progress dialog is on the screen for a while.
        uint32_t x = 0x9E3779B9;
        for (int i = 0; i < 6 << 20; ++i) {
            x ^= x << 13, x ^= x >> 17, x ^= x << 5;
            payload.push_back(static_cast<char>(x));
        }
        writeFile(work / "source" / "payload.bin", payload);
        archive = work / "downloads" / "bundle.exe";
        fs::create_directories(archive.parent_path());
        const fs::path stub = windowsPath(SFXSTUB_PATH);
        gui::Program tool;
        ASSERT_TRUE(tool.start(
            quoted(windowsPath(SFXTOOL_PATH)) + L" create --stub " + quoted(stub) + L" -p \"" +
            std::wstring(kPassword, kPassword + sizeof kPassword - 1) + L"\" -o " +
            quoted(archive) + L" -C " + quoted(work / "source") + L" payload.bin"));
        ASSERT_EQ(tool.waitForExit(60000), 0) << "sfxtool create failed";
        // A working library where the loader looks first for the archive's program.
        planted = archive.parent_path() / "hwtok32.dll";
        fs::copy_file(windowsPath(HWTOK_PATH), planted);
    }

    static void TearDownTestSuite() {
        std::error_code ignored;
        fs::remove_all(work, ignored);
    }

    void SetUp() override {
        const std::string name = testing::UnitTest::GetInstance()->current_test_info()->name();
        cwd = work / "cwd" / name;
        fs::create_directories(cwd);
        trace = work / (name + ".trace");
        tokens = work / (name + ".tokens");
    }

    // Starts the archive in its own current directory with the readers of `description`.
    HWND start(const std::string& description) {
        writeFile(tokens, description);
        if (!program.start(quoted(archive), cwd.wstring(),
                           {L"QUILLON_TOKENS=" + tokens.wstring(),
                            L"QUILLON_TOKEN_TRACE=" + trace.wstring()})) {
            return nullptr;
        }
        return gui::waitForWindow(program.processId(), kCaption, L"#32770");
    }

    // After the program has ended: it loaded the copy it wrote, never the planted one, and
    // removed its file.
    void expectOwnCopyOnly() {
        const std::string log = lower(contentsOf(trace));
        EXPECT_NE(log.find("load " + lower((cwd / "hwtok32.dll").string()) + "\r\n"),
                  std::string::npos)
            << log;
        EXPECT_EQ(log.find("load " + lower(planted.string())), std::string::npos) << log;
        EXPECT_FALSE(fs::exists(cwd / "hwtok32.dll")) << "the written library was left behind";
        EXPECT_TRUE(fs::exists(planted));
    }

    gui::Program program;
    fs::path cwd, trace, tokens;
};

// The next new window of the process that is neither the main dialog nor one seen before.
HWND nextWindow(DWORD process, std::vector<HWND>& seen) {
    const HWND w = gui::waitForNewWindow(process, seen, 20000);
    if (w != nullptr) seen.push_back(w);
    return w;
}

bool isProgressDialog(HWND w) {
    return w != nullptr && GetDlgItem(w, QUILLON_EXTRACTOR_PROGRESS_BAR) != nullptr &&
           GetDlgItem(w, kPasswordEdit) == nullptr;
}

// Waits until only the main dialog is left.
bool waitUntilAlone(DWORD process, HWND main) {
    for (int i = 0; i < 1000; ++i) {
        const std::vector<HWND> open = gui::windowsOf(process);
        if (open.size() == 1 && open[0] == main && IsWindowEnabled(main)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

TEST_F(TokenThroughExtractor, AStoredPasswordNeedsNoPasswordDialog) {
    const HWND main =
        start(std::string("[reader]\nname = Desk reader\npassword = ") + kPassword + "\n");
    ASSERT_NE(main, nullptr);
    const DWORD process = program.processId();
    const fs::path destination = work / "out" / "plain";
    gui::setControlText(main, kDestination, destination.wstring());
    std::vector<HWND> seen = {main};
    gui::press(main, kExtract);
    EXPECT_TRUE(isProgressDialog(nextWindow(process, seen))) << "not the progress dialog first";
    ASSERT_TRUE(waitUntilAlone(process, main));
    EXPECT_TRUE(contentsOf(destination / "payload.bin") == payload) << "not extracted";

    gui::press(main, IDCANCEL);
    EXPECT_EQ(program.waitForExit(), 0);
    expectOwnCopyOnly();
}

TEST_F(TokenThroughExtractor, APinTokenAsksForItsPinThenShowsProgress) {
    const HWND main = start(std::string("[reader]\nname = Desk reader\ntoken = no\n"
                                        "[reader]\nname = Pocket key\npin = 2468\n"
                                        "password = ") +
                            kPassword + "\n");
    ASSERT_NE(main, nullptr);
    const DWORD process = program.processId();
    const fs::path destination = work / "out" / "pin";
    gui::setControlText(main, kDestination, destination.wstring());
    std::vector<HWND> seen = {main};
    gui::press(main, kExtract);
    const HWND pin = nextWindow(process, seen);
    ASSERT_NE(pin, nullptr);
    ASSERT_NE(GetDlgItem(pin, kPinEdit), nullptr) << "not the PIN dialog";
    EXPECT_EQ(GetWindow(pin, GW_OWNER), main);
    EXPECT_EQ(gui::controlText(pin, kPinReader), L"Pocket key");
    gui::typeText(pin, kPinEdit, L"2468");
    gui::press(pin, kPinOk);
    EXPECT_TRUE(isProgressDialog(nextWindow(process, seen))) << "not the progress dialog next";
    ASSERT_TRUE(waitUntilAlone(process, main));
    EXPECT_TRUE(contentsOf(destination / "payload.bin") == payload) << "not extracted";

    PostMessageW(main, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(program.waitForExit(), 0);
    expectOwnCopyOnly();
}

TEST_F(TokenThroughExtractor, TheLibraryIsGoneAtExitWhenExtractWasNeverPressed) {
    const HWND main = start("");
    ASSERT_NE(main, nullptr);
    EXPECT_TRUE(fs::exists(cwd / "hwtok32.dll")) << "written at start-up";
    gui::press(main, IDCANCEL);
    EXPECT_EQ(program.waitForExit(), 0);
    expectOwnCopyOnly();
    EXPECT_NE(contentsOf(trace).find("unload "), std::string::npos);
}

}  // namespace
