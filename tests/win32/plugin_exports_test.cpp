// The built plug-in as a host meets it: its export directory (six names, numbered in alphabetical
// order), the extractor image it carries, and what each export does when called in this process
// with the C calling convention: the dialog it opens (closed again by a watcher thread, as a user
// would cancel it) and its result.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>
#include <thread>
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
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(base + dos->e_lfanew);
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

// Loading starts the log, when its file asks for it, with the library among the modules it
// describes: the log of a host process tells which plug-in was in it.
TEST_F(PluginExports, LoadingStartsTheLogDescribingTheLibrary) {
    const fs::path log = L"C:\\zq_sfx.log";
    std::ofstream(log, std::ios::binary).put('2');
    ASSERT_TRUE(FreeLibrary(plugin));
    plugin = LoadLibraryW(besideThisProgram(L"sfxbuild.dll").c_str());
    ASSERT_NE(plugin, nullptr);
    std::ifstream in(log, std::ios::binary);
    const std::string written(std::istreambuf_iterator<char>(in), {});
    in.close();
    fs::remove(log);
    const std::string path = besideThisProgram(L"sfxbuild.dll").string();
    EXPECT_NE(written.find("Path:" + path), std::string::npos) << written;
    EXPECT_NE(written.find("product name:Quillon SFX"), std::string::npos) << written;
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

}  // namespace
