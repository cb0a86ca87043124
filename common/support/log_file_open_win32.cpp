// The log's open on Windows (see log_file_open.h). The file is opened as usual, which follows a
// link; then the name itself is opened without following it, for its attributes only. The name
// must carry no reparse point (symbolic link, junction, mount point), must be the file that was
// opened, and that file must have one link and be no folder.
#include <windows.h>

#include "common/support/log_file_open.h"

namespace {

bool identify(HANDLE handle, BY_HANDLE_FILE_INFORMATION& info) {
    return handle != INVALID_HANDLE_VALUE && GetFileInformationByHandle(handle, &info) != 0;
}

bool sameFile(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b) {
    return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
           a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow;
}

// The name's own attributes and identity, the name not followed. Attribute access alone never
// conflicts with the sharing of the log's own open.
bool identifyName(const char16_t* path, BY_HANDLE_FILE_INFORMATION& info) {
    const HANDLE name =
        CreateFileW(reinterpret_cast<LPCWSTR>(path), FILE_READ_ATTRIBUTES,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                    FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    const bool known = identify(name, info);
    if (name != INVALID_HANDLE_VALUE) CloseHandle(name);
    return known;
}

}  // namespace

bool openLogFile(File& file, const char16_t* path, FileOpen how) {
    if (!file.open(path, how)) return false;
    BY_HANDLE_FILE_INFORMATION opened = {}, named = {};
    const bool plain =
        identify(reinterpret_cast<HANDLE>(file.handleValue()), opened) &&
        opened.nNumberOfLinks == 1 && (opened.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
        identifyName(path, named) && (named.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0 &&
        sameFile(opened, named);
    if (!plain) file.close();
    return plain;
}
