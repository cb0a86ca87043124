// The plug-in's extraction dialog end to end, as a host's user meets it: the test host
// pluginhost.exe is started as its own process on an archive made by the Windows sfxtool, and its
// windows are driven like a person would — destination, Extract, password, the files on disk or
// the message box telling why there are none — until the export returns 0.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "common/support/localised_text.h"
#include "sfxbuild/extraction_dialog.h"
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

constexpr wchar_t kCaption[] = L"Self-extracting Quillon archive";
constexpr wchar_t kPassword[] = L"Correct horse, battery staple";
constexpr int kHelp = 1008, kDestination = 1015, kBrowse = 1016, kExtract = 1017, kLabel = 1018;
constexpr int kPasswordEdit = 1009;

// A message box of the process: a window with a message text control.
HWND waitForMessageBox(DWORD process, int timeoutMs = 20000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < end) {
        for (HWND w : gui::windowsOf(process))
            if (GetDlgItem(w, 0xFFFF) != nullptr) return w;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return nullptr;
}

// One archive for every test, made by sfxtool with a name outside ASCII (the ANSI export
// must carry it through the ANSI code page), and a damaged copy with 16 bytes cut out.
class PluginExtraction : public testing::Test {
  public:
    static inline fs::path work, archive, damaged;
    static inline std::map<std::wstring, std::string> payload;

    static void SetUpTestSuite() {
        wchar_t temp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, temp);
        work = fs::path(temp) / ("plugin_extract_" + std::to_string(GetCurrentProcessId()));
        fs::remove_all(work);
        std::string noise;
        uint32_t x = 0x9E3779B9;
        for (int i = 0; i < 200000; ++i) {
            x ^= x << 13, x ^= x >> 17, x ^= x << 5;
            noise.push_back(static_cast<char>(x));
        }
        payload = {{L"notes.txt", "First line\r\nSecond line\r\n"}, {L"data\\noise.bin", noise}};
        for (const auto& [name, bytes] : payload) writeFile(work / "source" / name, bytes);

        archive = work / "archives" / L"B\u00fcndel.tvf";
        fs::create_directories(archive.parent_path());
        gui::Program tool;
        ASSERT_TRUE(tool.start(quoted(windowsPath(SFXTOOL_PATH)) + L" create --plain -p " +
                               quoted(kPassword) + L" -o " + quoted(archive) + L" -C " +
                               quoted(work / "source") + L" notes.txt data"));
        ASSERT_EQ(tool.waitForExit(60000), 0) << "sfxtool create failed";
        std::string bytes = contentsOf(archive);
        ASSERT_GT(bytes.size(), 64u);
        bytes.erase(0, 16);
        damaged = work / "archives" / "damaged.tvf";
        writeFile(damaged, bytes);
    }

    static void TearDownTestSuite() {
        std::error_code ignored;
        fs::remove_all(work, ignored);
    }

  protected:
    // The host's current directory, a fresh one per test: where the dialog proposes to extract.
    fs::path startDirectory() {
        std::string name = testing::UnitTest::GetInstance()->current_test_info()->name();
        std::replace(name.begin(), name.end(), '/', '_');  // parametrised names have one
        const fs::path dir = work / "cwd" / name;
        fs::create_directories(dir);
        return dir;
    }

    // Starts the host with `arguments` in `directory` and waits for the extraction dialog.
    HWND start(gui::Program& host, const std::wstring& arguments, const fs::path& directory) {
        if (!host.start(quoted(windowsPath(PLUGINHOST_PATH)) + L" " + arguments,
                        directory.wstring())) {
            return nullptr;
        }
        return gui::waitForWindow(host.processId(), kCaption, L"#32770", 20000);
    }
};

class ExtractWithHostPassword : public PluginExtraction,
                                public testing::WithParamInterface<const wchar_t*> {};

