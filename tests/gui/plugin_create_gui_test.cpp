// The plug-in's creation dialog as its user meets it: the test host is started as its own process
// and calls an export; the test picks files in the real open-file dialog (selecting list items
// as the mouse would), types, presses Create, answers the password dialog, and then opens what
// was written with sfxtool. A few cases that need the dialog's result code run in this process.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "common/archive/job_records.h"
#include "common/crypto/password_dialog_ids.h"
#include "sfxbuild/creation_dialog.h"
#include "sfxbuild/library_state.h"
#include "sfxbuild/resource_ids.h"
#include "tests/gui/dialog_template.h"
#include "tests/gui/extractor_driver.h"
#include "tests/gui/gui_driver.h"
#include "tests/gui/process_driver.h"
#include "tests/gui/program_files.h"
#include "tests/gui/screenshot.h"

namespace {

namespace fs = std::filesystem;
using gui::contentsOf;
using gui::filesBelow;
using gui::quoted;
using gui::windowsPath;
using gui::writeFile;

constexpr wchar_t kSelfExtractingCaption[] = L"Create a Self-Extracting encrypted archive";
constexpr wchar_t kPlainCaption[] = L"Encrypt file(s)";
constexpr wchar_t kPassword[] = L"Kettle-drum 4 anchors";
constexpr int kFileNameBox = 1152;  // of the open-file dialog

std::wstring passwordArgument() {
    return L"\"" + std::wstring(kPassword) + L"\"";
}

template <typename Done>
bool waitFor(Done done, int timeoutMs = 10000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

// Memory in another process, for the list-view messages whose parameters point at structures.
class RemoteBlock {
  public:
    RemoteBlock(HANDLE process, size_t size) : process_(process) {
        at_ = VirtualAllocEx(process, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    }
    ~RemoteBlock() {
        if (at_ != nullptr) VirtualFreeEx(process_, at_, 0, MEM_RELEASE);
    }
    RemoteBlock(const RemoteBlock&) = delete;
    RemoteBlock& operator=(const RemoteBlock&) = delete;

    bool write(size_t offset, const void* bytes, size_t size) {
        return at_ != nullptr &&
               WriteProcessMemory(process_, address(offset), bytes, size, nullptr);
    }
    char* address(size_t offset) const { return static_cast<char*>(at_) + offset; }
    LPARAM param(size_t offset = 0) const { return reinterpret_cast<LPARAM>(address(offset)); }

  private:
    HANDLE process_;
    void* at_ = nullptr;
};

BOOL CALLBACK findListView(HWND window, LPARAM found) {
    wchar_t name[32] = {};
    GetClassNameW(window, name, 32);
    if (std::wstring(name) != L"SysListView32") return TRUE;
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
}

// The index of the item that shows `name` (or its name without the extension, should the shell
// hide extensions); -1 if none.
int findItem(HANDLE process, HWND view, const std::wstring& name) {
    RemoteBlock block(process, 4096);
    for (const std::wstring& shown : {name, name.substr(0, name.rfind(L'.'))}) {
        LVFINDINFOW find = {};
        find.flags = LVFI_STRING;
        find.psz = reinterpret_cast<LPCWSTR>(block.address(sizeof find));
        if (!block.write(0, &find, sizeof find) ||
            !block.write(sizeof find, shown.c_str(), (shown.size() + 1) * sizeof(wchar_t))) {
            return -1;
        }
        const int index = static_cast<int>(SendMessageW(view, LVM_FINDITEMW, -1, block.param()));
        if (index >= 0) return index;
    }
    return -1;
}

// Selects exactly the items showing `names`, as clicks with the Control key held would.
bool selectItems(HANDLE process, HWND view, const std::vector<std::wstring>& names) {
    RemoteBlock block(process, sizeof(LVITEMW));
    LVITEMW item = {};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    if (!block.write(0, &item, sizeof item)) return false;
    SendMessageW(view, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), block.param());
    item.state = LVIS_SELECTED | LVIS_FOCUSED;
    for (const std::wstring& name : names) {
        const int index = findItem(process, view, name);
        if (index < 0 || !block.write(0, &item, sizeof item)) return false;
        SendMessageW(view, LVM_SETITEMSTATE, index, block.param());
    }
    return true;
}

// The plug-in's test host, started in `folder` with one export call, and its creation dialog.
struct Host {
    gui::Program program;
    HWND dialog = nullptr;

    bool start(const std::wstring& call, const fs::path& folder, const wchar_t* caption,
               const fs::path& exe = windowsPath(PLUGINHOST_PATH)) {
        std::wstring line = quoted(exe);
        if (exe.filename() != L"pluginhost.exe") {
            line += L" --plugin " +
                    quoted(windowsPath(PLUGINHOST_PATH).parent_path() / L"sfxbuild.dll");
        }
        if (!program.start(line + L" " + call, folder.wstring())) return false;
        dialog = gui::waitForWindow(program.processId(), caption, L"#32770");
        return dialog != nullptr;
    }

    std::vector<HWND> othersThanDialog() {
        std::vector<HWND> others;
        for (HWND w : gui::windowsOf(program.processId()))
            if (w != dialog) others.push_back(w);
        return others;
    }

    // A new top-level dialog of the host besides the creation dialog, or null.
    HWND waitForOther(int timeoutMs = 10000) {
        HWND found = nullptr;
        waitFor(
            [&] {
                for (HWND w : othersThanDialog()) {
                    wchar_t name[16] = {};
                    GetClassNameW(w, name, 16);
                    if (std::wstring(name) == L"#32770") found = w;
                }
                return found != nullptr;
            },
            timeoutMs);
        return found;
    }

    // Add Files, then the given names picked in the open-file dialog and Open pressed. Returns
    // the name box as the dialog showed it before Open.
    std::wstring addFiles(const std::vector<std::wstring>& names) {
        gui::press(dialog, BUILD_CREATE_ADD_FILES);
        const HWND open = waitForOther();
        if (open == nullptr) return L"(no open-file dialog)";
        HWND view = nullptr;
        const bool listed = waitFor([&] {
            view = nullptr;
            EnumChildWindows(open, findListView, reinterpret_cast<LPARAM>(&view));
            return view != nullptr && SendMessageW(view, LVM_GETITEMCOUNT, 0, 0) >= 1;
        });
        if (!listed || !selectItems(program.info.hProcess, view, names)) {
            gui::press(open, IDCANCEL);
            gui::waitUntilGone(open);
            return L"(files not listed)";
        }
        const std::wstring box = gui::controlText(open, kFileNameBox);
        gui::press(open, IDOK);
        if (!gui::waitUntilGone(open)) return L"(open-file dialog stayed)";
        return box;
    }

    // Create pressed with a host password: the dialog writes the archive and closes, and so does
    // the host.
    bool createAndExit() {
        gui::press(dialog, BUILD_CREATE_CREATE);
        return program.waitForExit(30000) == 0;
    }
};

// A folder of its own for each test, holding the files to pick.
class CreationDialogTest : public testing::Test {
  protected:
    fs::path folder;
    std::vector<std::string> contents;

    void SetUp() override {
        wchar_t temp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, temp);
        folder = fs::path(temp) / ("plugin_create_" + std::to_string(GetCurrentProcessId())) /
                 testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::remove_all(folder);
        fs::create_directories(folder);
        uint32_t x = 0x9E3779B9;
        for (const char* name : {"alpha.txt", "beta.txt", "gamma.data.bin"}) {
            // Sizes that differ, none a whole number of cipher blocks.
            std::string bytes(name);
            const size_t size = 70001 * bytes.size();
            while (bytes.size() < size) {
                x ^= x << 13, x ^= x >> 17, x ^= x << 5;
                bytes.push_back(static_cast<char>(x));
            }
            writeFile(folder / name, bytes);
            contents.push_back(bytes);
        }
    }

    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(folder.parent_path(), ignored);
    }

