#include <windows.h>

#include "common/support/file_io.h"

#include <new>

#include "common/support/code_page.h"
#include "common/support/native_path.h"
#include "common/support/secure_zero.h"
#include "common/support/stop_request.h"

namespace {

HANDLE h(intptr_t value) {
    return reinterpret_cast<HANDLE>(value);
}
LPCWSTR w(const char16_t* s) {
    return reinterpret_cast<LPCWSTR>(s);
}

}  // namespace

bool File::open(const char16_t* path, FileOpen how) {
    close();
    const DWORD access = how == FileOpen::kReadShared ? GENERIC_READ : GENERIC_READ | GENERIC_WRITE;
    const DWORD attributes = how == FileOpen::kReadShared ? FILE_ATTRIBUTE_NORMAL : 0;
    HANDLE file =
        CreateFileW(w(path), access, FILE_SHARE_READ, nullptr, OPEN_EXISTING, attributes, nullptr);
    handle_ = reinterpret_cast<intptr_t>(file);  // INVALID_HANDLE_VALUE is -1, i.e. kClosed
    return isOpen();
}

bool File::openAnsi(const char16_t* path, FileOpen how) {
    close();
    uint8_t ansi[260] = {};
    uint32_t units = wideLength(path);
    if (units == 0 || ansiFromWide(path, units, nullptr, 0) > sizeof ansi - 1) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    ansiFromWide(path, units, ansi, sizeof ansi - 1);
    const DWORD access = how == FileOpen::kReadShared ? GENERIC_READ : GENERIC_READ | GENERIC_WRITE;
    HANDLE file = CreateFileA(reinterpret_cast<LPCSTR>(ansi), access, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    secureZero(ansi, sizeof ansi);
    handle_ = reinterpret_cast<intptr_t>(file);
    return isOpen();
}

bool File::create(const char16_t* path, FileCreate how) {
    close();
    const DWORD share = how == FileCreate::kReadShared ? FILE_SHARE_READ : 0;
    const DWORD disposition = how == FileCreate::kNew ? CREATE_NEW : CREATE_ALWAYS;
    HANDLE file = CreateFileW(w(path), GENERIC_ALL, share, nullptr, disposition,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    handle_ = reinterpret_cast<intptr_t>(file);
    return isOpen();
}

void File::close() {
    if (sizeObject_ != 0) CloseHandle(h(sizeObject_));
    sizeObject_ = 0;
    if (isOpen()) CloseHandle(h(handle_));
    handle_ = kClosed;
}

namespace {

// A job asked to stop (stop_request.h) reads, writes and moves nothing more.
bool refusedForStop() {
    if (stopRequest() == 0) return false;
    SetLastError(ERROR_OPERATION_ABORTED);
    return true;
}

}  // namespace

int64_t File::read(void* buffer, uint32_t bytes) {
    if (refusedForStop()) return -1;
    DWORD done = 0;
    if (!ReadFile(h(handle_), buffer, bytes, &done, nullptr)) return -1;
    return done;
}

int64_t File::write(const void* buffer, uint32_t bytes) {
    if (refusedForStop()) return -1;
    DWORD done = 0;
    if (!WriteFile(h(handle_), buffer, bytes, &done, nullptr)) return -1;
    return done;
}

int64_t File::size() {
    DWORD high = 0;
    const DWORD low = GetFileSize(h(handle_), &high);
    if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return -1;
    return static_cast<int64_t>((uint64_t{high} << 32) | low);
}

bool File::seek(uint64_t offset) {
    LONG high = static_cast<LONG>(offset >> 32);
    const DWORD low =
        SetFilePointer(h(handle_), static_cast<LONG>(offset & 0xFFFFFFFFu), &high, FILE_BEGIN);
    return !(low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR);
}

bool File::seekEnd() {
    LONG high = 0;
    const DWORD low = SetFilePointer(h(handle_), 0, &high, FILE_END);
    return !(low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR);
}

bool File::reserve(uint64_t bytes) {
    // A file-mapping object with the final size as its maximum grows the file to that size; it
    // is never mapped, only kept until the file is closed. An empty file needs none.
    if (bytes == 0) return true;
    HANDLE mapping =
        CreateFileMappingW(h(handle_), nullptr, PAGE_READWRITE, static_cast<DWORD>(bytes >> 32),
                           static_cast<DWORD>(bytes & 0xFFFFFFFFu), nullptr);
    if (mapping == nullptr) return false;
    if (sizeObject_ != 0) CloseHandle(h(sizeObject_));
    sizeObject_ = reinterpret_cast<intptr_t>(mapping);
    return true;
}

bool File::identity(FileIdentity& out) {
    BY_HANDLE_FILE_INFORMATION info;
    out = FileIdentity{};
    if (!GetFileInformationByHandle(h(handle_), &info)) return false;
    out.volume = info.dwVolumeSerialNumber;
    out.index = (uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
    out.known = true;
    return true;
}

bool File::modifiedTime(uint64_t& ticks) {
    FILETIME written;
    ticks = 0;
    if (!GetFileTime(h(handle_), nullptr, nullptr, &written)) return false;
    ticks = (uint64_t{written.dwHighDateTime} << 32) | written.dwLowDateTime;
    return ticks != 0;
}

bool File::setModifiedTime(uint64_t ticks) {
    FILETIME written;
    written.dwLowDateTime = static_cast<DWORD>(ticks);
    written.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    return SetFileTime(h(handle_), nullptr, nullptr, &written) != 0;
}

bool pathModifiedTime(const char16_t* path, uint64_t& ticks) {
    // Opened rather than asked by name, since every Windows has GetFileTime; a folder opens
    // only with backup semantics.
    ticks = 0;
    const HANDLE opened = CreateFileW(w(path), FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (opened == INVALID_HANDLE_VALUE) return false;
    FILETIME written;
    if (GetFileTime(opened, nullptr, nullptr, &written)) {
        ticks = (uint64_t{written.dwHighDateTime} << 32) | written.dwLowDateTime;
    }
    CloseHandle(opened);
    return ticks != 0;
}

bool deleteFile(const char16_t* path) {
    return DeleteFileW(w(path)) != 0;
}

bool replaceFile(const char16_t* from, const char16_t* to) {
    if (refusedForStop()) return false;
    if (MoveFileExW(w(from), w(to), MOVEFILE_REPLACE_EXISTING)) return true;
    // The Windows 95 family has no MoveFileEx: make room, then move.
    if (GetLastError() != ERROR_CALL_NOT_IMPLEMENTED) return false;
    DeleteFileW(w(to));
    return MoveFileW(w(from), w(to)) != 0;
}

bool createFolder(const char16_t* path) {
    // Folders are made where the user named them, however long the path, in the system folder
    // too (native_path.h).
    const RedirectionOff redirection;
    char16_t* full = new (std::nothrow) char16_t[kLongPathChars + 1];
    if (full == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    const bool made =
        nativePathOf(path, full, kLongPathChars + 1) > 0 && CreateDirectoryW(w(full), nullptr) != 0;
    delete[] full;
    return made;
}

uint32_t lastSystemError() {
    return GetLastError();
}

void setLastSystemError(uint32_t error) {
    SetLastError(error);
}
