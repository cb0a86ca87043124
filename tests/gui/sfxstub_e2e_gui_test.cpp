// The extractor end to end, as its user meets it: a real archive made by sfxtool around the built
// sfxstub.exe is started as its own process in a chosen current directory and driven through its
// windows — destination, Extract, password, the result on disk or in a message box — until it is
// closed, always with exit status 0.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/gui/extractor_driver.h"
#include "tests/gui/gui_driver.h"
#include "tests/gui/process_driver.h"
#include "tests/gui/program_files.h"
#include "tests/gui/screenshot.h"
#include "tests/gui/signed_fixtures.h"

namespace {

namespace fs = std::filesystem;
using gui::contentsOf;
using gui::filesBelow;
using gui::quoted;
using gui::windowsPath;
using gui::writeFile;

using gui::extractWith;
using gui::othersOf;
using gui::waitForMessageBox;
using gui::waitUntilIdle;

constexpr wchar_t kPassword[] = L"Tr0ub4dor&3 under glass";
constexpr int kDestination = gui::kExtractorDestination, kBrowse = gui::kExtractorBrowse,
              kExtract = gui::kExtractorExtract, kLabel = gui::kExtractorLabel,
              kHelp = gui::kExtractorHelp;

// Runs a console program to its end; its exit status, or -1.
long runToEnd(const std::wstring& commandLine) {
    gui::Program program;
    if (!program.start(commandLine)) return -1;
    return program.waitForExit(60000);
}

// The files stored in the archive, by their names relative to the destination.
struct Payload {
    std::string text = "First line\r\nSecond line, with some more words\r\n";
    std::string binary;
    Payload() {
        uint32_t x = 0x2545F491;
        for (int i = 0; i < 300000; ++i) {
            x ^= x << 13, x ^= x >> 17, x ^= x << 5;
            binary.push_back(static_cast<char>(x));
        }
    }
};

// One archive for every test, and a damaged copy of it: 16 bytes cut out right after the
// extractor, so the sizes in its (intact) trailer no longer add up.
class ExtractorProgram : public testing::Test {
  protected:
    static inline fs::path work, archive, damaged;
    static inline Payload payload;

    static void SetUpTestSuite() {
        // The library the archive carries must find no token readers: the password is typed.
        SetEnvironmentVariableW(L"QUILLON_TOKENS", nullptr);
        wchar_t temp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, temp);
        work = fs::path(temp) / ("sfxstub_e2e_" + std::to_string(GetCurrentProcessId()));
        fs::remove_all(work);
        writeFile(work / "source" / "notes.txt", payload.text);
        writeFile(work / "source" / "data" / "noise.bin", payload.binary);
        archive = work / "archives" / "bundle.exe";
        fs::create_directories(archive.parent_path());
        const fs::path stub = windowsPath(SFXSTUB_PATH);
        const long status =
            runToEnd(quoted(windowsPath(SFXTOOL_PATH)) + L" create --stub " + quoted(stub) +
                     L" -p " + quoted(kPassword) + L" -o " + quoted(archive) + L" -C " +
                     quoted(work / "source") + L" notes.txt data");
        ASSERT_EQ(status, 0) << "sfxtool create failed";
        std::string bytes = contentsOf(archive);
        const size_t stubSize = static_cast<size_t>(fs::file_size(stub));
        ASSERT_GT(bytes.size(), stubSize + 64);
        bytes.erase(stubSize, 16);
        damaged = work / "archives" / "damaged.exe";
        writeFile(damaged, bytes);
    }

    static void TearDownTestSuite() {
        std::error_code ignored;
        fs::remove_all(work, ignored);
    }

    // The current directory each run starts in: not the archive's folder.
    fs::path startDirectory() {
        const fs::path dir =
            work / "cwd" / testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::create_directories(dir);
        return dir;
    }
};

// The one message box a failed run shows: its text, once it has been dismissed.
std::wstring dismissMessage(DWORD process, HWND main) {
    const HWND box = waitForMessageBox(process, main);
    if (box == nullptr) return L"(no message box)";
    EXPECT_EQ(GetWindow(box, GW_OWNER), main);
    EXPECT_EQ(othersOf(process, main).size(), 1u) << "more than the one message box";
    // No caption of its own (the system's "Error") and nothing to choose but OK.
    EXPECT_EQ(gui::textOf(box), L"Error");
    EXPECT_TRUE(IsWindowVisible(GetDlgItem(box, IDOK)));
    EXPECT_FALSE(IsWindowVisible(GetDlgItem(box, IDCANCEL)));
    const std::wstring text = gui::messageBoxText(box);
    gui::press(box, IDOK);
    return text;
}

void expectExtracted(const fs::path& destination, const Payload& payload) {
    EXPECT_EQ(contentsOf(destination / "notes.txt"), payload.text);
    EXPECT_TRUE(contentsOf(destination / "data" / "noise.bin") == payload.binary)
        << "noise.bin differs";
}