    // Extracts `archive` with sfxtool into a fresh folder and returns that folder, or an empty
    // path when sfxtool fails.
    fs::path extracted(const fs::path& archive, const std::wstring& password) {
        const fs::path out = folder.parent_path() / (folder.filename().wstring() + L"_out");
        fs::remove_all(out);
        gui::Program tool;
        const bool started =
            tool.start(quoted(windowsPath(SFXTOOL_PATH)) + L" extract " + quoted(archive) +
                       L" -d " + quoted(out) + L" -p \"" + password + L"\"");
        if (!started || tool.waitForExit(60000) != 0) return {};
        return out;
    }

    // The files of `out`, by name, against the ones made in SetUp (index into `contents`).
    void expectFiles(const fs::path& out, const std::vector<int>& which) {
        ASSERT_FALSE(out.empty()) << "sfxtool could not extract the archive";
        const char* names[] = {"alpha.txt", "beta.txt", "gamma.data.bin"};
        size_t count = 0;
        for (const auto& entry : fs::directory_iterator(out)) count += entry.is_regular_file();
        EXPECT_EQ(count, which.size());
        for (int i : which) EXPECT_TRUE(contentsOf(out / names[i]) == contents[i]) << names[i];
    }
};

const std::wstring kThreeNames = L"\"alpha.txt\" \"beta.txt\" \"gamma.data.bin\" ";

