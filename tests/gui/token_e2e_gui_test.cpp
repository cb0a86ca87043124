// The token path through the real extractor, as its own process: an archive made by sfxtool
// around the built sfxstub.exe, run with simulated readers. A stored password means no password
// dialog (the progress dialog comes first, after the PIN prompt where there is one); a PIN prompt
// cancelled, or a PIN refused as often as the token allows, gives that token up and the typed
// password is asked for in the same press of Extract; a copy of
// hwtok32.dll planted beside the archive never runs; the library file written at start-up is
// gone at exit, also when Extract was never pressed. The stand-in library's call log shows which
// copy was loaded.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "common/archive/progress_dialog_ids.h"
#include "tests/gui/extractor_driver.h"
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

using gui::waitUntilIdle;

constexpr char kPassword[] = "token-held password 7";
constexpr int kDestination = gui::kExtractorDestination, kExtract = gui::kExtractorExtract;
constexpr int kPasswordEdit = gui::kExtractorPasswordEdit;
constexpr int kPinEdit = 1015, kPinOk = 1013, kPinCancel = 1014, kPinReader = 1017;

std::wstring widened(const char* ansi) {
    return std::wstring(ansi, ansi + strlen(ansi));
}

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
        ASSERT_TRUE(tool.start(quoted(windowsPath(SFXTOOL_PATH)) + L" create --stub " +
                               quoted(stub) + L" -p \"" + widened(kPassword) + L"\" -o " +
                               quoted(archive) + L" -C " + quoted(work / "source") +
                               L" payload.bin"));
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
        return gui::startExtractor(
            program, archive, cwd,
            {L"QUILLON_TOKENS=" + tokens.wstring(), L"QUILLON_TOKEN_TRACE=" + trace.wstring()});
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

// The next new window, when it is the PIN dialog over the main dialog; null otherwise.
HWND nextPinDialog(DWORD process, HWND main, std::vector<HWND>& seen) {
    const HWND pin = nextWindow(process, seen);
    if (pin == nullptr || GetDlgItem(pin, kPinEdit) == nullptr) return nullptr;
    EXPECT_EQ(gui::textOf(pin), L"PIN");
    EXPECT_EQ(GetWindow(pin, GW_OWNER), main);
    return pin;
}

// The next new window, when it is the password dialog: the archive's password typed, OK.
bool answerPasswordDialog(DWORD process, std::vector<HWND>& seen) {
    const HWND dialog = nextWindow(process, seen);
    if (dialog == nullptr || GetDlgItem(dialog, kPasswordEdit) == nullptr) return false;
    gui::typeText(dialog, kPasswordEdit, widened(kPassword));
    gui::press(dialog, IDOK);
    return true;
}

size_t countOf(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
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
    ASSERT_TRUE(waitUntilIdle(process, main));
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
    const HWND pin = nextPinDialog(process, main, seen);
    ASSERT_NE(pin, nullptr) << "not the PIN dialog";
    EXPECT_EQ(gui::controlText(pin, kPinReader), L"Pocket key");
    gui::typeText(pin, kPinEdit, L"2468");
    gui::press(pin, kPinOk);
    EXPECT_TRUE(isProgressDialog(nextWindow(process, seen))) << "not the progress dialog next";
    ASSERT_TRUE(waitUntilIdle(process, main));
    EXPECT_TRUE(contentsOf(destination / "payload.bin") == payload) << "not extracted";

    PostMessageW(main, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(program.waitForExit(), 0);
    expectOwnCopyOnly();
}

// The token holds the archive's password, so only a run that gave the token up asks for it.
const std::string kPinToken =
    std::string("[reader]\nname = Pocket key\npin = 2468\nattempts = 2\npassword = ") + kPassword +
    "\n";

TEST_F(TokenThroughExtractor, ACancelledPinAsksForThePasswordInTheSamePress) {
    const HWND main = start(kPinToken);
    ASSERT_NE(main, nullptr);
    const DWORD process = program.processId();
    const fs::path destination = work / "out" / "pin_cancelled";
    gui::setControlText(main, kDestination, destination.wstring());
    std::vector<HWND> seen = {main};
    gui::press(main, kExtract);
    const HWND pin = nextPinDialog(process, main, seen);
    ASSERT_NE(pin, nullptr) << "not the PIN dialog";
    gui::press(pin, kPinCancel);
    ASSERT_TRUE(answerPasswordDialog(process, seen)) << "not the password dialog next";
    ASSERT_TRUE(waitUntilIdle(process, main));
    EXPECT_TRUE(contentsOf(destination / "payload.bin") == payload) << "not extracted";

    gui::press(main, IDCANCEL);
    EXPECT_EQ(program.waitForExit(), 0);
    EXPECT_EQ(contentsOf(trace).find("ReadData"), std::string::npos) << "the token was read";
}

TEST_F(TokenThroughExtractor, WrongPinsReopenThePinDialogUntilTheAttemptsRunOut) {
    const HWND main = start(kPinToken);
    ASSERT_NE(main, nullptr);
    const DWORD process = program.processId();
    const fs::path destination = work / "out" / "pin_refused";
    gui::setControlText(main, kDestination, destination.wstring());
    std::vector<HWND> seen = {main};
    gui::press(main, kExtract);
    // Two attempts: the dialog opens again after the first wrong PIN, with nothing in between.
    for (int attempt = 1; attempt <= 2; ++attempt) {
        SCOPED_TRACE(attempt);
        const HWND pin = nextPinDialog(process, main, seen);
        ASSERT_NE(pin, nullptr) << "not the PIN dialog";
        EXPECT_EQ(gui::othersOf(process, main), std::vector<HWND>{pin});
        gui::typeText(pin, kPinEdit, L"1357");
        gui::press(pin, kPinOk);
        ASSERT_TRUE(gui::waitUntilGone(pin));
    }
    ASSERT_TRUE(answerPasswordDialog(process, seen)) << "not the password dialog next";
    ASSERT_TRUE(waitUntilIdle(process, main));
    EXPECT_TRUE(contentsOf(destination / "payload.bin") == payload) << "not extracted";

    gui::press(main, IDCANCEL);
    EXPECT_EQ(program.waitForExit(), 0);
    // The empty PIN first, then the two typed ones; the token was never read.
    const std::string log = contentsOf(trace);
    EXPECT_EQ(countOf(log, "VerifyPIN Pocket key 4\r\n"), 2u) << log;
    EXPECT_EQ(log.find("ReadData"), std::string::npos) << log;
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
