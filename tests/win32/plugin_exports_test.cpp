// The built plug-in as a host meets it: its export directory (six names, numbered in alphabetical
// order), the extractor image it carries, and what each export does when called in this process
// with the C calling convention: the dialog it opens (closed again by a watcher thread, as a user
// would cancel it) and its result.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

namespace fs = std::filesystem;

using CreateWide = int(__cdecl*)(HINSTANCE, HINSTANCE, HWND, const wchar_t*);
using CreateAnsi = int(__cdecl*)(HINSTANCE, HINSTANCE, HWND, const char*);
using DecryptWide = int(__cdecl*)(HINSTANCE, HINSTANCE, HWND, const wchar_t*, const wchar_t*);
using DecryptAnsi = int(__cdecl*)(HINSTANCE, HINSTANCE, HWND, const char*, const char*);

const char* const kExportNames[] = {"create_sfx_archive_a",
                                    "create_sfx_archive_w",
                                    "decrypt_a",
                                    "decrypt_w",
                                    "encrypt_a",
                                    "encrypt_w"};

constexpr wchar_t kSelfExtractingTitle[] = L"Create a Self-Extracting encrypted archive";
constexpr wchar_t kEncryptTitle[] = L"Encrypt file(s)";
constexpr wchar_t kExtractTitle[] = L"Self-extracting Quillon archive";

fs::path besideThisProgram(const wchar_t* name) {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    return fs::path(path).parent_path() / name;
}

template <typename Function>
Function exportOf(HMODULE module, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// Closes every dialog the test thread shows, the way a user would press Cancel, and keeps
// their captions in the order they appeared.
class DialogCanceller {
  public:
    DialogCanceller() : thread_(GetCurrentThreadId()), worker_([this] { watch(); }) {}
    ~DialogCanceller() {
        stop_ = true;
        worker_.join();
    }
    std::vector<std::wstring> captions() {
        std::vector<std::wstring> copy;
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            copy = captions_;
            captions_.clear();
            seen_.clear();
        }
        return copy;
    }

  private:
    void watch() {
        while (!stop_) {
            EnumThreadWindows(thread_, cancelOne, reinterpret_cast<LPARAM>(this));
            Sleep(20);
        }
    }
    static BOOL CALLBACK cancelOne(HWND window, LPARAM self) {
        wchar_t name[16] = {};
        GetClassNameW(window, name, 16);
        if (!IsWindowVisible(window) || std::wstring(name) != L"#32770") return TRUE;
        auto* me = reinterpret_cast<DialogCanceller*>(self);
        wchar_t caption[128] = {};
        GetWindowTextW(window, caption, 128);
        {
            const std::lock_guard<std::mutex> lock(me->mutex_);
            if (me->seen_.empty() || me->seen_.back() != window) me->captions_.push_back(caption);
            me->seen_.push_back(window);
        }
        SendMessageW(window, WM_COMMAND, IDCANCEL, 0);
        return TRUE;
    }

    DWORD thread_;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::vector<std::wstring> captions_;
    std::vector<HWND> seen_;
    std::thread worker_;
};

class PluginExports : public testing::Test {
  protected:
    void SetUp() override {
        plugin = LoadLibraryW(besideThisProgram(L"sfxbuild.dll").c_str());
        ASSERT_NE(plugin, nullptr);
    }
    void TearDown() override {
        if (plugin != nullptr) FreeLibrary(plugin);
    }

    // The host of the calls is this program, which carries no string table: the plug-in's own
    // module stands in as the language module, so the captions read as in a real host.
    HINSTANCE host() const { return GetModuleHandleW(nullptr); }
    HINSTANCE language() const { return plugin; }

    HMODULE plugin = nullptr;
};