TEST_F(CreationDialogTest, ThreePickedFilesBecomeASelfExtractingArchiveBesideThem) {
    Host host;
    ASSERT_TRUE(host.start(L"create_sfx_archive_w --password " + passwordArgument(), folder,
                           kSelfExtractingCaption));
    EXPECT_EQ(gui::controlText(host.dialog, BUILD_CREATE_ADD_FILES), L"&Add Files");
    EXPECT_EQ(gui::controlText(host.dialog, BUILD_CREATE_NAME_LABEL), L"Archive Name:");
    gui::saveScreenshot("creation_self_extracting", host.dialog);

    EXPECT_EQ(host.addFiles({L"alpha.txt", L"beta.txt", L"gamma.data.bin"}), kThreeNames);
    EXPECT_EQ(gui::controlText(host.dialog, BUILD_CREATE_FILE_LIST), kThreeNames);
    EXPECT_EQ(gui::controlText(host.dialog, BUILD_CREATE_ARCHIVE_NAME), L"alpha.exe");
    gui::saveScreenshot("creation_three_files", host.dialog);
    ASSERT_TRUE(host.createAndExit());

    // The extractor goes in front of the archive.
    const std::string archive = contentsOf(folder / "alpha.exe");
    const std::string stub = contentsOf(windowsPath(SFXSTUB_PATH));
    ASSERT_FALSE(stub.empty());
    EXPECT_TRUE(archive.compare(0, stub.size(), stub) == 0) << "no extractor in front";
    expectFiles(extracted(folder / "alpha.exe", kPassword), {0, 1, 2});

    // The plug-in seals what it writes: the integrity record is there and verifies.
    ArchiveReader check;
    check.configure(nullptr, u"",
                    reinterpret_cast<const char16_t*>((folder / "alpha.exe").c_str()));
    check.verifyOnly = true;
    ASSERT_TRUE(check.setPassword(reinterpret_cast<const char16_t*>(kPassword)));
    check.run();
    EXPECT_EQ(check.result, kExtractOk);
    EXPECT_EQ(check.integrity, kIntegrityVerified);

    // And as its user runs it: started from elsewhere, into a folder that does not exist yet,
    // with the password typed (no token readers).
    const fs::path cwd = folder.parent_path() / "elsewhere";
    const fs::path out = folder.parent_path() / "run" / "nested";
    fs::create_directories(cwd);
    gui::Program extractor;
    const HWND main =
        gui::startExtractor(extractor, folder / "alpha.exe", cwd, {L"QUILLON_TOKENS="});
    ASSERT_NE(main, nullptr) << "alpha.exe showed no main dialog";
    const DWORD process = extractor.processId();
    gui::setControlText(main, gui::kExtractorDestination, out.wstring());
    gui::saveScreenshot("creation_archive_running", main);
    gui::extractWith(process, main, kPassword);
    ASSERT_TRUE(gui::waitUntilIdle(process, main)) << "a window stayed open after the run";
    gui::press(main, IDCANCEL);
    EXPECT_EQ(extractor.waitForExit(), 0);
    expectFiles(out, {0, 1, 2});
}

