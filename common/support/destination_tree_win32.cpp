#include <windows.h>

#include <cstring>

#include "common/support/destination_tree.h"
#include "common/support/wide_chars.h"

namespace {

constexpr uint32_t kMax = DestinationTree::kMaxFolderChars;

bool isSeparator(char16_t c) {
    return c == u'\\' || c == u'/';
}

uint32_t lengthOf(const char16_t* s) {
    uint32_t n = 0;
    while (s[n] != 0) ++n;
    return n;
}

// folder + "\" + name into out (kMax + 1 characters); false when it would not fit, since a cut
// path names another file.
bool joinInto(const char16_t* folder, const char16_t* name, uint32_t nameChars, char16_t* out) {
    const uint32_t base = lengthOf(folder);
    const bool separator = base > 0 && !isSeparator(folder[base - 1]);
    const uint32_t total = base + (separator ? 1 : 0) + nameChars;
    if (total > kMax) return false;
    std::memmove(out, folder, base * sizeof(char16_t));
    if (separator) out[base] = u'\\';
    std::memcpy(out + total - nameChars, name, nameChars * sizeof(char16_t));
    out[total] = 0;
    return true;
}

bool pathOf(const char16_t* folder, const char16_t* leaf, char16_t* out) {
    return joinInto(folder, leaf, lengthOf(leaf), out);
}

bool temporaryPath(const char16_t* folder, uint32_t tag, bool old, char16_t* out) {
    char16_t name[16];
    treeTemporaryName(tag, old, name);
    return pathOf(folder, name, out);
}

// What a path is, without following a reparse point.
TreeEntry classify(const char16_t* path) {
    const DWORD attributes = GetFileAttributesW(wide(path));
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? TreeEntry::kAbsent
                                                                              : TreeEntry::kError;
    }
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return TreeEntry::kLink;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return TreeEntry::kFolder;
    return attributes & FILE_ATTRIBUTE_DEVICE ? TreeEntry::kOther : TreeEntry::kFile;
}

using CreateHardLinkFn = BOOL(WINAPI*)(LPCWSTR, LPCWSTR, LPSECURITY_ATTRIBUTES);

// Hard links exist from Windows 2000 on, and only on NTFS; found at run time, so the program
// still starts on the Windows 95 family. (Looked up each time: a function-local static would
// bring the thread-safe initialisation runtime into the extractor.)
CreateHardLinkFn createHardLink() {
    return reinterpret_cast<CreateHardLinkFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "CreateHardLinkW")));
}

bool moveReplacing(const char16_t* from, const char16_t* to) {
    if (MoveFileExW(wide(from), wide(to), MOVEFILE_REPLACE_EXISTING)) return true;
    // The Windows 95 family has no MoveFileEx: make room, then move.
    if (GetLastError() != ERROR_CALL_NOT_IMPLEMENTED) return false;
    DeleteFileW(wide(to));
    return MoveFileW(wide(from), wide(to)) != 0;
}

}  // namespace

bool DestinationTree::open(const char16_t* destination) {
    close();
    const char16_t* path = destination == nullptr || destination[0] == 0 ? u"." : destination;
    const uint32_t chars = lengthOf(path);
    if (chars > kMax) return false;
    const DWORD attributes = GetFileAttributesW(wide(path));
    // The destination itself may be a junction or a link: the user named it.
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        return false;
    }
    std::memcpy(rootPath_, path, (chars + 1) * sizeof(char16_t));
    std::memcpy(currentPath_, path, (chars + 1) * sizeof(char16_t));
    root_ = 0;
    folderChars_ = 0;
    entered_ = true;
    return true;
}

void DestinationTree::close() {
    root_ = -1;
    rootPath_[0] = currentPath_[0] = 0;
    folderChars_ = 0;
    entered_ = false;
    made_ = false;
}

TreeEnter DestinationTree::enter(const char16_t* folder, uint32_t chars, bool create) {
    if (root_ < 0 || chars > kMax) return TreeEnter::kFailed;
    if (entered_ && chars == folderChars_ &&
        std::memcmp(folder, folder_, chars * sizeof(char16_t)) == 0) {
        return TreeEnter::kEntered;
    }
    entered_ = false;
    made_ = false;
    bool made = false;
    char16_t path[kMax + 1];
    std::memcpy(path, rootPath_, (lengthOf(rootPath_) + 1) * sizeof(char16_t));
    uint32_t start = 0;
    for (uint32_t i = 0; i <= chars; ++i) {
        if (i < chars && !isSeparator(folder[i])) continue;
        if (i > start) {
            if (!joinInto(path, folder + start, i - start, path)) return TreeEnter::kFailed;
            TreeEntry what = classify(path);
            if (what == TreeEntry::kAbsent && create) {
                // Below a folder just made, everything is new too.
                if (CreateDirectoryW(wide(path), nullptr)) made = true;
                what = classify(path);  // made by us or by someone else in between
            }
            if (what == TreeEntry::kLink) return TreeEnter::kLinkInPath;
            if (what == TreeEntry::kFile || what == TreeEntry::kOther) {
                return TreeEnter::kNotAFolder;
            }
            if (what != TreeEntry::kFolder) return TreeEnter::kFailed;
        }
        start = i + 1;
    }
    std::memcpy(currentPath_, path, sizeof path);
    std::memcpy(folder_, folder, chars * sizeof(char16_t));
    folderChars_ = chars;
    entered_ = true;
    made_ = made;
    return TreeEnter::kEntered;
}