TEST_P(ExtractWithHostPassword, ProposesTheCurrentDirectoryAndExtractsIntoIt) {
    const fs::path here = startDirectory();
    gui::Program host;
    const HWND dialog = start(host,
                              std::wstring(GetParam()) + L" --archive " + quoted(archive) +
                                  L" --password " + quoted(kPassword),
                              here);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(gui::controlText(dialog, kDestination), here.wstring());
    EXPECT_EQ(gui::controlText(dialog, kHelp),
              L"To extract files, press button Extract.\n\nTo select destination directory, "
              L"press button Browse.\n\nIf destination directory doesnt exist, it will be "
              L"created.");
    EXPECT_EQ(gui::controlText(dialog, kLabel), L"Destination directory:");
    EXPECT_EQ(gui::controlText(dialog, kBrowse), L"B&rowse");
    EXPECT_EQ(gui::controlText(dialog, kExtract), L"&Extract");
    EXPECT_EQ(gui::controlText(dialog, IDCANCEL), L"Cancel");
    if (std::wstring(GetParam()) == L"decrypt_w") gui::saveScreenshot("plugin_extraction", dialog);

    // The host's password goes straight to the run: no password dialog, and after a good run
    // no message box either, so the export returns at once.
    gui::press(dialog, kExtract);
    EXPECT_EQ(host.waitForExit(30000), 0);
    EXPECT_EQ(filesBelow(here), payload);
}

INSTANTIATE_TEST_SUITE_P(WideAndAnsi, ExtractWithHostPassword,
                         testing::Values(L"decrypt_w", L"decrypt_a"));

TEST_F(PluginExtraction, AsksForThePasswordWhenTheHostGivesNone) {
    const fs::path here = startDirectory();
    gui::Program host;
    const HWND dialog = start(host, L"decrypt_w --archive " + quoted(archive), here);
    ASSERT_NE(dialog, nullptr);
    gui::press(dialog, kExtract);
    const HWND ask = gui::waitForWindow(host.processId(), L"Enter password", L"#32770");
    ASSERT_NE(ask, nullptr);
    EXPECT_EQ(GetWindow(ask, GW_OWNER), dialog);
    gui::setControlText(ask, kPasswordEdit, kPassword);
    gui::press(ask, IDOK);
    EXPECT_EQ(host.waitForExit(30000), 0);
    EXPECT_EQ(filesBelow(here), payload);
}

// Browse opens the folder browser over the dialog; cancelling it keeps the destination, and the
// dialog goes on working.
TEST_F(PluginExtraction, CancelledBrowseKeepsTheDestination) {
    const fs::path here = startDirectory();
    gui::Program host;
    const HWND dialog = start(host, L"decrypt_w --archive " + quoted(archive), here);
    ASSERT_NE(dialog, nullptr);
    gui::setControlText(dialog, kDestination, L"C:\\typed by hand");
    gui::press(dialog, kBrowse);
    const HWND browser = gui::waitForNewWindow(host.processId(), {dialog});
    ASSERT_NE(browser, nullptr);
    EXPECT_EQ(GetWindow(browser, GW_OWNER), dialog);
    gui::press(browser, IDCANCEL);
    ASSERT_TRUE(gui::waitUntilGone(browser, 10000));
    EXPECT_EQ(gui::controlText(dialog, kDestination), L"C:\\typed by hand");
    gui::press(dialog, IDCANCEL);
    EXPECT_EQ(host.waitForExit(30000), 0);
}

struct Failure {
    const char* name;
    const fs::path* archive;
    const wchar_t* password;
    const wchar_t* message;
};

void PrintTo(const Failure& f, std::ostream* os) {
    *os << f.name;
}

class FailedExtraction : public PluginExtraction, public testing::WithParamInterface<Failure> {};

