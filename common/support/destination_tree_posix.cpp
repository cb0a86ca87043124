#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "common/support/destination_tree.h"
#include "common/support/file_time.h"
#include "common/support/utf8.h"

namespace {

bool isSeparator(char16_t c) {
    return c == u'\\' || c == u'/';
}

std::string narrow(const char16_t* s, uint32_t chars) {
    return utf8FromWide(std::u16string(s, chars));
}

std::string leafName(const char16_t* leaf) {
    return utf8FromWide(leaf);
}

std::string temporaryName(uint32_t tag, bool old) {
    char16_t name[16];
    treeTemporaryName(tag, old, name);
    return utf8FromWide(name);
}

// Opens one folder below `at` without following a link, making it first when asked.
// `made` is set when this call made it.
TreeEnter openStep(int at, const std::string& name, bool create, int& out, bool& made) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        const int f = openat(at, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (f >= 0) {
            out = f;
            return TreeEnter::kEntered;
        }
        if (errno == ELOOP) return TreeEnter::kLinkInPath;
        if (errno == ENOTDIR) {
            struct stat st;
            if (fstatat(at, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode)) {
                return TreeEnter::kLinkInPath;
            }
            return TreeEnter::kNotAFolder;
        }
        if (errno != ENOENT || !create) return TreeEnter::kFailed;
        // Made by someone else in between is as good as made by us; the open checks it.
        if (mkdirat(at, name.c_str(), 0755) == 0) {
            made = true;
        } else if (errno != EEXIST) {
            return TreeEnter::kFailed;
        }
    }
    return TreeEnter::kFailed;
}

}  // namespace

bool DestinationTree::open(const char16_t* destination) {
    close();
    const std::string path = destination == nullptr || destination[0] == 0
                                 ? std::string(".")
                                 : utf8FromWide(destination);
    std::string native = path;
    for (char& c : native) {
        if (c == '\\') c = '/';
    }
    // The destination itself may be reached through links: the user named it.
    const int f = ::open(native.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (f < 0) return false;
    root_ = f;
    current_ = f;
    folderChars_ = 0;
    entered_ = true;
    return true;
}

void DestinationTree::close() {
    if (current_ >= 0 && current_ != root_) ::close(static_cast<int>(current_));
    if (root_ >= 0) ::close(static_cast<int>(root_));
    root_ = current_ = -1;
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
    if (current_ != root_ && current_ >= 0) ::close(static_cast<int>(current_));
    current_ = root_;
    entered_ = false;
    made_ = false;
    bool made = false;
    int at = static_cast<int>(root_);
    uint32_t start = 0;
    for (uint32_t i = 0; i <= chars; ++i) {
        if (i < chars && !isSeparator(folder[i])) continue;
        if (i > start) {
            int next = -1;
            bool madeStep = false;
            const TreeEnter step =
                openStep(at, narrow(folder + start, i - start), create, next, madeStep);
            made = made || madeStep;  // below a folder just made, everything is new too
            if (at != root_) ::close(at);
            if (step != TreeEnter::kEntered) {
                current_ = -1;
                return step;
            }
            at = next;
        }
        start = i + 1;
    }
    current_ = at;
    std::memcpy(folder_, folder, chars * sizeof(char16_t));
    folderChars_ = chars;
    entered_ = true;
    made_ = made;
    return TreeEnter::kEntered;
}

bool DestinationTree::setCurrentTime(uint64_t ticks) {
    if (current_ < 0) return false;
    int64_t seconds = 0, nanoseconds = 0;
    unixFromTicks(ticks, seconds, nanoseconds);
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = static_cast<time_t>(seconds);
    times[1].tv_nsec = static_cast<long>(nanoseconds);
    // The descriptor is the folder itself, reached without a link.
    return futimens(static_cast<int>(current_), times) == 0;
}

bool DestinationTree::createTemporary(uint32_t tag, File& out) {
    if (current_ < 0) return false;
    const int f = openat(static_cast<int>(current_), temporaryName(tag, false).c_str(),
                         O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (f < 0) return false;
    out.adopt(f);
    return true;
}

TreeEntry DestinationTree::inspect(const char16_t* leaf, FileIdentity* identity) {
    if (current_ < 0) return TreeEntry::kError;
    struct stat st;
    if (fstatat(static_cast<int>(current_), leafName(leaf).c_str(), &st, AT_SYMLINK_NOFOLLOW) !=
        0) {
        return errno == ENOENT ? TreeEntry::kAbsent : TreeEntry::kError;
    }
    if (identity != nullptr) {
        identity->volume = static_cast<uint64_t>(st.st_dev);
        identity->index = static_cast<uint64_t>(st.st_ino);
        identity->known = true;
    }
    if (S_ISLNK(st.st_mode)) return TreeEntry::kLink;
    if (S_ISDIR(st.st_mode)) return TreeEntry::kFolder;
    return S_ISREG(st.st_mode) ? TreeEntry::kFile : TreeEntry::kOther;
}

bool DestinationTree::commitTemporary(uint32_t tag, const char16_t* leaf) {
    const int f = static_cast<int>(current_);
    // rename replaces the entry itself, a link included, and never writes through one.
    return f >= 0 && renameat(f, temporaryName(tag, false).c_str(), f, leafName(leaf).c_str()) == 0;
}

TreePlace DestinationTree::placeTemporary(uint32_t tag, const char16_t* leaf) {
    const int f = static_cast<int>(current_);
    if (f < 0) return TreePlace::kFailed;
    const std::string from = temporaryName(tag, false), to = leafName(leaf);
    if (renameat2(f, from.c_str(), f, to.c_str(), RENAME_NOREPLACE) == 0) return TreePlace::kPlaced;
    if (errno == EEXIST) return TreePlace::kTaken;
    if (errno != EINVAL && errno != ENOSYS) return TreePlace::kFailed;
    // A file system that cannot refuse to replace: look, then rename.
    const TreeEntry there = inspect(leaf, nullptr);
    if (there == TreeEntry::kError) return TreePlace::kFailed;
    if (there != TreeEntry::kAbsent) return TreePlace::kTaken;
    return commitTemporary(tag, leaf) ? TreePlace::kPlaced : TreePlace::kFailed;
}

bool DestinationTree::keepOld(const char16_t* leaf, uint32_t tag) {
    const int f = static_cast<int>(current_);
    return f >= 0 && linkat(f, leafName(leaf).c_str(), f, temporaryName(tag, true).c_str(), 0) == 0;
}

bool DestinationTree::restoreOld(uint32_t tag, const char16_t* leaf) {
    const int f = static_cast<int>(current_);
    return f >= 0 && renameat(f, temporaryName(tag, true).c_str(), f, leafName(leaf).c_str()) == 0;
}

bool DestinationTree::removeTemporary(uint32_t tag) {
    return current_ >= 0 &&
           unlinkat(static_cast<int>(current_), temporaryName(tag, false).c_str(), 0) == 0;
}

bool DestinationTree::removeOld(uint32_t tag) {
    return current_ >= 0 &&
           unlinkat(static_cast<int>(current_), temporaryName(tag, true).c_str(), 0) == 0;
}

bool DestinationTree::removeEntry(const char16_t* leaf) {
    return current_ >= 0 && unlinkat(static_cast<int>(current_), leafName(leaf).c_str(), 0) == 0;
}
