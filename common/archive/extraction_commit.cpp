#include "common/archive/extraction_commit.h"

#include <atomic>
#include <new>

#include "common/archive/stored_name.h"
#include "common/support/clock.h"
#include "common/support/log.h"
#include "common/support/stop_request.h"

namespace {

std::atomic<bool> keepingExisting{false};
std::atomic<uint32_t> replacedLast{0};
std::atomic<uint32_t> keptLast{0};
// lastLeftBehind's: written by the run's thread, read once it has ended.
std::atomic<uint32_t> leftCount{0};
std::atomic<uint32_t> leftFile{0};
std::atomic<uint32_t> leftTag{0};
std::atomic<uint32_t> leftError{0};
std::atomic<bool> leftOld{false};

// Spreads a counter over 32 bits, so that temporaries of one run are not named in sequence
// and a second run beside a killed one picks other names.
uint32_t mix(uint32_t x) {
    x ^= x >> 16;
    x *= 0x7feb352dU;
    x ^= x >> 15;
    x *= 0x846ca68bU;
    x ^= x >> 16;
    return x;
}

}  // namespace

void keepExistingFiles(bool keep) {
    keepingExisting = keep;
}

CommitCounts lastCommitCounts() {
    return {replacedLast.load(), keptLast.load()};
}

LeftBehind lastLeftBehind() {
    return {leftCount.load(), leftFile.load(), leftTag.load(), leftError.load(), leftOld.load()};
}

void ExtractionCommit::leftBehind(uint32_t index, bool old) {
    const uint32_t error = lastSystemError();
    logLine(1, "write_crypt_files", u"%d: its temporary (%s) could not be removed",
            static_cast<int>(index), old ? u"the old contents" : u"the new file");
    if (leftCount.fetch_add(1) == 0) {
        leftFile = index;
        leftTag = tags_[index];
        leftError = error;
        leftOld = old;
    }
    setLastSystemError(error);
}

bool ExtractionCommit::prepare(uint32_t files) {
    release();
    const uint32_t n = files == 0 ? 1 : files;
    tags_ = new (std::nothrow) uint32_t[n]();
    replaced_ = new (std::nothrow) uint8_t[n]();
    inMadeFolder_ = new (std::nothrow) uint8_t[n]();
    stood_ = new (std::nothrow) uint8_t[n]();
    if (tags_ == nullptr || replaced_ == nullptr || inMadeFolder_ == nullptr || stood_ == nullptr) {
        release();
        return false;
    }
    capacity_ = n;
    leftCount = 0;
    const UtcTime now = currentUtcTime();
    seed_ = mix(static_cast<uint32_t>(now.millisecond) ^ (uint32_t{now.second} << 10) ^
                (uint32_t{now.minute} << 16) ^
                static_cast<uint32_t>(reinterpret_cast<uintptr_t>(this)));
    return true;
}

void ExtractionCommit::release() {
    delete[] tags_;
    delete[] replaced_;
    delete[] inMadeFolder_;
    delete[] stood_;
    tags_ = nullptr;
    stood_ = nullptr;
    replaced_ = nullptr;
    inMadeFolder_ = nullptr;
    capacity_ = 0;
}

TreeEnter ExtractionCommit::enterFolderOf(DestinationTree& tree, const FileTable& files,
                                          uint32_t index, bool create, const char16_t*& leaf) {
    const char16_t* name = files.nameOf(index);
    uint32_t cut = files.charsOf(index);
    while (cut > 0 && !isPathSeparator(name[cut - 1])) --cut;
    leaf = name + cut;
    return tree.enter(name, cut > 0 ? cut - 1 : 0, create);
}

bool ExtractionCommit::createTemporary(DestinationTree& tree, uint32_t index, File& out) {
    // A name taken (by a file of the user's, or a killed run's temporary) is skipped.
    for (uint32_t attempt = 0; attempt < 16; ++attempt) {
        const uint32_t tag = mix(seed_ + index * 16 + attempt);
        if (tree.createTemporary(tag, out)) {
            tags_[index] = tag;
            inMadeFolder_[index] = tree.madeCurrent() ? 1 : 0;
            return true;
        }
    }
    return false;
}

bool ExtractionCommit::enterExisting(DestinationTree& tree, const FileTable& files, uint32_t index,
                                     const char16_t*& leaf) {
    return enterFolderOf(tree, files, index, false, leaf) == TreeEnter::kEntered;
}

void ExtractionCommit::discard(DestinationTree& tree, const FileTable& files, uint32_t from,
                               uint32_t to) {
    for (uint32_t i = from; i < to && i < capacity_; ++i) {
        const char16_t* leaf = nullptr;
        if (enterExisting(tree, files, i, leaf) && !tree.removeTemporary(tags_[i])) {
            leftBehind(i, false);
        }
    }
}

void ExtractionCommit::undo(DestinationTree& tree, const FileTable& files, uint32_t committed) {
    for (uint32_t i = committed; i > 0; --i) {
        const char16_t* leaf = nullptr;
        if (!enterExisting(tree, files, i - 1, leaf)) continue;
        switch (replaced_[i - 1]) {
            case kWasAbsent:
                tree.removeEntry(leaf);
                break;
            case kKeptOld:
                if (!tree.restoreOld(tags_[i - 1], leaf)) leftBehind(i - 1, true);
                break;
            case kLeftStanding:
                break;  // nothing was renamed there
            default:
                break;  // the old file could not be kept: the new one is all there is
        }
    }
}