TEST_P(FailedExtraction, IsToldOverTheDialogWhichThenCloses) {
    const fs::path here = startDirectory();
    gui::Program host;
    const HWND dialog = start(host,
                              L"decrypt_w --archive " + quoted(*GetParam().archive) +
                                  L" --password " + quoted(GetParam().password),
                              here);
    ASSERT_NE(dialog, nullptr);
    gui::press(dialog, kExtract);
    const HWND box = waitForMessageBox(host.processId());
    ASSERT_NE(box, nullptr) << "no message box after a failed run";
    EXPECT_EQ(gui::messageBoxText(box), GetParam().message);
    EXPECT_EQ(GetWindow(box, GW_OWNER), dialog);
    EXPECT_TRUE(IsWindowVisible(dialog)) << "the dialog closed before the message was read";
    gui::saveScreenshot(std::string("plugin_extraction_") + GetParam().name, box);
    gui::press(box, IDOK);
    EXPECT_EQ(host.waitForExit(30000), 0);
    EXPECT_TRUE(filesBelow(here).empty());
}

INSTANTIATE_TEST_SUITE_P(
    Runs, FailedExtraction,
    testing::Values(Failure{"wrong_password", &PluginExtraction::archive, L"not the password",
                            L"The password you entered is incorrect!"},
                    Failure{"damaged", &PluginExtraction::damaged, kPassword,
                            L"File is corrupt and cannot be decrypted!"}),
    [](const testing::TestParamInfo<Failure>& info) { return std::string(info.param.name); });

// The dialog reads 259 characters of destination. A longer typed path used to be cut silently,
// sending the files to the folder the cut named; now it is refused with text 105 before the
// password is asked for, nothing is written, and the dialog stays open for a shorter one.
TEST_F(PluginExtraction, TooLongADestinationIsRefusedBeforeThePassword) {
    const fs::path here = startDirectory();
    gui::Program host;
    const HWND dialog = start(host, L"decrypt_w --archive " + quoted(archive), here);
    ASSERT_NE(dialog, nullptr);
    const std::wstring prefix = (here / "long").wstring() + L"\\";
    ASSERT_LT(prefix.size(), 200u);
    const std::wstring tooLong = prefix + std::wstring(260 - prefix.size(), L'x');

    gui::setControlText(dialog, kDestination, tooLong);
    gui::press(dialog, kExtract);
    const HWND box = waitForMessageBox(host.processId());
    ASSERT_NE(box, nullptr) << "no refusal";
    EXPECT_EQ(gui::messageBoxText(box),
              L"A file could not be written to the destination directory!");
    EXPECT_EQ(GetWindow(box, GW_OWNER), dialog);
    EXPECT_EQ(gui::waitForWindow(host.processId(), L"Enter password", L"#32770", 500), nullptr)
        << "the password was asked for";
    gui::press(box, IDOK);
    ASSERT_TRUE(gui::waitUntilGone(box, 10000));
    EXPECT_TRUE(IsWindowVisible(dialog)) << "the dialog closed";
    EXPECT_EQ(gui::controlText(dialog, kDestination), tooLong);

    gui::press(dialog, IDCANCEL);
    EXPECT_EQ(host.waitForExit(30000), 0);
    EXPECT_TRUE(filesBelow(here).empty()) << "something was written";
}

// Three calls in one host process: with a language module, with only a host module (the
// language module passed as the host), then with neither, which must switch the texts back to
// the host program's own. The password dialog's caption is one of the language module's texts;
// its Cancel is empty there, so that text falls back. Cancelling the password dialog still
// closes the extraction dialog, and nothing is extracted.
TEST_F(PluginExtraction, TextsComeFromTheModulesOfEachCall) {
    const fs::path here = startDirectory();
    const std::wstring language = quoted(windowsPath(LANGUAGE_MODULE_PATH));
    const std::wstring call = L"decrypt_w --archive " + quoted(archive);
    gui::Program host;
    HWND dialog = start(host,
                        call + L" --language " + language + L" -- " + call + L" --host " +
                            language + L" -- " + call,
                        here);
    const wchar_t* const expected[] = {L"Passwort eingeben", L"Passwort eingeben",
                                       L"Enter password"};
    for (const wchar_t* caption : expected) {
        SCOPED_TRACE(testing::Message() << "expecting " << caption);
        if (dialog == nullptr) dialog = gui::waitForWindow(host.processId(), kCaption, L"#32770");
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(gui::controlText(dialog, IDCANCEL), L"Cancel");
        gui::press(dialog, kExtract);
        const HWND ask = gui::waitForNewWindow(host.processId(), {dialog});
        ASSERT_NE(ask, nullptr);
        EXPECT_EQ(gui::textOf(ask), caption);
        gui::press(ask, IDCANCEL);
        EXPECT_TRUE(gui::waitUntilGone(dialog, 10000));
        dialog = nullptr;
    }
    EXPECT_EQ(host.waitForExit(30000), 0);
    EXPECT_TRUE(filesBelow(here).empty());
}