TEST_F(CreationDialogTest, SecondPickReplacesTheListAndThePasswordIsAskedFor) {
    Host host;
    ASSERT_TRUE(host.start(L"encrypt_w", folder, kPlainCaption));
    gui::saveScreenshot("creation_plain", host.dialog);

    // One file: its bare name, and the plain archive's extension.
    host.addFiles({L"gamma.data.bin"});
    EXPECT_EQ(gui::controlText(host.dialog, BUILD_CREATE_FILE_LIST), L"gamma.data.bin");
    EXPECT_EQ(gui::controlText(host.dialog, BUILD_CREATE_ARCHIVE_NAME), L"gamma.data.tvf");
    // A second pick replaces the list; the archive name stays.
    host.addFiles({L"alpha.txt", L"beta.txt"});
    EXPECT_EQ(gui::controlText(host.dialog, BUILD_CREATE_FILE_LIST),
              L"\"alpha.txt\" \"beta.txt\" ");
    EXPECT_EQ(gui::controlText(host.dialog, BUILD_CREATE_ARCHIVE_NAME), L"gamma.data.tvf");

    // No host password: the password dialog asks for a new one, twice.
    gui::press(host.dialog, BUILD_CREATE_CREATE);
    const HWND password = host.waitForOther();
    ASSERT_NE(password, nullptr) << "no password dialog";
    EXPECT_TRUE(gui::isVisible(password, QUILLON_PLUGIN_CONFIRM_EDIT)) << "not in encrypt mode";
    gui::typeText(password, QUILLON_PLUGIN_PASSWORD_EDIT, kPassword);
    gui::typeText(password, QUILLON_PLUGIN_CONFIRM_EDIT, kPassword);
    gui::press(password, IDOK);
    ASSERT_EQ(host.program.waitForExit(30000), 0);

    const std::string archive = contentsOf(folder / "gamma.data.tvf");
    ASSERT_FALSE(archive.empty());
    EXPECT_NE(archive.compare(0, 2, "MZ"), 0) << "a plain archive carries no extractor";
    expectFiles(extracted(folder / "gamma.data.tvf", kPassword), {0, 1});

    // The plug-in's own extraction opens it too.
    Host reader;
    const fs::path out = folder.parent_path() / L"decrypted";
    ASSERT_TRUE(reader.start(L"decrypt_w --password " + passwordArgument() + L" --archive " +
                                 quoted(folder / "gamma.data.tvf"),
                             folder, L"Self-extracting Quillon archive"));
    gui::setControlText(reader.dialog, BUILD_EXTRACT_DESTINATION, out.wstring());
    gui::press(reader.dialog, BUILD_EXTRACT_EXTRACT);
    ASSERT_EQ(reader.program.waitForExit(30000), 0);
    expectFiles(out, {0, 1});
}

TEST_F(CreationDialogTest, TypedListKeepsOnlyQuotedNamesAndAnEmptyOneKeepsTheDialogOpen) {
    Host host;
    ASSERT_TRUE(host.start(L"create_sfx_archive_w --password " + passwordArgument(), folder,
                           kSelfExtractingCaption));
    gui::press(host.dialog, BUILD_CREATE_CREATE);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_TRUE(IsWindowVisible(host.dialog)) << "Create with no files closed the dialog";
    EXPECT_TRUE(host.othersThanDialog().empty()) << "Create with no files opened a window";

    // Without Add Files the names are relative to the host's current directory.
    gui::setControlText(host.dialog, BUILD_CREATE_FILE_LIST,
                        L"\"alpha.txt\" beta.txt \"gamma.data.bin\"");
    gui::setControlText(host.dialog, BUILD_CREATE_ARCHIVE_NAME, L"typed.exe");
    ASSERT_TRUE(host.createAndExit());
    expectFiles(extracted(folder / "typed.exe", kPassword), {0, 2});
}