bool DestinationTree::setCurrentTime(uint64_t ticks) {
    if (!entered_) return false;
    // The folder itself, not what a reparse point there would lead to.
    const HANDLE folder =
        CreateFileW(wide(currentPath_), FILE_WRITE_ATTRIBUTES,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (folder == INVALID_HANDLE_VALUE) return false;
    FILETIME written;
    written.dwLowDateTime = static_cast<DWORD>(ticks);
    written.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    const bool set = SetFileTime(folder, nullptr, nullptr, &written) != 0;
    CloseHandle(folder);
    return set;
}

bool DestinationTree::createTemporary(uint32_t tag, File& out) {
    char16_t path[kMax + 1];
    if (!entered_ || !temporaryPath(currentPath_, tag, false, path)) return false;
    // CREATE_NEW fails on anything already there, a link or junction included.
    HANDLE file = CreateFileW(wide(path), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                              CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    out.adopt(reinterpret_cast<intptr_t>(file));
    return true;
}

TreeEntry DestinationTree::inspect(const char16_t* leaf, FileIdentity* identity) {
    char16_t path[kMax + 1];
    if (!entered_ || !pathOf(currentPath_, leaf, path)) return TreeEntry::kError;
    const TreeEntry what = classify(path);
    if (what == TreeEntry::kFile && identity != nullptr) {
        *identity = FileIdentity{};
        HANDLE file = CreateFileW(wide(path), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            BY_HANDLE_FILE_INFORMATION info;
            if (GetFileInformationByHandle(file, &info)) {
                identity->volume = info.dwVolumeSerialNumber;
                identity->index = (uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
                identity->known = true;
            }
            CloseHandle(file);
        }
    }
    return what;
}

bool DestinationTree::commitTemporary(uint32_t tag, const char16_t* leaf) {
    char16_t from[kMax + 1], to[kMax + 1];
    return entered_ && temporaryPath(currentPath_, tag, false, from) &&
           pathOf(currentPath_, leaf, to) && moveReplacing(from, to);
}

TreePlace DestinationTree::placeTemporary(uint32_t tag, const char16_t* leaf) {
    char16_t from[kMax + 1], to[kMax + 1];
    if (!entered_ || !temporaryPath(currentPath_, tag, false, from) ||
        !pathOf(currentPath_, leaf, to)) {
        return TreePlace::kFailed;
    }
    // MoveFile never replaces: it fails with "already exists" where anything has the name.
    if (MoveFileW(wide(from), wide(to))) return TreePlace::kPlaced;
    const DWORD error = GetLastError();
    return error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS ? TreePlace::kTaken
                                                                       : TreePlace::kFailed;
}

bool DestinationTree::keepOld(const char16_t* leaf, uint32_t tag) {
    char16_t target[kMax + 1], old[kMax + 1];
    const CreateHardLinkFn link = createHardLink();
    return link != nullptr && entered_ && pathOf(currentPath_, leaf, target) &&
           temporaryPath(currentPath_, tag, true, old) &&
           link(wide(old), wide(target), nullptr) != 0;
}

bool DestinationTree::restoreOld(uint32_t tag, const char16_t* leaf) {
    char16_t old[kMax + 1], target[kMax + 1];
    return entered_ && temporaryPath(currentPath_, tag, true, old) &&
           pathOf(currentPath_, leaf, target) && moveReplacing(old, target);
}

bool DestinationTree::removeTemporary(uint32_t tag) {
    char16_t path[kMax + 1];
    return entered_ && temporaryPath(currentPath_, tag, false, path) &&
           DeleteFileW(wide(path)) != 0;
}

bool DestinationTree::removeOld(uint32_t tag) {
    char16_t path[kMax + 1];
    return entered_ && temporaryPath(currentPath_, tag, true, path) && DeleteFileW(wide(path)) != 0;
}

bool DestinationTree::removeEntry(const char16_t* leaf) {
    char16_t path[kMax + 1];
    return entered_ && pathOf(currentPath_, leaf, path) && DeleteFileW(wide(path)) != 0;
}
