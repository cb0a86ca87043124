// The token library on a real system: our stand-in hwtok32.dll keeps the contract the extractor
// relies on, and the extractor's side writes it, loads exactly the copy it wrote (never one that
// lies where the loader would look first), and deletes exactly that file at exit. The library
// image comes from the built extractor's own HWTOKEN resource.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "sfxstub/token_library.h"
#include "tests/support/temp_folder.h"

namespace {

std::wstring wide(const std::u16string& s) {
    return std::wstring(s.begin(), s.end());
}

std::string narrow(const std::wstring& s) {
    return std::string(s.begin(), s.end());  // the test's paths are ASCII
}

std::wstring exeFolder() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring p = path;
    return p.substr(0, p.find_last_of(L'\\'));
}

std::wstring systemCopy() {
    wchar_t dir[MAX_PATH] = {};
    GetSystemDirectoryW(dir, MAX_PATH);
    return std::wstring(dir) + L"\\hwtok32.dll";
}

// The built library beside this test: where a load by bare name would look first, so for
// every binding test it stands for a copy planted beside a downloaded archive.
std::wstring plantedCopy() {
    return exeFolder() + L"\\hwtok32.dll";
}

bool exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void writeFile(const std::wstring& path, const std::string& bytes) {
    const HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(f, INVALID_HANDLE_VALUE);
    DWORD n = 0;
    WriteFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &n, nullptr);
    CloseHandle(f);
}