TEST_F(CreationDialogTest, ArchiveThatCannotBeWrittenIsReported) {
    Host host;
    ASSERT_TRUE(host.start(L"encrypt_w --password " + passwordArgument(), folder, kPlainCaption));
    gui::setControlText(host.dialog, BUILD_CREATE_FILE_LIST, L"alpha.txt");
    gui::setControlText(host.dialog, BUILD_CREATE_ARCHIVE_NAME, L"no such folder\\out.tvf");
    gui::press(host.dialog, BUILD_CREATE_CREATE);

    // The progress dialog may be seen first, on a busy machine: wait for the message box itself.
    const HWND box = gui::waitForMessageBox(host.program.processId(), host.dialog);
    ASSERT_NE(box, nullptr) << "the failure went unreported";
    EXPECT_EQ(gui::messageBoxText(box), L"The archive could not be created!");
    EXPECT_EQ(GetWindow(box, GW_OWNER), host.dialog);
    EXPECT_EQ(gui::textOf(box), L"Error");  // no caption of its own
    gui::saveScreenshot("creation_not_created", box);
    gui::press(box, IDOK);
    EXPECT_EQ(host.program.waitForExit(10000), 0) << "the dialog did not close after the box";
}

TEST_F(CreationDialogTest, OldSystemsPickerGivesTheSameListAndName) {
    // Wine reports Windows 98 to a program of this name.
    const fs::path exe = folder.parent_path() / L"pluginhost98.exe";
    fs::copy_file(windowsPath(PLUGINHOST_PATH), exe, fs::copy_options::overwrite_existing);
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Wine\\AppDefaults\\pluginhost98.exe",
                              0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const wchar_t version[] = L"win98";
    RegSetValueExW(key, L"Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(version),
                   sizeof version);
    RegCloseKey(key);

    Host host;
    ASSERT_TRUE(host.start(L"create_sfx_archive_w --password " + passwordArgument(), folder,
                           kSelfExtractingCaption, exe));
    host.addFiles({L"alpha.txt", L"beta.txt", L"gamma.data.bin"});
    // The explorer form without the name box's trailing space.
    EXPECT_EQ(gui::controlText(host.dialog, BUILD_CREATE_FILE_LIST),
              kThreeNames.substr(0, kThreeNames.size() - 1));
    EXPECT_EQ(gui::controlText(host.dialog, BUILD_CREATE_ARCHIVE_NAME), L"alpha.exe");
    ASSERT_TRUE(host.createAndExit());
    expectFiles(extracted(folder / "alpha.exe", kPassword), {0, 1, 2});
}

// In this process, with the plug-in's templates carried by the test program.
class CreationDialogInProcess : public CreationDialogTest {
  protected:
    void SetUp() override {
        CreationDialogTest::SetUp();
        setOwnModule(GetModuleHandleW(nullptr));
        SetCurrentDirectoryW(folder.c_str());
    }
    void TearDown() override {
        SetCurrentDirectoryW(folder.parent_path().parent_path().c_str());
        CreationDialogTest::TearDown();
    }
};

TEST_F(CreationDialogInProcess, CancelledPasswordRunsNothingAndClosesWithCreate) {
    const DWORD thread = GetCurrentThreadId();
    CreateRequest request;  // no password, no stub
    bool asked = false;
    const int result = gui::driveDialog(
        [&] {
            return static_cast<int>(
                DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(BUILD_CREATE_DIALOG),
                                nullptr, CreationDialog, reinterpret_cast<LPARAM>(&request)));
        },
        [&](HWND dialog) {
            EXPECT_EQ(gui::textOf(dialog), kPlainCaption);
            gui::setControlText(dialog, BUILD_CREATE_FILE_LIST, L"alpha.txt");
            gui::setControlText(dialog, BUILD_CREATE_ARCHIVE_NAME, L"cancelled.tvf");
            gui::press(dialog, BUILD_CREATE_CREATE);
            const HWND password = gui::waitForOtherDialog(thread, dialog);
            asked = password != nullptr;
            if (asked) gui::press(password, IDCANCEL);
        });
    EXPECT_TRUE(asked) << "no password dialog";
    EXPECT_EQ(result, BUILD_CREATE_CREATE);
    EXPECT_FALSE(fs::exists(folder / "cancelled.tvf"));
}

