// The system report on Windows: the version structures, the registry values under
// HKEY_LOCAL_MACHINE, the UI language, the memory status and the version resources of modules.
#include <windows.h>

#include <initializer_list>
#include <new>

#include "common/support/os_version.h"
#include "common/support/report_text.h"
#include "common/support/secure_zero.h"
#include "common/support/system_report.h"
#include "common/support/wide_chars.h"
#include "common/support/wide_format.h"

static_assert(sizeof(OSVERSIONINFOEXW) == 284, "the extended version structure");
static_assert(sizeof(OSVERSIONINFOW) == 276, "the basic version structure");

namespace {

LPWSTR w(char16_t* s) {
    return reinterpret_cast<LPWSTR>(s);
}
// Registry texts are read with room for 128 bytes; one more code unit holds the terminator the
// stored value may lack.
constexpr DWORD kRegistryTextBytes = 128;
using RegistryText = char16_t[kRegistryTextBytes / 2 + 1];

// A string value of at most 128 bytes; false when missing, not a string, or longer.
bool readRegistryText(HKEY key, const wchar_t* name, RegistryText& out) {
    DWORD type = 0;
    DWORD bytes = kRegistryTextBytes;
    out[0] = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(out), &bytes) !=
        ERROR_SUCCESS) {
        out[0] = 0;
        return false;
    }
    if (type != REG_SZ && type != REG_EXPAND_SZ) {
        out[0] = 0;
        return false;
    }
    out[bytes / 2] = 0;
    return true;
}

bool openMachineKey(const wchar_t* path, HKEY& key) {
    return RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key) == ERROR_SUCCESS;
}

bool readProductType(char16_t* out, uint32_t capacity) {
    HKEY key;
    if (!openMachineKey(L"SYSTEM\\CurrentControlSet\\Control\\ProductOptions", key)) return false;
    RegistryText value;
    const bool ok = readRegistryText(key, L"ProductType", value);
    RegCloseKey(key);
    if (!ok) return false;
    uint32_t n = 0;
    while (value[n] != 0) ++n;
    if (n >= capacity) return false;
    for (uint32_t i = 0; i <= n; ++i) out[i] = value[i];
    return true;
}