namespace {

// What the first look makes of an entry that stands at a target's name, refusing it or not.
TargetRefusal refusalOf(TreeEntry what) {
    switch (what) {
        case TreeEntry::kFile:
            return kRefusedArchive;  // refused only when it is the archive
        case TreeEntry::kLink:
            return kRefusedLink;
        case TreeEntry::kReadOnly:
            return kRefusedReadOnly;
        case TreeEntry::kAlias:
            return kRefusedOtherName;
        case TreeEntry::kInUse:
        case TreeEntry::kError:
            return kNotRefused;  // failed: the system's error says why
        default:
            return kRefusedNotAFile;
    }
}

const char16_t* wordsOf(TargetRefusal why) {
    switch (why) {
        case kRefusedArchive:
            return u"the archive itself";
        case kRefusedLink:
            return u"a link";
        case kRefusedReadOnly:
            return u"read-only";
        case kRefusedOtherName:
            return u"another file's short name";
        case kNotRefused:
            return u"cannot be replaced";
        default:
            return u"not a plain file";
    }
}

}  // namespace

bool ExtractionCommit::commit(DestinationTree& tree, const FileTable& files,
                              const FileIdentity& archive, uint32_t& failed,
                              TargetRefusal& refusal) {
    const uint32_t n = files.count();
    const bool keep = keepingExisting;
    refusal = kNotRefused;
    // Ends the run before anything was renamed, keeping the system's error for the caller.
    auto stopBeforeRenaming = [&](uint32_t at, TargetRefusal why, uint32_t error) {
        failed = at;
        refusal = why;
        discard(tree, files, 0, n);
        setLastSystemError(error);
        return false;
    };
    if (stopRequest() != 0) return stopBeforeRenaming(0, kNotRefused, lastSystemError());
    // First look at every target: nothing is renamed unless all of them can take a file (or,
    // keeping what stands, be left as they are). In a folder this run made there was nothing to
    // look at (and the archive is not in it); should anything have come there since, the rename
    // below refuses to replace it unseen.
    for (uint32_t i = 0; i < n; ++i) {
        if (inMadeFolder_[i] != 0) continue;
        const char16_t* leaf = nullptr;
        FileIdentity target;
        const TreeEnter entered = enterFolderOf(tree, files, i, false, leaf);
        const TreeEntry what =
            entered == TreeEnter::kEntered ? tree.inspect(leaf, &target) : TreeEntry::kError;
        const bool fits = what == TreeEntry::kAbsent ||
                          (what == TreeEntry::kFile && !target.sameAs(archive)) ||
                          (keep && what != TreeEntry::kError);
        stood_[i] = what != TreeEntry::kAbsent ? 1 : 0;
        if (!fits) {
            const uint32_t error = lastSystemError();
            const TargetRefusal why = refusalOf(what);
            logLine(1, "write_crypt_files", u"%d refused: %s", static_cast<int>(i), wordsOf(why));
            return stopBeforeRenaming(i, why, why != kNotRefused ? 0 : error);
        }
    }
    uint32_t i = 0;
    for (; i < n; ++i) {
        const char16_t* leaf = nullptr;
        if (stopRequest() != 0 || !enterExisting(tree, files, i, leaf)) break;
        replaced_[i] = kWasAbsent;
        // Most targets are new: one rename that refuses to replace anything puts the file in
        // place. Where something stands (it stood at the first look, or came since), it is kept
        // under a second name first, so a failure later can give it back; or, keeping what
        // stands, the temporary goes and nothing else happens.
        const TreePlace placed = tree.placeTemporary(tags_[i], leaf);
        if (placed == TreePlace::kPlaced) continue;
        if (placed == TreePlace::kFailed) break;
        // Where the look found nothing, what stands now came since, and may be a file this run
        // has just put in place under another name whose short name is this target's:
        // replacing it, or keeping it for this file, would lose one of the two. Nor is a file
        // that came marked read-only, or held open, replaced. (What the look found it has just
        // judged; a change since is a race the rename's own failure and the undo cover.)
        if (stood_[i] == 0) {
            const TreeEntry standing = tree.inspect(leaf, nullptr);
            if (standing == TreeEntry::kAlias || (!keep && standing == TreeEntry::kReadOnly)) {
                refusal = refusalOf(standing);
                logLine(1, "write_crypt_files", u"%d refused: %s", static_cast<int>(i),
                        wordsOf(refusal));
                break;
            }
            if (!keep && standing == TreeEntry::kInUse) break;  // its error is the system's last
        }
        if (keep) {
            replaced_[i] = kLeftStanding;
            if (!tree.removeTemporary(tags_[i])) break;
            continue;
        }
        replaced_[i] = tree.keepOld(leaf, tags_[i]) ? kKeptOld : kLostOld;
        if (!tree.commitTemporary(tags_[i], leaf)) {
            if (replaced_[i] == kKeptOld && !tree.removeOld(tags_[i])) leftBehind(i, true);
            break;
        }
    }
    if (i < n) {
        const uint32_t error = refusal != kNotRefused ? 0 : lastSystemError();
        failed = i;
        undo(tree, files, i);
        discard(tree, files, i, n);  // the temporaries not yet renamed, the failed one too
        setLastSystemError(error);
        return false;
    }
    uint32_t replacedCount = 0, keptCount = 0;
    for (uint32_t k = 0; k < n; ++k) {
        const char16_t* leaf = nullptr;
        if (replaced_[k] == kKeptOld && enterExisting(tree, files, k, leaf) &&
            !tree.removeOld(tags_[k])) {
            leftBehind(k, true);
        }
        replacedCount += replaced_[k] == kKeptOld || replaced_[k] == kLostOld ? 1 : 0;
        keptCount += replaced_[k] == kLeftStanding ? 1 : 0;
    }
    replacedLast = replacedCount;
    keptLast = keptCount;
    return true;
}