TEST_F(CreationDialogInProcess, RunWithoutItsDialogsIsReported) {
    // The host carries the texts but no dialog templates: neither the password dialog nor the
    // progress dialog can be shown, so no archive can be written, with or without a password.
    const HMODULE textsOnly =
        LoadLibraryExW(windowsPath(PLUGINHOST_PATH).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(textsOnly, nullptr);
    for (const char16_t* password : {u"given", static_cast<const char16_t*>(nullptr)}) {
        SCOPED_TRACE(password != nullptr ? "host password" : "password asked for");
        std::wstring shown;
        gui::driveDialog(
            [&] {
                runCreation(textsOnly, nullptr, nullptr, nullptr, u"none.tvf", u"alpha.txt",
                            password);
                return 0;
            },
            [&](HWND box) {
                shown = gui::messageBoxText(box);
                gui::press(box, IDOK);
            });
        EXPECT_EQ(shown, L"The archive could not be created!");
        EXPECT_FALSE(fs::exists(folder / "none.tvf"));
    }
    FreeLibrary(textsOnly);
}

TEST(CreationDialogTemplate, ShippedTemplateLayout) {
    const HMODULE plugin =
        LoadLibraryExW((windowsPath(PLUGINHOST_PATH).parent_path() / L"sfxbuild.dll").c_str(),
                       nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(plugin, nullptr);
    const gui::DialogTemplate t = gui::readTemplate(plugin, BUILD_CREATE_DIALOG);
    ASSERT_TRUE(t.found);
    EXPECT_EQ(t.width, 255);
    EXPECT_EQ(t.height, 82);
    EXPECT_EQ(t.font, L"Microsoft Sans Serif");
    EXPECT_EQ(t.pointSize, 8);
    EXPECT_EQ(t.style & (DS_MODALFRAME | WS_CAPTION | WS_SYSMENU),
              static_cast<DWORD>(DS_MODALFRAME | WS_CAPTION | WS_SYSMENU));
    struct Expected {
        int id;
        const wchar_t* windowClass;
        short x, y, width, height;
        DWORD style;
    };
    const DWORD editStyle = WS_BORDER | ES_AUTOHSCROLL | WS_TABSTOP;
    for (const Expected& e : std::vector<Expected>{
             {BUILD_CREATE_NAME_LABEL, L"Static", 4, 2, 155, 8, 0},
             {BUILD_CREATE_ARCHIVE_NAME, L"Edit", 4, 14, 167, 14, editStyle},
             {BUILD_CREATE_FILES_LABEL, L"Static", 4, 34, 157, 8, 0},
             {BUILD_CREATE_FILE_LIST, L"Edit", 4, 44, 167, 14, editStyle},
             {BUILD_CREATE_ADD_FILES, L"Button", 175, 44, 75, 14, BS_DEFPUSHBUTTON},
             {BUILD_CREATE_CREATE, L"Button", 96, 63, 75, 14, BS_PUSHBUTTON},
             {IDCANCEL, L"Button", 175, 63, 75, 14, BS_PUSHBUTTON}}) {
        SCOPED_TRACE(e.id);
        const gui::TemplateItem* item = t.item(e.id);
        ASSERT_NE(item, nullptr);
        EXPECT_EQ(item->windowClass, e.windowClass);
        EXPECT_EQ((std::vector<short>{item->x, item->y, item->width, item->height}),
                  (std::vector<short>{e.x, e.y, e.width, e.height}));
        EXPECT_EQ(item->style & (e.style | 0xF), e.style) << std::hex << item->style;
    }
    EXPECT_EQ(t.items.size(), 7u);
    FreeLibrary(plugin);
}

}  // namespace