bool hasQ246009() {
    HKEY key;
    if (!openMachineKey(L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Hotfix\\Q246009", key)) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

// Copies at most `units` code units of `text`, stopping at its terminator, and terminates.
void copyText(char16_t* out, const char16_t* text, uint32_t units) {
    if (out == nullptr) return;
    if (units > kModuleInfoRoom - 1) units = kModuleInfoRoom - 1;
    uint32_t n = 0;
    while (n < units && text[n] != 0) {
        out[n] = text[n];
        ++n;
    }
    out[n] = 0;
}

// The version-resource calls, from the system directory's version.dll loaded by its full path
// for as long as one module is looked at. Imported in the ordinary way, the library would be
// found by the loader's search, which starts in the program's own folder: for the extractor a
// download folder, where anybody may have left a version.dll to run with the program.
struct VersionCalls {
    using SizeFn = DWORD(WINAPI*)(LPCWSTR, LPDWORD);
    using InfoFn = BOOL(WINAPI*)(LPCWSTR, DWORD, DWORD, LPVOID);
    using QueryFn = BOOL(WINAPI*)(LPCVOID, LPCWSTR, LPVOID*, PUINT);

    HMODULE library = nullptr;
    SizeFn size = nullptr;
    InfoFn info = nullptr;
    QueryFn query = nullptr;

    VersionCalls() {
        static const wchar_t kName[] = L"\\version.dll";
        wchar_t path[MAX_PATH] = {};
        const UINT room = MAX_PATH - sizeof kName / sizeof kName[0];
        const UINT n = GetSystemDirectoryW(path, room);
        if (n == 0 || n >= room) return;
        lstrcatW(path, kName);
        library = LoadLibraryW(path);
        if (library == nullptr) return;
        size = reinterpret_cast<SizeFn>(
            reinterpret_cast<void (*)()>(GetProcAddress(library, "GetFileVersionInfoSizeW")));
        info = reinterpret_cast<InfoFn>(
            reinterpret_cast<void (*)()>(GetProcAddress(library, "GetFileVersionInfoW")));
        query = reinterpret_cast<QueryFn>(
            reinterpret_cast<void (*)()>(GetProcAddress(library, "VerQueryValueW")));
    }
    ~VersionCalls() {
        if (library != nullptr) FreeLibrary(library);
    }
    VersionCalls(const VersionCalls&) = delete;
    VersionCalls& operator=(const VersionCalls&) = delete;

    bool ready() const { return size != nullptr && info != nullptr && query != nullptr; }
};

// The string values moduleInfo reads, in the order it reads them. The first one missing ends the
// reading: the later ones keep "Unknown".
bool readVersionStrings(const VersionCalls& calls, const void* data, WORD language, WORD codePage,
                        char16_t* const outs[4]) {
    static const char16_t* const kNames[4] = {u"ProductName", u"ProductVersion", u"FileDescription",
                                              u"LegalCopyright"};
    for (int i = 0; i < 4; ++i) {
        char16_t block[80];
        formatWide(block, 80, u"\\StringFileInfo\\%04x%04x\\%s", unsigned{language},
                   unsigned{codePage}, kNames[i]);
        void* value = nullptr;
        UINT units = 0;
        if (!calls.query(data, w(block), &value, &units) || value == nullptr) return false;
        copyText(outs[i], static_cast<const char16_t*>(value), units);
    }
    return true;
}

}  // namespace

int osClass() {
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof info;
    if (!GetVersionExW(&info)) return kOsUnrecognised;
    return osClassOf(info.dwPlatformId, info.dwMajorVersion, info.dwMinorVersion);
}

const char16_t* osDescription() {
    static char16_t result[kOsDescriptionRoom];
    result[0] = 0;
    OsVersionFields fields{};
    OSVERSIONINFOEXW ex{};
    ex.dwOSVersionInfoSize = sizeof ex;
    if (GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&ex))) {
        fields.extended = true;
        fields.suiteMask = ex.wSuiteMask;
        fields.productType = ex.wProductType;
    } else {
        // Systems before NT 4 SP6 know only the basic structure, which is its first 276 bytes.
        ex = OSVERSIONINFOEXW{};
        ex.dwOSVersionInfoSize = sizeof(OSVERSIONINFOW);
        if (!GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&ex))) return nullptr;
    }
    fields.platformId = ex.dwPlatformId;
    fields.major = ex.dwMajorVersion;
    fields.minor = ex.dwMinorVersion;
    fields.buildNumber = ex.dwBuildNumber;
    copyText(fields.servicePack, utf16(ex.szCSDVersion), 127);
    const OsRegistryQueries registry{readProductType, hasQ246009};
    return describeOs(fields, registry, result, kOsDescriptionRoom) ? result : nullptr;
}

const char16_t* uiLanguage() {
    static char16_t result[kUiLanguageRoom];
    result[0] = 0;
    const int c = osClass();
    // The 95/98 and NT 4 classes keep the language only as registry text; we report none.
    if (c == kOsWindows95 || c == kOsWindows98 || c == kOsOlder) return nullptr;
    HMODULE kernel = LoadLibraryW(L"Kernel32.dll");
    if (kernel == nullptr) return nullptr;
    using LanguageQuery = LANGID(WINAPI*)();
    const auto query = reinterpret_cast<LanguageQuery>(
        reinterpret_cast<void (*)()>(GetProcAddress(kernel, "GetSystemDefaultUILanguage")));
    const LANGID language = query != nullptr ? query() : 0;
    FreeLibrary(kernel);
    if (language == 0) return nullptr;
    VerLanguageNameW(language, w(result), kUiLanguageRoom);
    result[kUiLanguageRoom - 1] = 0;
    return result[0] != 0 ? result : nullptr;
}

