// The folder an archive is extracted into, and the folders and files below it, reached without
// ever passing through a link. The destination the user names may itself be reached through
// symbolic links or junctions (that is the user's choice); below it, every folder a stored name
// passes through must be a real folder, made by us or already there, never a symbolic link,
// junction or other reparse point, whether it existed before the run or appeared during it.
//
// On POSIX the tree is walked with openat and mkdirat from a handle on the destination, and
// every open refuses to follow a link (O_NOFOLLOW), so there is no window in which a swapped
// component is followed. On Windows every existing component's attributes are checked for a
// reparse point before it is used; a component swapped for a junction between that check and
// the file's creation is the race that remains there. Windows also reaches a file through
// names that are not its own: the short (8.3) name it made up for a long one, and, under Wine,
// a symbolic link it does not mark as one. Every folder and file that stands is therefore also
// asked for its own name, and one reached through another name is refused like a link. Paths
// are handed to the system whole and absolute in the \\?\ form, so they may be as long as the
// file system allows, and a 32-bit program's file calls are not sent to another folder than
// the one named (native_path.h).
//
// Files are never written in place: each is written to a temporary in its target's folder,
// named ~qsXXXXXXXX.tmp (eight hexadecimal digits), created exclusively, and renamed over its
// target only when the whole archive has been read. A target that existed is first kept under
// ~qsXXXXXXXX.old (a second name of the same file, where the file system has hard links) so the
// commit can be undone if a later rename fails.
#pragma once

#include <cstdint>

#include "common/support/file_io.h"

// What stands at a name. kAlias: a file reached through a name that is not its own (a short
// name, or on Windows a link the system does not mark as one). kReadOnly: a file the user marked
// read-only (Windows). kInUse: a file a program holds open without letting it be replaced, which
// the system's last error tells (Windows).
enum class TreeEntry { kAbsent, kFile, kFolder, kLink, kOther, kAlias, kReadOnly, kInUse, kError };

// kAliasInPath: a folder on the way is reached through a name that is not its own (a short name).
enum class TreeEnter { kEntered, kLinkInPath, kNotAFolder, kAliasInPath, kFailed };

// What became of a temporary put in place only where nothing stands: placed, or left as it
// was because something (a file, a link, anything) has the target's name, or a failure.
enum class TreePlace { kPlaced, kTaken, kFailed };

class DestinationTree {
  public:
    static constexpr uint32_t kMaxFolderChars = 259;

    DestinationTree() = default;
    ~DestinationTree() { close(); }
    DestinationTree(const DestinationTree&) = delete;
    DestinationTree& operator=(const DestinationTree&) = delete;

    // Opens the destination folder, which must exist; an empty path is the current folder.
    bool open(const char16_t* destination);
    void close();

    // Makes `folder` (`chars` characters of components separated by backslashes or slashes;
    // none for the destination itself) the current folder, creating the missing ones when
    // `create` is set.
    TreeEnter enter(const char16_t* folder, uint32_t chars, bool create);
    // The current folder was made by the enter() that entered it, so nothing was in it then:
    // what is in it now, this tree put there (or someone who raced it).
    bool madeCurrent() const { return made_; }
    // Gives the current folder the modification time `ticks` (file_time.h), without following
    // a link; false when the system will not.
    bool setCurrentTime(uint64_t ticks);

    // In the current folder. `tag` picks the temporary's name.
    bool createTemporary(uint32_t tag, File& out);
    TreeEntry inspect(const char16_t* leaf, FileIdentity* identity);
    bool commitTemporary(uint32_t tag, const char16_t* leaf);  // renames it over the target
    // Renames it to the target in one step, only if no entry has the target's name: nothing
    // that appeared since the target was last looked at is replaced unseen.
    TreePlace placeTemporary(uint32_t tag, const char16_t* leaf);
    bool keepOld(const char16_t* leaf, uint32_t tag);  // a second name for the target
    bool restoreOld(uint32_t tag, const char16_t* leaf);
    bool removeTemporary(uint32_t tag);
    bool removeOld(uint32_t tag);
    bool removeEntry(const char16_t* leaf);

  private:
    intptr_t root_ = -1;     // POSIX: the destination's descriptor
    intptr_t current_ = -1;  // POSIX: the current folder's descriptor (may be root_)
    // The current folder below the destination, to skip walking again for the next file.
    char16_t folder_[kMaxFolderChars + 1] = {};
    uint32_t folderChars_ = 0;
    bool entered_ = false;
    bool made_ = false;
#ifdef _WIN32
    // The destination's path and the current folder's, in the form Windows takes without a
    // length limit; the current folder's own name and volume as the system gives them from a
    // handle on it; room for two paths more. On the heap (kLongPathChars + 1 characters each),
    // from open to close.
    char16_t* rootPath_ = nullptr;
    char16_t* currentPath_ = nullptr;
    char16_t* currentName_ = nullptr;
    char16_t* scratch_ = nullptr;
    char16_t* scratch2_ = nullptr;
    uint32_t rootChars_ = 0;
    uint32_t currentChars_ = 0;
    uint32_t currentNameChars_ = 0;  // 0: the system gives no names by handle
    uint32_t currentVolume_ = 0;
    bool currentNameAsked_ = false;  // currentName_ and currentVolume_ are the current folder's
    void askCurrentName();
#endif
};

// The name of a temporary (old = false) or of a kept old file: ~qsXXXXXXXX.tmp or .old.
void treeTemporaryName(uint32_t tag, bool old, char16_t* out /* 16 characters */);