std::string readFile(const std::wstring& path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::wstring loadedPath(HMODULE module) {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(module, path, MAX_PATH);
    return path;
}

// Runs a test in its own current directory and puts the old one back.
struct InDirectory {
    wchar_t old[MAX_PATH] = {};
    explicit InDirectory(const std::wstring& dir) {
        GetCurrentDirectoryW(MAX_PATH, old);
        SetCurrentDirectoryW(dir.c_str());
    }
    ~InDirectory() { SetCurrentDirectoryW(old); }
};

class TokenLibrary : public testing::Test {
  protected:
    void SetUp() override {
        extractor = LoadLibraryExW((exeFolder() + L"\\sfxstub.exe").c_str(), nullptr,
                                   LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(extractor, nullptr) << "the built extractor carries the library";
        ASSERT_TRUE(exists(plantedCopy()));
        DeleteFileW(systemCopy().c_str());
        trace = wide(folder.path()) + L"\\trace.log";
        SetEnvironmentVariableW(L"QUILLON_TOKEN_TRACE", trace.c_str());
    }
    void TearDown() override {
        if (module != nullptr) FreeLibrary(module);
        SetEnvironmentVariableW(L"QUILLON_TOKEN_TRACE", nullptr);
        SetEnvironmentVariableW(L"QUILLON_TOKENS", nullptr);
        DeleteFileW(systemCopy().c_str());
        if (extractor != nullptr) FreeLibrary(extractor);
    }

    // Binds `file` and checks that exactly that copy was loaded and the planted one was not.
    void expectBoundTo(TokenLibraryFile& file, const std::wstring& path) {
        EXPECT_EQ(std::wstring(file.path), path);
        ASSERT_TRUE(bindTokenLibrary(file, &module));
        ASSERT_NE(module, nullptr);
        EXPECT_EQ(loadedPath(module), path);
        EXPECT_EQ(GetModuleHandleW(plantedCopy().c_str()), nullptr) << "the planted copy ran";
        const std::string log = readFile(trace);
        EXPECT_NE(log.find("load " + narrow(path) + "\r\n"), std::string::npos) << log;
        EXPECT_EQ(log.find("load " + narrow(plantedCopy())), std::string::npos) << log;
        for (int i = 0; i < 35; ++i) EXPECT_NE(tokenApi().entries[i], nullptr) << i;
    }

    void unload() {
        if (module != nullptr) FreeLibrary(module);
        module = nullptr;
    }

    TempFolder folder;
    std::wstring trace;
    HMODULE extractor = nullptr;
    HMODULE module = nullptr;
};

TEST_F(TokenLibrary, WrittenToTheCurrentDirectoryLoadedFromThereAndDeletedAtExit) {
    TempFolder start, later;
    const std::wstring written = wide(start.path()) + L"\\hwtok32.dll";
    const std::wstring other = wide(later.path()) + L"\\hwtok32.dll";
    writeFile(written, "an old copy");
    writeFile(other, "not ours");
    TokenLibraryFile file;
    {
        InDirectory in(wide(start.path()));
        file = writeTokenLibrary(extractor);
    }
    EXPECT_EQ(file.placement, LibraryPlacement::kCurrentDirectory);
    EXPECT_EQ(readFile(written), readFile(plantedCopy())) << "the old copy is replaced";
    expectBoundTo(file, written);

    // The folder browser moved the current directory: exit still deletes the file written.
    InDirectory moved(wide(later.path()));
    unload();
    removeTokenLibrary(file);
    EXPECT_FALSE(exists(written));
    EXPECT_EQ(readFile(other), "not ours");
}

// An archive holding a file of that name, extracted into the same folder, replaced our copy:
// the file is the user's now, and exit must not delete it.
TEST_F(TokenLibrary, AFileExtractedOverTheCopyIsNotDeletedAtExit) {
    TempFolder start;
    const std::wstring written = wide(start.path()) + L"\\hwtok32.dll";
    TokenLibraryFile file;
    {
        InDirectory in(wide(start.path()));
        file = writeTokenLibrary(extractor);
    }
    ASSERT_EQ(file.placement, LibraryPlacement::kCurrentDirectory);
    // The extraction comes after start-up, once the copy is loaded and no longer held.
    ASSERT_TRUE(bindTokenLibrary(file, &module));
    unload();
    writeFile(written, readFile(plantedCopy()) + "and then some");
    removeTokenLibrary(file);
    EXPECT_TRUE(exists(written));
}

// Between writing and loading, nobody may change, delete or rename the copy: in a folder others
// can write to, a library swapped in there would run inside the extractor. Readers are welcome.
TEST_F(TokenLibrary, TheWrittenCopyIsHeldAgainstChangeUntilItIsLoaded) {
    TempFolder start, elsewhere;
    const std::wstring written = wide(start.path()) + L"\\hwtok32.dll";
    TokenLibraryFile file;
    {
        InDirectory in(wide(start.path()));
        file = writeTokenLibrary(extractor);
    }
    ASSERT_EQ(file.placement, LibraryPlacement::kCurrentDirectory);
    EXPECT_TRUE(file.hold.held());

    const HANDLE writer = CreateFileW(written.c_str(), GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_EQ(writer, INVALID_HANDLE_VALUE) << "opened for writing";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    if (writer != INVALID_HANDLE_VALUE) CloseHandle(writer);
    EXPECT_FALSE(DeleteFileW(written.c_str())) << "deleted";
    const std::wstring moved = wide(elsewhere.path()) + L"\\moved.dll";
    EXPECT_FALSE(MoveFileW(written.c_str(), moved.c_str())) << "renamed";
    EXPECT_EQ(readFile(written), readFile(plantedCopy())) << "reading is still allowed";

    expectBoundTo(file, written);
    EXPECT_FALSE(file.hold.held()) << "the hold outlived the load";
    unload();
    removeTokenLibrary(file);
    EXPECT_FALSE(exists(written));
}

// A copy whose bytes are not the resource's (replaced in the moment between writing and holding)
// is not loaded, and neither is a written copy that is no longer held.
TEST_F(TokenLibrary, ACopyThatIsNotTheOneWrittenIsNotLoaded) {
    const HRSRC found = FindResourceW(extractor, L"HWTOKEN", MAKEINTRESOURCEW(10));
    ASSERT_NE(found, nullptr);
    const void* image = LockResource(LoadResource(extractor, found));
    const DWORD imageSize = SizeofResource(extractor, found);
    ASSERT_NE(image, nullptr);
    std::string swapped(static_cast<const char*>(image), imageSize);
    // A working library all the same: only the link time stamp of its header differs.
    const LONG header = reinterpret_cast<const IMAGE_DOS_HEADER*>(swapped.data())->e_lfanew;
    swapped[header + 8] = static_cast<char>(swapped[header + 8] ^ 0x5A);

    TempFolder start;
    const std::wstring path = wide(start.path()) + L"\\hwtok32.dll";
    const auto writtenAndHeld = [&](const std::string& bytes) {
        writeFile(path, bytes);
        TokenLibraryFile file;
        file.placement = LibraryPlacement::kCurrentDirectory;
        wcscpy(file.path, path.c_str());
        file.image = image;
        file.imageSize = imageSize;
        file.hold.handle = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        return file;
    };

    TokenLibraryFile file = writtenAndHeld(swapped);
    ASSERT_TRUE(file.hold.held());
    EXPECT_FALSE(bindTokenLibrary(file, &module));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_INVALID));
    EXPECT_EQ(module, nullptr);
    EXPECT_FALSE(tokenApi().bound());
    EXPECT_FALSE(file.hold.held());
    EXPECT_EQ(readFile(trace).find("load "), std::string::npos) << "the swapped copy ran";

    file = writtenAndHeld(std::string(static_cast<const char*>(image), imageSize));
    file.hold.release();
    EXPECT_FALSE(bindTokenLibrary(file, &module)) << "loaded without its hold";
    EXPECT_EQ(readFile(trace).find("load "), std::string::npos);

    file = writtenAndHeld(std::string(static_cast<const char*>(image), imageSize));
    expectBoundTo(file, path);
    unload();
}

TEST_F(TokenLibrary, AnUnwritableCurrentDirectoryFallsBackToTheSystemDirectory) {
    TempFolder start;
    // A folder of that name: the file cannot be created in the current directory.
    CreateDirectoryW((wide(start.path()) + L"\\hwtok32.dll").c_str(), nullptr);
    InDirectory in(wide(start.path()));

    TokenLibraryFile file = writeTokenLibrary(extractor);
    EXPECT_EQ(file.placement, LibraryPlacement::kSystemDirectory);
    expectBoundTo(file, systemCopy());
    unload();
    removeTokenLibrary(file);
    EXPECT_FALSE(exists(systemCopy()));

    // A copy already there is used as it is and survives.
    const std::string preinstalled = readFile(plantedCopy()) + "installed";
    writeFile(systemCopy(), preinstalled);
    file = writeTokenLibrary(extractor);
    EXPECT_EQ(file.placement, LibraryPlacement::kPreinstalled);
    expectBoundTo(file, systemCopy());
    unload();
    removeTokenLibrary(file);
    EXPECT_EQ(readFile(systemCopy()), preinstalled);
}

// Run as administrator, a program often starts in the system directory: an installed copy there
// is neither replaced at start-up nor deleted at exit, however the folder name is cased.
TEST_F(TokenLibrary, AnInstalledCopyInTheCurrentDirectoryIsLeftAlone) {
    const std::string installed = readFile(plantedCopy()) + "installed";
    writeFile(systemCopy(), installed);
    wchar_t system[MAX_PATH] = {};
    GetSystemDirectoryW(system, MAX_PATH);
    wchar_t upper[MAX_PATH] = {};
    wcscpy(upper, system);
    CharUpperW(upper);
    for (const wchar_t* dir :
         {static_cast<const wchar_t*>(system), static_cast<const wchar_t*>(upper)}) {
        TokenLibraryFile file;
        {
            InDirectory in(dir);
            file = writeTokenLibrary(extractor);
        }
        EXPECT_EQ(file.placement, LibraryPlacement::kPreinstalled) << narrow(dir);
        removeTokenLibrary(file);
        EXPECT_TRUE(readFile(systemCopy()) == installed)
            << "the installed copy changed, " << narrow(dir);
    }
}

TEST_F(TokenLibrary, WithNothingWrittenOnlyAnInstalledCopyIsLoaded) {
    TempFolder start;
    InDirectory in(wide(start.path()));
    // This test program has no HWTOKEN resource.
    TokenLibraryFile file = writeTokenLibrary(GetModuleHandleW(nullptr));
    EXPECT_EQ(file.placement, LibraryPlacement::kNone);
    EXPECT_FALSE(exists(wide(start.path()) + L"\\hwtok32.dll"));

    // No installed copy: nothing is loaded, not even the planted one, and the error survives.
    SetLastError(0);
    EXPECT_FALSE(bindTokenLibrary(file, &module));
    EXPECT_EQ(module, nullptr);
    EXPECT_NE(GetLastError(), 0u);
    EXPECT_EQ(GetModuleHandleW(plantedCopy().c_str()), nullptr);
    EXPECT_FALSE(tokenApi().bound());

    writeFile(systemCopy(), readFile(plantedCopy()));
    expectBoundTo(file, systemCopy());
    unload();
    removeTokenLibrary(file);
    EXPECT_TRUE(exists(systemCopy())) << "an installed copy is never deleted";
}

TEST_F(TokenLibrary, ALibraryMissingAnEntryPointIsNotBound) {
    TokenLibraryFile file;
    GetSystemDirectoryW(file.path, MAX_PATH);
    wcscat(file.path, L"\\kernel32.dll");
    EXPECT_FALSE(bindTokenLibrary(file, &module));
    EXPECT_EQ(module, nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
    for (int i = 0; i < 35; ++i) EXPECT_EQ(tokenApi().entries[i], nullptr) << i;
}

// The names of the libraries a program file imports, read from its import directory.
std::vector<std::string> importedLibraries(const std::string& image) {
    std::vector<std::string> names;
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(image.data());
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(image.data() + dos->e_lfanew);
    // The extractor is built like this program, 32- or 64-bit: read only headers of this layout.
    if (nt->OptionalHeader.Magic != IMAGE_NT_OPTIONAL_HDR_MAGIC) return names;
    const auto* sections = IMAGE_FIRST_SECTION(nt);
    const auto offsetOf = [&](DWORD rva) -> size_t {
        for (int i = 0; i < nt->FileHeader.NumberOfSections; ++i) {
            const IMAGE_SECTION_HEADER& s = sections[i];
            if (rva >= s.VirtualAddress && rva < s.VirtualAddress + s.SizeOfRawData) {
                return rva - s.VirtualAddress + s.PointerToRawData;
            }
        }
        return 0;
    };
    const DWORD table =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress;
    const auto* entry =
        reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(image.data() + offsetOf(table));
    for (; table != 0 && entry->Name != 0; ++entry)
        names.push_back(image.data() + offsetOf(entry->Name));
    return names;
}

// A library the extractor imports by name is looked for first in its own folder, the download
// folder, unless the system always takes it from its own directory (the known libraries) or the
// manifest names it (the common controls): every other one would be a planted library's way in.
TEST(ExtractorImports, OnlyLibrariesThatAreNeverTakenFromTheProgramsFolder) {
    const std::vector<std::string> imports =
        importedLibraries(readFile(exeFolder() + L"\\sfxstub.exe"));
    EXPECT_GT(imports.size(), 3u);
    for (std::string name : imports) {
        for (char& c : name) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
        EXPECT_TRUE(name == "KERNEL32.DLL" || name == "USER32.DLL" || name == "GDI32.DLL" ||
                    name == "ADVAPI32.DLL" || name == "SHELL32.DLL" || name == "OLE32.DLL" ||
                    name == "MSVCRT.DLL" || name == "COMCTL32.DLL")
            << name;
    }
}

// Our stand-in library itself, loaded from the build, against the behaviour the extractor relies
// on. Handles come from InitReader; a token's data is handed out only after InitCard (mode 224)
// and, for a PIN token, an accepted PIN.
class StandIn : public testing::Test {
  protected:
    void SetUp() override {
        TokenLibraryFile file;
        wcscpy(file.path, plantedCopy().c_str());
        ASSERT_TRUE(bindTokenLibrary(file, &module));
        trace = wide(folder.path()) + L"\\trace.log";
        tokens = wide(folder.path()) + L"\\tokens.txt";
        SetEnvironmentVariableW(L"QUILLON_TOKEN_TRACE", trace.c_str());
    }
    void TearDown() override {
        SetEnvironmentVariableW(L"QUILLON_TOKEN_TRACE", nullptr);
        SetEnvironmentVariableW(L"QUILLON_TOKENS", nullptr);
        FreeLibrary(module);
    }
    void describe(const std::string& text) {
        writeFile(tokens, text);
        SetEnvironmentVariableW(L"QUILLON_TOKENS", tokens.c_str());
    }
    const TokenApi& api = tokenApi();
    TempFolder folder;
    std::wstring trace, tokens;
    HMODULE module = nullptr;
};

TEST_F(StandIn, NoReadersWithoutADescription) {
    EXPECT_EQ(api.enumReaders()(0), nullptr);
    SetEnvironmentVariableW(L"QUILLON_TOKENS", L"C:\\no\\such\\file.txt");
    EXPECT_EQ(api.enumReaders()(0), nullptr);
    // The 26 entry points the extractor never calls exist and fail.
    for (int i : {6,  7,  9,  10, 11, 12, 13, 14, 16, 17, 18, 19, 20,
                  22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32, 33, 34}) {
        EXPECT_EQ(reinterpret_cast<token::UnusedFn>(api.entries[i])(), 0) << i;
    }
}

TEST_F(StandIn, ReadersTokensPinsLabelsAndData) {
    describe(
        "# three readers\r\n[reader]\r\nname = Empty slot\r\ntoken = no\r\n"
        "[reader]\nname = Quillon Reader 2\npin = 1234\nattempts = 2\nlabel = Work key\n"
        "password = secret\n"
        "[reader]\nname=Open\nlabel=" +
        std::string(40, 'L') +
        "\npassword=x\n"
        "[reader]\nname = " +
        std::string(5000, 'n') + "\n");
    EXPECT_STREQ(api.enumReaders()(0), "Empty slot");
    EXPECT_STREQ(api.enumReaders()(1), "Quillon Reader 2");
    EXPECT_STREQ(api.enumReaders()(2), "Open");
    ASSERT_NE(api.enumReaders()(3), nullptr);
    EXPECT_EQ(strlen(api.enumReaders()(3)), 255u) << "a long name is cut, not overrun";
    EXPECT_EQ(api.enumReaders()(4), nullptr);

    EXPECT_EQ(api.initReader()("Nobody"), 0u);
    const token::ReaderHandle empty = api.initReader()("Empty slot");
    ASSERT_NE(empty, 0u);
    EXPECT_EQ(api.initCard()(empty, 224), 0) << "no token in the reader";

    const token::ReaderHandle pinned = api.initReader()("Quillon Reader 2");
    ASSERT_NE(pinned, 0u);
    EXPECT_EQ(api.initCard()(pinned, 5), 0) << "only mode 224 initialises";
    EXPECT_EQ(api.initCard()(pinned, 224), 2);
    EXPECT_TRUE(token::isYes(api.isDataExist()(pinned)));
    uint32_t size = 0;
    EXPECT_FALSE(token::isYes(api.readData()(pinned, 0, nullptr, &size))) << "PIN not given";
    EXPECT_FALSE(token::isYes(api.verifyPin()(pinned, "")));
    EXPECT_FALSE(token::isYes(api.verifyPin()(pinned, "123")));
    EXPECT_TRUE(token::isYes(api.verifyPin()(pinned, "1234")));
    EXPECT_FALSE(token::isYes(api.readData()(pinned, 1, nullptr, &size))) << "only slot 0";
    ASSERT_TRUE(token::isYes(api.readData()(pinned, 0, nullptr, &size)));
    EXPECT_EQ(size, 6u);
    uint8_t data[16] = {};
    uint32_t room = 5;
    EXPECT_FALSE(token::isYes(api.readData()(pinned, 0, data, &room))) << "too small";
    room = sizeof data;
    ASSERT_TRUE(token::isYes(api.readData()(pinned, 0, data, &room)));
    EXPECT_EQ(room, 6u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(data)), "secret");
    char label[token::kLabelBytes + 1] = {};
    api.readLabel()(pinned, label);
    EXPECT_STREQ(label, "Work key");
    api.closeCard()(pinned, 0);
    EXPECT_FALSE(token::isYes(api.readData()(pinned, 0, nullptr, &size))) << "card closed";
    api.closeReader()(pinned);

    // No PIN: the empty one opens it. A label of 36 bytes or more fills the buffer, unterminated.
    const token::ReaderHandle open = api.initReader()("Open");
    EXPECT_EQ(api.initCard()(open, 224), 3) << "three attempts by default";
    EXPECT_TRUE(token::isYes(api.verifyPin()(open, "")));
    char full[token::kLabelBytes + 1];
    memset(full, '#', sizeof full);
    full[0] = 0;
    api.readLabel()(open, full);
    EXPECT_EQ(std::string(full, token::kLabelBytes), std::string(token::kLabelBytes, 'L'));
    EXPECT_EQ(full[token::kLabelBytes], '#') << "written past the 36 bytes";

    const std::string log = readFile(trace);
    EXPECT_NE(log.find("InitCard Quillon Reader 2 224\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find("VerifyPIN Quillon Reader 2 4\r\n"), std::string::npos) << log;
    EXPECT_EQ(log.find("1234"), std::string::npos) << "the PIN itself is never logged";
}

}  // namespace