TEST_F(PluginExports, ExportsSixNamesNumberedInAlphabeticalOrder) {
    const auto* base = reinterpret_cast<const BYTE*>(plugin);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    // The plug-in is built like this program, 32- or 64-bit: its headers have this layout.
    ASSERT_EQ(nt->OptionalHeader.Magic, IMAGE_NT_OPTIONAL_HDR_MAGIC);
    const IMAGE_DATA_DIRECTORY& entry =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    ASSERT_NE(entry.VirtualAddress, 0u);
    const auto* directory =
        reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + entry.VirtualAddress);
    ASSERT_EQ(directory->NumberOfFunctions, 6u);
    ASSERT_EQ(directory->NumberOfNames, 6u);
    const auto* names = reinterpret_cast<const DWORD*>(base + directory->AddressOfNames);
    const auto* ordinals = reinterpret_cast<const WORD*>(base + directory->AddressOfNameOrdinals);
    for (DWORD i = 0; i < 6; ++i) {
        const char* name = reinterpret_cast<const char*>(base + names[i]);
        EXPECT_STREQ(name, kExportNames[i]);
        EXPECT_EQ(directory->Base + ordinals[i], i + 1) << name;
        // The loader agrees: the number and the name give the same function.
        const FARPROC byName = GetProcAddress(plugin, kExportNames[i]);
        EXPECT_NE(byName, nullptr);
        EXPECT_EQ(GetProcAddress(plugin, MAKEINTRESOURCEA(i + 1)), byName) << name;
    }
}

TEST_F(PluginExports, CarriesTheBuiltExtractorByteForByte) {
    const HRSRC found = FindResourceW(plugin, L"TRV_SFX", MAKEINTRESOURCEW(10));  // RT_RCDATA
    ASSERT_NE(found, nullptr);
    const auto* bytes = static_cast<const char*>(LockResource(LoadResource(plugin, found)));
    ASSERT_NE(bytes, nullptr);
    const std::string carried(bytes, SizeofResource(plugin, found));

    std::ifstream in(besideThisProgram(L"sfxstub.exe"), std::ios::binary);
    ASSERT_TRUE(in.good());
    const std::string built(std::istreambuf_iterator<char>(in), {});
    ASSERT_GT(built.size(), 1024u);
    EXPECT_TRUE(carried == built) << carried.size() << " bytes carried, " << built.size()
                                  << " built";
}

std::string fileText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The log, when its file asks for it, starts with the first export call, not at load: starting
// it loads libraries, which must never happen under the loader's lock. Its header describes the
// library, so the log of a host process tells which plug-in was in it; it is written once.
TEST_F(PluginExports, TheFirstExportCallStartsTheLogDescribingTheLibrary) {
    const fs::path log = L"C:\\zq_sfx.log";
    std::ofstream(log, std::ios::binary).put('2');
    ASSERT_TRUE(FreeLibrary(plugin));
    plugin = LoadLibraryW(besideThisProgram(L"sfxbuild.dll").c_str());
    ASSERT_NE(plugin, nullptr);
    const std::string afterLoad = fileText(log);
    // Returns at once, without a dialog: a null archive path.
    exportOf<DecryptAnsi>(plugin, "decrypt_a")(host(), language(), nullptr, nullptr, nullptr);
    const std::string afterCall = fileText(log);
    exportOf<DecryptAnsi>(plugin, "decrypt_a")(host(), language(), nullptr, nullptr, nullptr);
    const std::string afterSecondCall = fileText(log);
    fs::remove(log);

    EXPECT_EQ(afterLoad, "2") << "loading wrote the log";
    const std::string path = besideThisProgram(L"sfxbuild.dll").string();
    EXPECT_NE(afterCall.find("Path:" + path), std::string::npos) << afterCall;
    EXPECT_NE(afterCall.find("product name:Quillon SFX"), std::string::npos) << afterCall;
    EXPECT_EQ(afterSecondCall, afterCall) << "the log was started twice";
}

TEST_F(PluginExports, DecryptWithoutAnArchiveReturnsAtOnceShowingNothing) {
    DialogCanceller watcher;
    EXPECT_EQ(exportOf<DecryptAnsi>(plugin, "decrypt_a")(host(), language(), nullptr, nullptr,
                                                         "password"),
              0);
    Sleep(100);
    EXPECT_TRUE(watcher.captions().empty());
}