// The host carries the texts but no dialog templates: neither the password dialog nor the
// progress dialog can be shown, so nothing can be extracted, with or without a host password.
// That must be told, not pass in silence as a good run does.
TEST_F(PluginExtraction, RunWithoutItsDialogsIsReported) {
    const fs::path here = startDirectory();
    const HMODULE textsOnly =
        LoadLibraryExW(windowsPath(PLUGINHOST_PATH).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(textsOnly, nullptr);
    setStringModule(textsOnly);
    for (const char16_t* password : {u"given", static_cast<const char16_t*>(nullptr)}) {
        SCOPED_TRACE(password != nullptr ? "host password" : "password asked for");
        std::wstring shown;
        gui::driveDialog(
            [&] {
                runExtraction(textsOnly, nullptr, nullptr,
                              reinterpret_cast<const char16_t*>(here.c_str()),
                              reinterpret_cast<const char16_t*>(archive.c_str()), password);
                return 0;
            },
            [&](HWND box) {
                shown = gui::messageBoxText(box);
                gui::press(box, IDOK);
            });
        EXPECT_EQ(shown, L"A memory error has occured!");
    }
    EXPECT_TRUE(filesBelow(here).empty());
    setStringModule(nullptr);
    FreeLibrary(textsOnly);
}

// A signed archive through decrypt_w: the payload is found in front of the certificate table
// and the padding the signing tool put behind an extractor of odd size; a wrong password is
// still told apart. Until the readers learn that, the run reports a wrong password.
TEST_F(PluginExtraction, SignedArchiveOpensThroughDecryptW) {
    const fs::path fixtures = gui::signedFixtures();
    if (fixtures.empty()) GTEST_SKIP() << "QUILLON_SIGNED_FIXTURES is not set (ctest sets it)";
    const fs::path archive = fixtures / "signed-odd.exe";
    // Starts the host on the archive with `password`, extracting into `into`, and presses
    // Extract; false if the dialog did not open.
    auto extract = [&](gui::Program& host, const wchar_t* password, const fs::path& into) {
        fs::create_directories(into);
        const HWND dialog = start(
            host, L"decrypt_w --archive " + quoted(archive) + L" --password " + quoted(password),
            into);
        if (dialog != nullptr) gui::press(dialog, kExtract);
        return dialog != nullptr;
    };
    // The run ends in the wrong-password message, the export returns, nothing is extracted.
    auto expectWrongPassword = [&](gui::Program& host, const fs::path& into) {
        const HWND box = waitForMessageBox(host.processId());
        ASSERT_NE(box, nullptr) << "no message box";
        EXPECT_EQ(gui::messageBoxText(box), L"The password you entered is incorrect!");
        gui::press(box, IDOK);
        EXPECT_EQ(host.waitForExit(30000), 0);
        EXPECT_TRUE(filesBelow(into).empty());
    };

    const fs::path right = startDirectory() / "right", wrong = startDirectory() / "wrong";
    gui::Program host;
    ASSERT_TRUE(extract(host, gui::kFixturePassword, right));
    if (!gui::readersOpenSignedArchives()) {
        expectWrongPassword(host, right);
        return;
    }
    EXPECT_EQ(host.waitForExit(30000), 0);
    EXPECT_EQ(filesBelow(right), filesBelow(fixtures / "content"));

    gui::Program second;
    ASSERT_TRUE(extract(second, L"not the password", wrong));
    expectWrongPassword(second, wrong);
}

}  // namespace
