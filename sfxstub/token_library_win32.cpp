// Writing, binding and removing the token library. Every path is formed once, checked to fit,
// and kept in the TokenLibraryFile, so the file loaded and the file deleted are always the one
// written; nothing is ever loaded by bare name. A written copy is held against writing and
// deletion from just after it is written until it is loaded, and checked byte for byte first.
#include "sfxstub/token_library.h"

#include <utility>

#include "common/support/log.h"
#include "common/support/wide_chars.h"

namespace {

constexpr char kTag[] = "token";
constexpr wchar_t kLibraryName[] = L"hwtok32.dll";
// The directory buffers: 259 characters including the terminator.
constexpr UINT kDirectoryChars = 259;

TokenApi g_api;

// "<dir>\hwtok32.dll" into `path` (MAX_PATH characters); false when the directory is unknown or
// the joined path would not fit, for a cut path could name some other file.
bool joinPath(const wchar_t* dir, UINT dirLength, wchar_t (&path)[MAX_PATH]) {
    path[0] = 0;
    if (dirLength == 0 || dirLength >= kDirectoryChars) return false;
    const bool endsInSeparator = dir[dirLength - 1] == L'\\';
    const UINT nameLength = sizeof kLibraryName / sizeof kLibraryName[0] - 1;
    const UINT total = dirLength + (endsInSeparator ? 0 : 1) + nameLength;
    if (total >= MAX_PATH) return false;
    UINT n = 0;
    for (UINT i = 0; i < dirLength; ++i) path[n++] = dir[i];
    if (!endsInSeparator) path[n++] = L'\\';
    for (UINT i = 0; i < nameLength; ++i) path[n++] = kLibraryName[i];
    path[n] = 0;
    return true;
}

bool currentDirectoryPath(wchar_t (&path)[MAX_PATH]) {
    wchar_t dir[kDirectoryChars] = {};
    return joinPath(dir, GetCurrentDirectoryW(kDirectoryChars, dir), path);
}

bool systemDirectoryPath(wchar_t (&path)[MAX_PATH]) {
    wchar_t dir[kDirectoryChars] = {};
    return joinPath(dir, GetSystemDirectoryW(dir, kDirectoryChars), path);
}

struct Image {
    const void* bytes = nullptr;
    DWORD size = 0;
};

Image findImage(HMODULE module) {
    Image image;
    const HRSRC found = FindResourceW(module, L"HWTOKEN", RT_RCDATA);
    if (found == nullptr) return image;
    const DWORD size = SizeofResource(module, found);
    const HGLOBAL loaded = LoadResource(module, found);
    const void* bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (size == 0 || bytes == nullptr) return image;
    image.bytes = bytes;
    image.size = size;
    return image;
}

HANDLE openLibraryFile(const wchar_t* path, DWORD disposition) {
    return CreateFileW(path, FILE_ALL_ACCESS, FILE_SHARE_READ, nullptr, disposition,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Opens the file for reading with others allowed to read only, so that no one can write,
// delete or rename it while the handle is open. The loader's own open (read, sharing read and
// delete) still succeeds alongside it.
HeldFile holdFile(const wchar_t* path) {
    HeldFile hold;
    hold.handle = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    return hold;
}

// Creates (or replaces) the file, writes the whole image and takes the hold on it. A file that
// could be created but not written in full is deleted again, so no broken library is left behind
// or loaded. The writing handle must be closed before the hold is taken (the hold denies others
// write access, which an open writer already has); a file swapped in between is caught by the
// byte comparison before loading, and one kept open for writing by someone else makes the hold,
// and so the placement, fail.
bool writeImage(const wchar_t* path, const Image& image, HeldFile& hold) {
    const HANDLE file = openLibraryFile(path, CREATE_ALWAYS);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool whole =
        WriteFile(file, image.bytes, image.size, &written, nullptr) && written == image.size;
    CloseHandle(file);
    if (!whole) {
        DeleteFileW(path);
        logLine(1, kTag, u"could not write %s", utf16(path));
        return false;
    }
    hold = holdFile(path);
    if (!hold.held()) {
        logLine(1, kTag, u"could not hold %s (error %u)", utf16(path),
                static_cast<unsigned>(GetLastError()));
    }
    return hold.held();
}

bool existsWithFullAccess(const wchar_t* path) {
    const HANDLE file = openLibraryFile(path, OPEN_EXISTING);
    if (file == INVALID_HANDLE_VALUE) return false;
    CloseHandle(file);
    return true;
}

// Whether two library paths lie in one folder: the same text, or (for another spelling of it,
// such as a short name) the same folder on the same volume.
bool sameFolder(const wchar_t (&a)[MAX_PATH], const wchar_t (&b)[MAX_PATH]) {
    if (lstrcmpiW(a, b) == 0) return true;
    BY_HANDLE_FILE_INFORMATION info[2] = {};
    const wchar_t* paths[2] = {a, b};
    for (int i = 0; i < 2; ++i) {
        wchar_t folder[MAX_PATH] = {};
        lstrcpynW(folder, paths[i], MAX_PATH);
        wchar_t* name = folder;
        for (wchar_t* p = folder; *p != 0; ++p) {
            if (*p == L'\\') name = p + 1;
        }
        *name = 0;  // the folder with its separator: "C:\" stays a root
        const HANDLE dir =
            CreateFileW(folder, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (dir == INVALID_HANDLE_VALUE) return false;
        const bool known = GetFileInformationByHandle(dir, &info[i]) != 0;
        CloseHandle(dir);
        if (!known) return false;
    }
    return info[0].dwVolumeSerialNumber == info[1].dwVolumeSerialNumber &&
           info[0].nFileIndexHigh == info[1].nFileIndexHigh &&
           info[0].nFileIndexLow == info[1].nFileIndexLow;
}

TokenLibraryFile placed(LibraryPlacement placement, const wchar_t (&path)[MAX_PATH],
                        const Image& written = {}, HeldFile hold = {}) {
    TokenLibraryFile file;
    file.placement = placement;
    for (int i = 0; i < MAX_PATH; ++i) file.path[i] = path[i];
    file.image = written.bytes;
    file.imageSize = written.size;
    file.hold = std::move(hold);
    return file;
}

// Whether the open `file` holds exactly `size` bytes equal to `image`, read from its start.
bool sameBytes(HANDLE file, const void* image, uint32_t size) {
    if (image == nullptr || SetFilePointer(file, 0, nullptr, FILE_BEGIN) != 0) return false;
    const auto* expected = static_cast<const uint8_t*>(image);
    DWORD high = 0;
    bool same = GetFileSize(file, &high) == size && high == 0;
    uint8_t chunk[4096];
    for (uint32_t at = 0; same && at < size;) {
        const DWORD want = size - at < sizeof chunk ? size - at : sizeof chunk;
        DWORD got = 0;
        same = ReadFile(file, chunk, want, &got, nullptr) && got == want;
        for (DWORD i = 0; same && i < got; ++i) same = chunk[i] == expected[at + i];
        at += got;
    }
    return same;
}

// Whether the file at `path` holds exactly `size` bytes equal to `image`.
bool holdsImage(const wchar_t* path, const void* image, uint32_t size) {
    const HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    const bool same = sameBytes(file, image, size);
    CloseHandle(file);
    return same;
}

bool written(const TokenLibraryFile& file) {
    return file.placement == LibraryPlacement::kCurrentDirectory ||
           file.placement == LibraryPlacement::kSystemDirectory;
}

void forgetEntries() {
    g_api = TokenApi{};
}

}  // namespace

TokenApi& tokenApi() {
    return g_api;
}

// With nothing written the path still names the system directory's copy: an installed library
// that this user may not open with full access is loaded from there, by its full path.
//
// A current directory that is the system directory (where a program run as administrator often
// starts) is treated as the system directory: writing there as into any current directory would
// replace an installed library and delete it at exit.
TokenLibraryFile writeTokenLibrary(HMODULE ownModule) {
    wchar_t path[MAX_PATH] = {};
    const Image image = findImage(ownModule);
    if (image.bytes == nullptr) {
        systemDirectoryPath(path);
        return placed(LibraryPlacement::kNone, path);
    }
    wchar_t systemPath[MAX_PATH] = {};
    const bool haveSystem = systemDirectoryPath(systemPath);
    HeldFile hold;
    if (currentDirectoryPath(path) && !(haveSystem && sameFolder(path, systemPath)) &&
        writeImage(path, image, hold)) {
        return placed(LibraryPlacement::kCurrentDirectory, path, image, std::move(hold));
    }
    if (!systemDirectoryPath(path)) return placed(LibraryPlacement::kNone, path);
    if (existsWithFullAccess(path)) return placed(LibraryPlacement::kPreinstalled, path);
    if (writeImage(path, image, hold)) {
        return placed(LibraryPlacement::kSystemDirectory, path, image, std::move(hold));
    }
    return placed(LibraryPlacement::kNone, path);
}

bool bindTokenLibrary(TokenLibraryFile& file, HMODULE* module) {
    forgetEntries();
    if (module == nullptr) return false;
    *module = nullptr;
    if (file.path[0] == 0) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return false;
    }
    // Our own copy is loaded only as written: still held (so unchanged since the comparison)
    // and byte for byte the resource. Anything else may be another user's library.
    if (written(file) &&
        !(file.hold.held() && sameBytes(file.hold.handle, file.image, file.imageSize))) {
        logLine(1, kTag, u"%s is not the copy written: not loaded", utf16(file.path));
        file.hold.release();
        SetLastError(ERROR_FILE_INVALID);
        return false;
    }
    // A damaged file must not bring up the system's error box before the program's own window.
    const UINT oldMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    const HMODULE library = LoadLibraryExW(file.path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    const DWORD loadError = GetLastError();
    SetErrorMode(oldMode);
    // The loader has mapped the file now (which keeps it from being written): the hold can go.
    file.hold.release();
    SetLastError(loadError);
    if (library == nullptr) return false;
    TokenApi api;
    for (int i = 0; i < 35; ++i) {
        api.entries[i] = reinterpret_cast<void*>(GetProcAddress(library, token::kEntryNames[i]));
        if (api.entries[i] != nullptr) continue;
        const DWORD error = GetLastError();
        FreeLibrary(library);
        SetLastError(error);
        return false;
    }
    g_api = api;
    *module = library;
    return true;
}

void removeTokenLibrary(TokenLibraryFile& file) {
    // The hold shares no deletion, not even with this process.
    file.hold.release();
    if (!written(file)) return;
    if (!holdsImage(file.path, file.image, file.imageSize)) {
        logLine(1, kTag, u"%s is no longer ours: left in place", utf16(file.path));
        return;
    }
    DeleteFileW(file.path);
}