const char16_t* browserVersion() {
    static char16_t result[kBrowserVersionRoom];
    result[0] = 0;
    HKEY key;
    if (!openMachineKey(L"Software\\Microsoft\\Internet Explorer\\", key)) return nullptr;
    RegistryText version;
    const bool ok = readRegistryText(key, L"Version", version);
    RegCloseKey(key);
    if (!ok || version[0] == 0) return nullptr;
    formatWide(result, kBrowserVersionRoom, u"Microsoft Internet Explorer %s", version);
    return result;
}

const char16_t* cpuDescription() {
    static char16_t result[kCpuDescriptionRoom];
    result[0] = 0;
    HKEY key;
    if (!openMachineKey(L"HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0", key)) {
        return nullptr;
    }
    RegistryText name, identifier, vendor;
    CpuFacts cpu{};
    if (readRegistryText(key, L"ProcessorNameString", name)) cpu.name = name;
    if (readRegistryText(key, L"Identifier", identifier)) cpu.identifier = identifier;
    if (readRegistryText(key, L"VendorIdentifier", vendor)) cpu.vendor = vendor;
    DWORD type = 0, mhz = 0, bytes = sizeof mhz;
    if (RegQueryValueExW(key, L"~MHz", nullptr, &type, reinterpret_cast<BYTE*>(&mhz), &bytes) ==
            ERROR_SUCCESS &&
        type == REG_DWORD && bytes == sizeof mhz) {
        cpu.hasMhz = true;
        cpu.mhz = mhz;
    }
    RegCloseKey(key);
    describeCpu(cpu, result, kCpuDescriptionRoom);
    return result;
}

const char16_t* memorySize() {
    static char16_t result[kMemorySizeRoom];
    MEMORYSTATUS status{};
    status.dwLength = sizeof status;
    GlobalMemoryStatus(&status);
    formatWide(result, kMemorySizeRoom, u"%ld MB RAM", static_cast<long>(status.dwTotalPhys >> 20));
    return result;
}

void moduleInfo(ModuleHandle module, char16_t* fileVersion, char16_t* path, char16_t* description,
                char16_t* productName, char16_t* productVersion, char16_t* legalNotice) {
    for (char16_t* out : {fileVersion, description, productName, productVersion, legalNotice}) {
        copyText(out, u"Unknown", 7);
    }
    char16_t file[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(static_cast<HMODULE>(module), w(file), MAX_PATH);
    // Older systems leave a path that fills the buffer unterminated.
    file[length < MAX_PATH ? length : MAX_PATH - 1] = 0;
    if (path != nullptr) copyText(path, file[0] != 0 ? file : u"Unknown", kModuleInfoRoom - 1);

    const VersionCalls calls;
    DWORD ignored = 0;
    const DWORD size = calls.ready() ? calls.size(w(file), &ignored) : 0;
    if (size != 0) {
        // Twice the size asked for: older systems write more than they say when they convert
        // the resource.
        const DWORD room = 2 * size;
        auto* data = new (std::nothrow) BYTE[room];
        void* translation = nullptr;
        UINT bytes = 0;
        if (data != nullptr && calls.info(w(file), 0, room, data) &&
            calls.query(data, L"\\VarFileInfo\\Translation", &translation, &bytes) &&
            translation != nullptr && bytes >= 2 * sizeof(WORD)) {
            const WORD* pair = static_cast<const WORD*>(translation);
            char16_t* const outs[4] = {productName, productVersion, description, legalNotice};
            void* fixed = nullptr;
            UINT fixedBytes = 0;
            if (readVersionStrings(calls, data, pair[0], pair[1], outs) && fileVersion != nullptr &&
                calls.query(data, L"\\", &fixed, &fixedBytes) && fixed != nullptr &&
                fixedBytes >= sizeof(VS_FIXEDFILEINFO)) {
                const auto* info = static_cast<const VS_FIXEDFILEINFO*>(fixed);
                formatFileVersion(HIWORD(info->dwFileVersionMS), LOWORD(info->dwFileVersionMS),
                                  HIWORD(info->dwFileVersionLS), LOWORD(info->dwFileVersionLS),
                                  fileVersion, kModuleInfoRoom);
            }
        }
        delete[] data;
    }
    secureZero(file, sizeof file);
}
