// The last step of an extraction: the files of the archive, each written to a temporary beside
// its target while the archive was read, are renamed into place together, and only when the
// whole archive has been read without error. Before anything is renamed every target is looked
// at (but those in folders the run made, where nothing stood): a link, a folder or anything but
// a plain file where a file is to go, or the archive being read itself, stops the commit with
// nothing changed. Each rename puts a file in place only where nothing stands; what stands
// there (found at the look, or come since) is kept under a second name first. A rename that
// fails part-way undoes the ones before it: files that were new are removed, files that were
// replaced get their old contents back. So a run leaves every file the destination held either
// as it was, or, when it succeeds, replaced by the archive's.
//
// A file the destination already holds is replaced by default; a front end may ask that such
// files be left as they are instead (keepExistingFiles), and learns after the run how many were
// replaced or left (lastCommitCounts). Both are the process's, not a run's: the reader's record
// has no place for them yet, and the one front end that asks runs one extraction at a time.
// A job asked to stop (stop_request.h) renames nothing, and a commit under way when the
// request comes undoes what it renamed.
//
// On Windows the first look also refuses a file marked read-only (the user said it is not to
// change, and a rename over it fails there anyway), a file reached through a name that is not
// its own (its short name: the file it names may be another file of the archive), and fails the
// run, before anything is renamed, at a file a program holds open so that it cannot be
// replaced. Two files of one archive where one's name is the short name Windows gave the other
// once it was in place are found at the rename and undo the run.
//
// Whatever the end, the commit removes every ~qs name it made. One it could not remove is left
// behind and said (lastLeftBehind), never passed over.
#pragma once

#include <cstdint>

#include "common/archive/extract_result.h"
#include "common/archive/file_table.h"
#include "common/support/destination_tree.h"

// Whether commits from now on leave every entry that stands at a target's name as it is (the
// temporary goes instead), rather than replacing it.
void keepExistingFiles(bool keep);

// What the last commit that completed did with entries that stood at its targets' names.
struct CommitCounts {
    uint32_t replaced = 0;
    uint32_t kept = 0;
};
CommitCounts lastCommitCounts();

// The ~qs names the last run (from prepare on) could not remove: how many, and the first, as
// the file of the table it was made for and its tag (treeTemporaryName), with the system's
// error. `old`: the kept old contents of a replaced file, rather than a new file's temporary.
struct LeftBehind {
    uint32_t count = 0;
    uint32_t file = 0;
    uint32_t tag = 0;
    uint32_t error = 0;
    bool old = false;
};
LeftBehind lastLeftBehind();

class ExtractionCommit {
  public:
    ExtractionCommit() = default;
    ~ExtractionCommit() { release(); }
    ExtractionCommit(const ExtractionCommit&) = delete;
    ExtractionCommit& operator=(const ExtractionCommit&) = delete;

    // Room for `files` temporaries; false without memory.
    bool prepare(uint32_t files);

    // Enters the folder of file `index` of the table (made when `create`), and gives its last
    // component in `leaf`.
    TreeEnter enterFolderOf(DestinationTree& tree, const FileTable& files, uint32_t index,
                            bool create, const char16_t*& leaf);

    // Creates the temporary of file `index` in the current folder (entered for it), and notes
    // whether this run made that folder.
    bool createTemporary(DestinationTree& tree, uint32_t index, File& out);

    // Renames every temporary over its target. On false nothing is changed and no temporary is
    // left (but those lastLeftBehind names); `failed` is the file that stopped it, `refusal` why
    // its place was refused (a link, a folder, the archive, ...), or kNotRefused where a call
    // failed, whose error the system's last error holds.
    bool commit(DestinationTree& tree, const FileTable& files, const FileIdentity& archive,
                uint32_t& failed, TargetRefusal& refusal);

    // Removes the temporaries of files [from, to).
    void discard(DestinationTree& tree, const FileTable& files, uint32_t from, uint32_t to);

    void release();

  private:
    enum Replaced : uint8_t { kWasAbsent = 0, kKeptOld = 1, kLostOld = 2, kLeftStanding = 3 };
    void undo(DestinationTree& tree, const FileTable& files, uint32_t committed);
    // Notes a ~qs name of file `index` that could not be removed.
    void leftBehind(uint32_t index, bool old);
    // Enters the folder of file `index`, which must already be there.
    bool enterExisting(DestinationTree& tree, const FileTable& files, uint32_t index,
                       const char16_t*& leaf);

    uint32_t* tags_ = nullptr;
    uint8_t* replaced_ = nullptr;
    // Per file: its temporary went into a folder this run made, so its target was not there
    // and the first look can pass it by.
    uint8_t* inMadeFolder_ = nullptr;
    // Per file: the first look found something standing at its target.
    uint8_t* stood_ = nullptr;
    uint32_t capacity_ = 0;
    uint32_t seed_ = 0;
};