TEST_F(PluginExports, EveryExportOpensItsDialogAndReturnsZero) {
    DialogCanceller watcher;
    const auto expectOnly = [&](const wchar_t* caption, const char* name) {
        EXPECT_EQ(watcher.captions(), std::vector<std::wstring>{caption}) << name;
    };
    // With and without a host password; the ANSI forms must arrive at the same dialogs.
    for (const bool withPassword : {false, true}) {
        SCOPED_TRACE(withPassword ? "with a password" : "without a password");
        const wchar_t* w = withPassword ? L"secret" : nullptr;
        const char* a = withPassword ? "secret" : nullptr;
        EXPECT_EQ(
            exportOf<CreateWide>(plugin, "create_sfx_archive_w")(host(), language(), nullptr, w),
            0);
        expectOnly(kSelfExtractingTitle, "create_sfx_archive_w");
        EXPECT_EQ(
            exportOf<CreateAnsi>(plugin, "create_sfx_archive_a")(host(), language(), nullptr, a),
            0);
        expectOnly(kSelfExtractingTitle, "create_sfx_archive_a");
        EXPECT_EQ(exportOf<CreateWide>(plugin, "encrypt_w")(host(), language(), nullptr, w), 0);
        expectOnly(kEncryptTitle, "encrypt_w");
        EXPECT_EQ(exportOf<CreateAnsi>(plugin, "encrypt_a")(host(), language(), nullptr, a), 0);
        expectOnly(kEncryptTitle, "encrypt_a");
        EXPECT_EQ(exportOf<DecryptWide>(plugin, "decrypt_w")(host(), language(), nullptr,
                                                             L"C:\\none.tvf", w),
                  0);
        expectOnly(kExtractTitle, "decrypt_w");
        EXPECT_EQ(exportOf<DecryptAnsi>(plugin, "decrypt_a")(host(), language(), nullptr,
                                                             "C:\\none.tvf", a),
                  0);
        expectOnly(kExtractTitle, "decrypt_a");
    }
    // A null archive path is the host's business: the wide form still shows its dialog.
    EXPECT_EQ(
        exportOf<DecryptWide>(plugin, "decrypt_w")(host(), language(), nullptr, nullptr, nullptr),
        0);
    expectOnly(kExtractTitle, "decrypt_w without an archive");
}

BOOL CALLBACK collectDialog(HWND window, LPARAM list) {
    wchar_t name[16] = {};
    GetClassNameW(window, name, 16);
    if (IsWindowVisible(window) && std::wstring(name) == L"#32770")
        reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
    return TRUE;
}

// The visible dialogs of a thread, in no particular order.
std::vector<HWND> dialogsOf(DWORD thread) {
    std::vector<HWND> found;
    EnumThreadWindows(thread, collectDialog, reinterpret_cast<LPARAM>(&found));
    return found;
}

// A visible dialog of the thread other than `except`, waiting up to ten seconds.
HWND waitForDialogBesides(DWORD thread, HWND except) {
    for (int i = 0; i < 500; ++i) {
        for (HWND w : dialogsOf(thread))
            if (w != except) return w;
        Sleep(20);
    }
    return nullptr;
}