TEST_F(ExtractorProgram, ExtractsIntoNewFolderAndStaysOpenUntilCancelled) {
    const fs::path cwd = startDirectory();
    gui::Program program;
    const HWND main = gui::startExtractor(program, archive, cwd);
    ASSERT_NE(main, nullptr) << "no main dialog";
    const DWORD process = program.processId();
    gui::saveScreenshot("sfxstub_main_dialog", main);

    // What the user sees first: the start directory, not the archive's folder, with the focus
    // in it, and the texts of the string table rather than the template's placeholders.
    EXPECT_EQ(fs::path(gui::controlText(main, kDestination)), cwd);
    EXPECT_EQ(gui::focusOf(main), GetDlgItem(main, kDestination));
    EXPECT_EQ(gui::controlText(main, kLabel), L"Destination directory:");
    EXPECT_EQ(gui::controlText(main, kBrowse), L"B&rowse");
    EXPECT_EQ(gui::controlText(main, kExtract), L"&Extract");
    EXPECT_EQ(gui::controlText(main, IDCANCEL), L"Cancel");
    EXPECT_EQ(gui::controlText(main, kHelp).substr(0, 41),
              L"To extract files, press button Extract.\n\n");

    // Browse opens the folder browser over the dialog; cancelling it changes nothing.
    gui::press(main, kBrowse);
    const HWND browser = gui::waitForNewWindow(process, {main});
    ASSERT_NE(browser, nullptr) << "no folder browser";
    EXPECT_EQ(GetWindow(browser, GW_OWNER), main);
    gui::press(browser, IDCANCEL);
    ASSERT_TRUE(waitUntilIdle(process, main));
    EXPECT_EQ(fs::path(gui::controlText(main, kDestination)), cwd);

    // Into a folder that does not exist yet, two levels deep.
    const fs::path destination = work / "out" / "first" / "nested";
    gui::setControlText(main, kDestination, destination.wstring());
    extractWith(process, main, kPassword);
    ASSERT_TRUE(waitUntilIdle(process, main)) << "a window stayed open after a good run";
    expectExtracted(destination, payload);
    EXPECT_EQ(fs::path(gui::controlText(main, kDestination)), destination);

    // A second press runs again from the start; cancelling its password is silent.
    fs::remove_all(destination);
    extractWith(process, main, kPassword, true);
    EXPECT_TRUE(waitUntilIdle(process, main)) << "something followed a cancelled password";
    EXPECT_FALSE(fs::exists(destination));

    gui::press(main, IDCANCEL);
    EXPECT_EQ(program.waitForExit(), 0);
    // The token library was written into the start directory and is gone again.
    EXPECT_FALSE(fs::exists(cwd / "hwtok32.dll"));
}

