#include <windows.h>

#include <cstring>
#include <new>

#include "common/support/destination_tree.h"
#include "common/support/native_path.h"
#include "common/support/upcase_table.h"
#include "common/support/wide_chars.h"

namespace {

// Every path here has room for the longest the system takes, and its terminator.
constexpr uint32_t kRoom = kLongPathChars + 1;

bool isSeparator(char16_t c) {
    return c == u'\\' || c == u'/';
}

uint32_t lengthOf(const char16_t* s) {
    uint32_t n = 0;
    while (s[n] != 0) ++n;
    return n;
}

// The longest path the system takes here: without the \\?\ form (the Windows 95 family) the
// old limit holds.
uint32_t longestPath() {
    return longPathsWork() ? kLongPathChars : MAX_PATH - 1;
}

// folder + "\" + name into out (which may be folder itself); false when it would not fit, since
// a cut path names another file.
bool joinInto(const char16_t* folder, uint32_t folderChars, const char16_t* name,
              uint32_t nameChars, char16_t* out, uint32_t& outChars) {
    const bool separator = folderChars > 0 && !isSeparator(folder[folderChars - 1]);
    const uint32_t total = folderChars + (separator ? 1 : 0) + nameChars;
    if (total > longestPath()) return false;
    std::memmove(out, folder, folderChars * sizeof(char16_t));
    if (separator) out[folderChars] = u'\\';
    std::memcpy(out + total - nameChars, name, nameChars * sizeof(char16_t));
    out[total] = 0;
    outChars = total;
    return true;
}

// Whether Windows takes two names for one: equal but for case, one unit at a time.
bool sameName(const char16_t* a, uint32_t aChars, const char16_t* b, uint32_t bChars) {
    if (aChars != bChars) return false;
    for (uint32_t i = 0; i < aChars; ++i) {
        if (upcaseUnit(a[i]) != upcaseUnit(b[i])) return false;
    }
    return true;
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

// Whether the entry at `path` is listed in its folder under `name` (case aside). The listing
// gives an entry's own long name whichever name reached it, so an entry reached through its
// short name ("PROGRA~1.TXT" for "Program Files.txt") is listed under another. Only names with
// a tilde are asked: every short name the system makes up has one (Windows' and Wine's alike),
// and other names are their entries' own or nothing's. (Only an administrator can set a short
// name by hand.) True also when nothing can be listed: the look that follows fails on its own.
bool listedAs(const char16_t* path, const char16_t* name, uint32_t nameChars) {
    bool tilde = false;
    for (uint32_t i = 0; i < nameChars && !tilde; ++i) tilde = name[i] == u'~';
    if (!tilde) return true;
    WIN32_FIND_DATAW found;
    const HANDLE find = FindFirstFileW(wide(path), &found);
    if (find == INVALID_HANDLE_VALUE) return true;
    FindClose(find);
    const char16_t* listed = utf16(found.cFileName);
    return sameName(listed, lengthOf(listed), name, nameChars);
}

using InfoByHandleFn = BOOL(WINAPI*)(HANDLE, int, LPVOID, DWORD);

// From Windows Vista on; found at run time, so the program still starts on older systems.
// (Looked up each time: a function-local static would bring the thread-safe initialisation
// runtime into the extractor.)
InfoByHandleFn infoByHandleFunction() {
    return reinterpret_cast<InfoByHandleFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetFileInformationByHandleEx")));
}

// The path of what a handle is open on, below its volume ("\folder\name"), into out (kRoom
// characters): the name the system keeps for the open file, so a link the system does not mark
// shows here as the file it leads to. Its length, or 0 when the system cannot tell (before
// Vista).
uint32_t pathByHandle(HANDLE handle, char16_t* out) {
    const InfoByHandleFn infoByHandle = infoByHandleFunction();
    if (infoByHandle == nullptr) return 0;
    // FILE_NAME_INFO: the name's length in bytes, then the name, unterminated; out is aligned
    // for it, being the start of an array from new.
    constexpr int kFileNameInfo = 2;
    if (!infoByHandle(handle, kFileNameInfo, out, (kRoom - 1) * sizeof(char16_t))) return 0;
    DWORD bytes = 0;
    std::memcpy(&bytes, out, sizeof bytes);
    const uint32_t chars = bytes / sizeof(char16_t);
    if (chars == 0 || chars + 2 >= kRoom) return 0;
    std::memmove(out, out + 2, chars * sizeof(char16_t));
    out[chars] = 0;
    return chars;
}

// Whether `found` is the folder `base` followed by `leaf` (case aside).
bool isBelow(const char16_t* found, uint32_t foundChars, const char16_t* base, uint32_t baseChars,
             const char16_t* leaf, uint32_t leafChars) {
    const bool separator = baseChars > 0 && !isSeparator(base[baseChars - 1]);
    const uint32_t total = baseChars + (separator ? 1 : 0) + leafChars;
    if (total != foundChars || !sameName(found, baseChars, base, baseChars)) return false;
    if (separator && !isSeparator(found[baseChars])) return false;
    return sameName(found + total - leafChars, leafChars, leaf, leafChars);
}

using CreateHardLinkFn = BOOL(WINAPI*)(LPCWSTR, LPCWSTR, LPSECURITY_ATTRIBUTES);

// Hard links exist from Windows 2000 on, and only on NTFS; found at run time, so the program
// still starts on the Windows 95 family.
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

void freePath(char16_t*& path) {
    delete[] path;
    path = nullptr;
}

}  // namespace

bool DestinationTree::open(const char16_t* destination) {
    close();
    const RedirectionOff redirection;
    const char16_t* path = destination == nullptr || destination[0] == 0 ? u"." : destination;
    rootPath_ = new (std::nothrow) char16_t[kRoom];
    currentPath_ = new (std::nothrow) char16_t[kRoom];
    currentName_ = new (std::nothrow) char16_t[kRoom];
    scratch_ = new (std::nothrow) char16_t[kRoom];
    scratch2_ = new (std::nothrow) char16_t[kRoom];
    if (rootPath_ == nullptr || currentPath_ == nullptr || currentName_ == nullptr ||
        scratch_ == nullptr || scratch2_ == nullptr) {
        close();
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    rootChars_ = nativePathOf(path, rootPath_, kRoom);
    if (rootChars_ == 0 || rootChars_ > longestPath()) {
        close();
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    const DWORD attributes = GetFileAttributesW(wide(rootPath_));
    // The destination itself may be a junction or a link: the user named it.
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        close();
        return false;
    }
    root_ = 0;
    folderChars_ = 0;
    entered_ = false;
    return enter(u"", 0, false) == TreeEnter::kEntered;
}

void DestinationTree::close() {
    root_ = -1;
    freePath(rootPath_);
    freePath(currentPath_);
    freePath(currentName_);
    freePath(scratch_);
    freePath(scratch2_);
    rootChars_ = currentChars_ = currentNameChars_ = currentVolume_ = 0;
    currentNameAsked_ = false;
    folderChars_ = 0;
    entered_ = false;
    made_ = false;
}

TreeEnter DestinationTree::enter(const char16_t* folder, uint32_t chars, bool create) {
    if (root_ < 0 || chars > kMaxFolderChars) return TreeEnter::kFailed;
    if (entered_ && chars == folderChars_ &&
        std::memcmp(folder, folder_, chars * sizeof(char16_t)) == 0) {
        return TreeEnter::kEntered;
    }
    const RedirectionOff redirection;
    entered_ = false;
    made_ = false;
    bool made = false;
    char16_t* path = scratch_;
    uint32_t pathChars = rootChars_;
    std::memcpy(path, rootPath_, (rootChars_ + 1) * sizeof(char16_t));
    uint32_t start = 0;
    for (uint32_t i = 0; i <= chars; ++i) {
        if (i < chars && !isSeparator(folder[i])) continue;
        if (i > start) {
            const char16_t* name = folder + start;
            const uint32_t nameChars = i - start;
            if (!joinInto(path, pathChars, name, nameChars, path, pathChars)) {
                SetLastError(ERROR_FILENAME_EXCED_RANGE);
                return TreeEnter::kFailed;
            }
            TreeEntry what = classify(path);
            bool madeNow = false;
            if (what == TreeEntry::kAbsent && create) {
                // Below a folder just made, everything is new too.
                madeNow = CreateDirectoryW(wide(path), nullptr) != 0;
                made = made || madeNow;
                what = classify(path);  // made by us or by someone else in between
            }
            if (what == TreeEntry::kLink) return TreeEnter::kLinkInPath;
            if (what == TreeEntry::kFile || what == TreeEntry::kOther) {
                return TreeEnter::kNotAFolder;
            }
            if (what != TreeEntry::kFolder) return TreeEnter::kFailed;
            // A folder reached through its short name is another stored folder's too. (One
            // just made has the name it was made with.)
            if (!madeNow && !listedAs(path, name, nameChars)) return TreeEnter::kAliasInPath;
        }
        start = i + 1;
    }
    std::memcpy(currentPath_, path, (pathChars + 1) * sizeof(char16_t));
    currentChars_ = pathChars;
    currentNameAsked_ = false;  // asked for at the first file that stands in it
    std::memcpy(folder_, folder, chars * sizeof(char16_t));
    folderChars_ = chars;
    entered_ = true;
    made_ = made;
    return TreeEnter::kEntered;
}

namespace {

// The current folder's path and a leaf, or a temporary's name, into out.
bool leafPath(const char16_t* folder, uint32_t folderChars, const char16_t* leaf, char16_t* out) {
    uint32_t chars = 0;
    return joinInto(folder, folderChars, leaf, lengthOf(leaf), out, chars);
}

bool temporaryPath(const char16_t* folder, uint32_t folderChars, uint32_t tag, bool old,
                   char16_t* out) {
    char16_t name[16];
    treeTemporaryName(tag, old, name);
    return leafPath(folder, folderChars, name, out);
}

}  // namespace

void DestinationTree::askCurrentName() {
    // The folder's own path and volume, to tell a file reached through a link the system does
    // not mark (Wine shows a symbolic link to a file as the file) from one that is in it.
    currentNameAsked_ = true;
    currentNameChars_ = 0;
    currentVolume_ = 0;
    const HANDLE handle = CreateFileW(wide(currentPath_), FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return;
    BY_HANDLE_FILE_INFORMATION info;
    if (GetFileInformationByHandle(handle, &info)) currentVolume_ = info.dwVolumeSerialNumber;
    currentNameChars_ = pathByHandle(handle, currentName_);
    CloseHandle(handle);
}

bool DestinationTree::setCurrentTime(uint64_t ticks) {
    if (!entered_) return false;
    const RedirectionOff redirection;
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
    const RedirectionOff redirection;
    if (!entered_ || !temporaryPath(currentPath_, currentChars_, tag, false, scratch_)) {
        return false;
    }
    // CREATE_NEW fails on anything already there, a link or junction included.
    HANDLE file = CreateFileW(wide(scratch_), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                              nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    out.adopt(reinterpret_cast<intptr_t>(file));
    return true;
}

TreeEntry DestinationTree::inspect(const char16_t* leaf, FileIdentity* identity) {
    const RedirectionOff redirection;
    char16_t* path = scratch_;
    if (!entered_ || !leafPath(currentPath_, currentChars_, leaf, path)) return TreeEntry::kError;
    const TreeEntry what = classify(path);
    if (what != TreeEntry::kFile) return what;
    const uint32_t leafChars = lengthOf(leaf);
    // A short name is another name for a file whose own name may be another file's of the
    // archive: never taken for the file.
    if (!listedAs(path, leaf, leafChars)) return TreeEntry::kAlias;
    // Opened as a replacing rename would need it: a program that holds the file open without
    // letting it be deleted makes this fail now, before anything is renamed.
    const HANDLE file =
        CreateFileW(wide(path), DELETE | FILE_READ_ATTRIBUTES,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                    FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return GetLastError() == ERROR_SHARING_VIOLATION ? TreeEntry::kInUse : TreeEntry::kError;
    }
    TreeEntry found = TreeEntry::kFile;
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(file, &info)) {
        found = TreeEntry::kError;
    } else if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        found = TreeEntry::kLink;
    } else {
        if (identity != nullptr) {
            identity->volume = info.dwVolumeSerialNumber;
            identity->index = (uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
            identity->known = true;
        }
        // The file the handle is open on must be in this folder under this name: one that is
        // elsewhere was reached through a link the system did not mark as one.
        if (!currentNameAsked_) askCurrentName();
        const uint32_t chars = currentNameChars_ > 0 ? pathByHandle(file, scratch2_) : 0;
        if (chars > 0 &&
            (info.dwVolumeSerialNumber != currentVolume_ ||
             !isBelow(scratch2_, chars, currentName_, currentNameChars_, leaf, leafChars))) {
            found = TreeEntry::kLink;
        } else if (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) {
            found = TreeEntry::kReadOnly;
        }
    }
    CloseHandle(file);
    return found;
}

bool DestinationTree::commitTemporary(uint32_t tag, const char16_t* leaf) {
    const RedirectionOff redirection;
    return entered_ && temporaryPath(currentPath_, currentChars_, tag, false, scratch_) &&
           leafPath(currentPath_, currentChars_, leaf, scratch2_) &&
           moveReplacing(scratch_, scratch2_);
}

TreePlace DestinationTree::placeTemporary(uint32_t tag, const char16_t* leaf) {
    const RedirectionOff redirection;
    if (!entered_ || !temporaryPath(currentPath_, currentChars_, tag, false, scratch_) ||
        !leafPath(currentPath_, currentChars_, leaf, scratch2_)) {
        return TreePlace::kFailed;
    }
    // MoveFile never replaces: it fails with "already exists" where anything has the name.
    if (MoveFileW(wide(scratch_), wide(scratch2_))) return TreePlace::kPlaced;
    const DWORD error = GetLastError();
    return error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS ? TreePlace::kTaken
                                                                       : TreePlace::kFailed;
}

bool DestinationTree::keepOld(const char16_t* leaf, uint32_t tag) {
    const RedirectionOff redirection;
    const CreateHardLinkFn link = createHardLink();
    return link != nullptr && entered_ && leafPath(currentPath_, currentChars_, leaf, scratch_) &&
           temporaryPath(currentPath_, currentChars_, tag, true, scratch2_) &&
           link(wide(scratch2_), wide(scratch_), nullptr) != 0;
}

bool DestinationTree::restoreOld(uint32_t tag, const char16_t* leaf) {
    const RedirectionOff redirection;
    return entered_ && temporaryPath(currentPath_, currentChars_, tag, true, scratch_) &&
           leafPath(currentPath_, currentChars_, leaf, scratch2_) &&
           moveReplacing(scratch_, scratch2_);
}

bool DestinationTree::removeTemporary(uint32_t tag) {
    const RedirectionOff redirection;
    return entered_ && temporaryPath(currentPath_, currentChars_, tag, false, scratch_) &&
           DeleteFileW(wide(scratch_)) != 0;
}

bool DestinationTree::removeOld(uint32_t tag) {
    const RedirectionOff redirection;
    return entered_ && temporaryPath(currentPath_, currentChars_, tag, true, scratch_) &&
           DeleteFileW(wide(scratch_)) != 0;
}

bool DestinationTree::removeEntry(const char16_t* leaf) {
    const RedirectionOff redirection;
    return entered_ && leafPath(currentPath_, currentChars_, leaf, scratch_) &&
           DeleteFileW(wide(scratch_)) != 0;
}