// A host may call an export from inside another one's modal loop (here on a timer). The inner
// dialog, opened and cancelled, must leave the outer one its own request: its mode, its
// password and its archive.
class NestedCall {
  public:
    // Calls `outer` on this thread; once its dialog shows, a timer calls `inner` from inside
    // its modal loop. The inner dialog is cancelled; then the outer one gets `texts` and the
    // press of `go`. A message box or a password dialog after that is counted and closed.
    void run(const std::function<void()>& outer, const std::function<void()>& inner,
             const std::vector<std::pair<int, std::wstring>>& texts, int go) {
        g_inner = &inner;
        const UINT_PTR timer = SetTimer(nullptr, 0, 300, callInner);
        const DWORD thread = GetCurrentThreadId();
        std::thread driver([&] {
            const HWND first = waitForDialogBesides(thread, nullptr);
            const HWND nested = waitForDialogBesides(thread, first);
            innerOpened = nested != nullptr;
            if (nested != nullptr) SendMessageW(nested, WM_COMMAND, IDCANCEL, 0);
            while (IsWindow(nested)) Sleep(20);
            if (first == nullptr) return;
            for (const auto& [id, text] : texts) SetDlgItemTextW(first, id, text.c_str());
            PostMessageW(first, WM_COMMAND, go, 0);
            for (int i = 0; i < 1500 && IsWindow(first); ++i) {
                for (HWND w : dialogsOf(thread)) {
                    // A message box (told by its text control) or a password dialog; the
                    // progress dialog, without either button, goes alone.
                    const bool box = GetDlgItem(w, 0xFFFF) != nullptr;
                    if (w == first || (!box && GetDlgItem(w, IDCANCEL) == nullptr)) continue;
                    ++unexpected;
                    PostMessageW(w, WM_COMMAND, box ? IDOK : IDCANCEL, 0);
                    Sleep(200);
                }
                Sleep(20);
            }
        });
        outer();
        driver.join();
        KillTimer(nullptr, timer);
        g_inner = nullptr;
    }

    bool innerOpened = false;
    int unexpected = 0;

  private:
    static void CALLBACK callInner(HWND, UINT, UINT_PTR id, DWORD) {
        KillTimer(nullptr, id);
        if (g_inner != nullptr) (*g_inner)();
    }
    static inline const std::function<void()>* g_inner = nullptr;
};

TEST_F(PluginExports, ExportCalledInsideAnotherLeavesItItsRequest) {
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const fs::path folder = fs::path(temp) / ("nested_" + std::to_string(GetCurrentProcessId()));
    fs::remove_all(folder);
    fs::create_directories(folder / "out");
    std::ofstream(folder / "alpha.txt", std::ios::binary) << "the outer call's file";
    wchar_t previous[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, previous);
    SetCurrentDirectoryW(folder.c_str());

    // A self-extracting archive keyed with the outer password, while a plain-mode dialog with
    // another password came and went.
    NestedCall create;
    create.run(
        [&] {
            exportOf<CreateWide>(plugin, "create_sfx_archive_w")(host(), language(), nullptr,
                                                                 L"outer secret");
        },
        [&] { exportOf<CreateWide>(plugin, "encrypt_w")(host(), language(), nullptr, L"inner"); },
        {{1000, L"alpha.txt"}, {1001, L"nested.exe"}}, 1002);
    EXPECT_TRUE(create.innerOpened);
    EXPECT_EQ(create.unexpected, 0) << "asked for a password, or failed";
    std::ifstream in(folder / "nested.exe", std::ios::binary);
    const std::string archive(std::istreambuf_iterator<char>(in), {});
    in.close();
    EXPECT_EQ(archive.substr(0, 2), "MZ") << "the outer call's extractor is missing";

    // The outer extraction reads its own archive with its own password, not the inner call's.
    NestedCall extract;
    extract.run(
        [&] {
            exportOf<DecryptWide>(plugin, "decrypt_w")(
                host(), language(), nullptr, (folder / "nested.exe").c_str(), L"outer secret");
        },
        [&] {
            exportOf<DecryptWide>(plugin, "decrypt_w")(host(), language(), nullptr, L"C:\\none.tvf",
                                                       L"inner");
        },
        {{1015, (folder / "out").wstring()}}, 1017);
    EXPECT_TRUE(extract.innerOpened);
    EXPECT_EQ(extract.unexpected, 0) << "asked for a password, or failed";
    std::ifstream extracted(folder / "out" / "alpha.txt", std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(extracted), {}), "the outer call's file");
    extracted.close();

    SetCurrentDirectoryW(previous);
    std::error_code ignored;
    fs::remove_all(folder, ignored);
}

}  // namespace