TEST_F(ExtractorProgram, WrongPasswordIsToldOnceAndTheNextPressMayGetItRight) {
    gui::Program program;
    const HWND main = gui::startExtractor(program, archive, startDirectory());
    ASSERT_NE(main, nullptr) << "no main dialog";
    const DWORD process = program.processId();
    const fs::path destination = work / "out" / "second";
    gui::setControlText(main, kDestination, destination.wstring());

    extractWith(process, main, L"not the password");
    EXPECT_EQ(dismissMessage(process, main), L"The password you entered is incorrect!");
    ASSERT_TRUE(waitUntilIdle(process, main));
    EXPECT_FALSE(fs::exists(destination / "notes.txt"));

    extractWith(process, main, kPassword);
    ASSERT_TRUE(waitUntilIdle(process, main));
    expectExtracted(destination, payload);

    // Escape in the destination edit closes the dialog like Cancel.
    PostMessageW(GetDlgItem(main, kDestination), WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_EQ(program.waitForExit(), 0);
}

TEST_F(ExtractorProgram, DamagedArchiveIsReportedCorrupt) {
    gui::Program program;
    const HWND main = gui::startExtractor(program, damaged, startDirectory());
    ASSERT_NE(main, nullptr) << "no main dialog";
    const DWORD process = program.processId();
    const fs::path destination = work / "out" / "third";
    gui::setControlText(main, kDestination, destination.wstring());

    extractWith(process, main, kPassword);
    EXPECT_EQ(dismissMessage(process, main), L"File is corrupt and cannot be decrypted!");
    ASSERT_TRUE(waitUntilIdle(process, main));
    EXPECT_FALSE(fs::exists(destination / "notes.txt"));

    // The close box, like Cancel.
    PostMessageW(main, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(program.waitForExit(), 0);
}

// A signed archive run as itself: the extractor finds its payload in front of the certificate
// table, also behind an extractor of odd size, where the signing tool padded the file. Until the
// readers learn that, it says what it always said to a signed archive: wrong password.
TEST(SignedExtractor, ExtractsFromItsSignedSelf) {
    const fs::path fixtures = gui::signedFixtures();
    if (fixtures.empty()) GTEST_SKIP() << "QUILLON_SIGNED_FIXTURES is not set (ctest sets it)";
    SetEnvironmentVariableW(L"QUILLON_TOKENS", nullptr);
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const fs::path work =
        fs::path(temp) / ("sfxstub_signed_" + std::to_string(GetCurrentProcessId()));
    fs::create_directories(work / "cwd");
    for (const char* name : {"signed.exe", "signed-odd.exe"}) {
        SCOPED_TRACE(name);
        gui::Program program;
        const HWND main = gui::startExtractor(program, fixtures / name, work / "cwd");
        ASSERT_NE(main, nullptr) << "no main dialog";
        const DWORD process = program.processId();
        const fs::path destination = work / "out" / name;
        gui::setControlText(main, kDestination, destination.wstring());
        extractWith(process, main, gui::kFixturePassword);
        if (gui::readersOpenSignedArchives()) {
            ASSERT_TRUE(waitUntilIdle(process, main));
            EXPECT_EQ(filesBelow(destination), filesBelow(fixtures / "content"));
            extractWith(process, main, L"not the password");
        }
        EXPECT_EQ(dismissMessage(process, main), L"The password you entered is incorrect!");
        ASSERT_TRUE(waitUntilIdle(process, main));
        gui::press(main, IDCANCEL);
        EXPECT_EQ(program.waitForExit(), 0);
    }
    std::error_code ignored;
    fs::remove_all(work, ignored);
}

// A file the user marked read-only is refused before anything is written: the message names
// it, and it keeps its contents and its mark; the other file does not arrive either (its folder,
// made by the run, may stay).
TEST_F(ExtractorProgram, AReadOnlyFileIsNamedInTheMessageAndKept) {
    gui::Program program;
    const HWND main = gui::startExtractor(program, archive, startDirectory());
    ASSERT_NE(main, nullptr) << "no main dialog";
    const DWORD process = program.processId();
    const fs::path destination = work / "out" / "read-only";
    writeFile(destination / "notes.txt", "the user's own");
    SetFileAttributesW((destination / "notes.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    gui::setControlText(main, kDestination, destination.wstring());

    extractWith(process, main, kPassword);
    EXPECT_EQ(dismissMessage(process, main),
              L"A file could not be written to the destination directory!\n\n" +
                  destination.wstring() + L"\\notes.txt");
    ASSERT_TRUE(waitUntilIdle(process, main));
    EXPECT_EQ(contentsOf(destination / "notes.txt"), "the user's own");
    EXPECT_NE(GetFileAttributesW((destination / "notes.txt").c_str()) & FILE_ATTRIBUTE_READONLY,
              0u);
    EXPECT_FALSE(fs::exists(destination / "data" / "noise.bin"));
    SetFileAttributesW((destination / "notes.txt").c_str(), FILE_ATTRIBUTE_NORMAL);

    gui::press(main, IDCANCEL);
    EXPECT_EQ(program.waitForExit(), 0);
}

// The destination buffer holds 258 characters. A longer typed path used to be cut silently and
// the files went to the folder the cut named; now it is refused with text 105 before the token
// or the user is asked for anything, nothing is created, and the dialog stays open.
TEST_F(ExtractorProgram, TooLongADestinationIsRefusedBeforeThePassword) {
    gui::Program program;
    const HWND main = gui::startExtractor(program, archive, startDirectory());
    ASSERT_NE(main, nullptr) << "no main dialog";
    const DWORD process = program.processId();
    const fs::path base = work / "out" / "long";
    const std::wstring prefix = base.wstring() + L"\\";
    ASSERT_LT(prefix.size(), 200u);
    const std::wstring tooLong = prefix + std::wstring(259 - prefix.size(), L'x');
    ASSERT_EQ(tooLong.size(), 259u);

    gui::setControlText(main, kDestination, tooLong);
    gui::press(main, kExtract);
    EXPECT_EQ(dismissMessage(process, main),
              L"A file could not be written to the destination directory!");
    ASSERT_TRUE(waitUntilIdle(process, main)) << "the run went on after the refusal";
    EXPECT_FALSE(fs::exists(base)) << "something was written";
    EXPECT_EQ(gui::controlText(main, kDestination), tooLong) << "the typed text changed";

    // One character less fits: the password is asked for (and cancelled here).
    gui::setControlText(main, kDestination, tooLong.substr(0, 258));
    extractWith(process, main, L"", true);
    EXPECT_TRUE(waitUntilIdle(process, main));
    EXPECT_FALSE(fs::exists(base));

    gui::press(main, IDCANCEL);
    EXPECT_EQ(program.waitForExit(), 0);
}

}  // namespace
