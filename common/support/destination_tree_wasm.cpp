// The destination tree in the browser: there is no folder to walk. The page saves files through
// the streams and downloads the browser offers (the page's worker does that), so the engine's
// own extraction, which writes into a destination folder, never starts there: opening fails.
#include "common/support/destination_tree.h"

bool DestinationTree::open(const char16_t*) {
    return false;
}

void DestinationTree::close() {
    root_ = current_ = -1;
    folder_[0] = 0;
    folderChars_ = 0;
    entered_ = false;
}

TreeEnter DestinationTree::enter(const char16_t*, uint32_t, bool) {
    return TreeEnter::kFailed;
}

bool DestinationTree::setCurrentTime(uint64_t) {
    return false;
}

bool DestinationTree::createTemporary(uint32_t, File&) {
    return false;
}

TreeEntry DestinationTree::inspect(const char16_t*, FileIdentity*) {
    return TreeEntry::kError;
}

bool DestinationTree::commitTemporary(uint32_t, const char16_t*) {
    return false;
}

TreePlace DestinationTree::placeTemporary(uint32_t, const char16_t*) {
    return TreePlace::kFailed;
}

bool DestinationTree::keepOld(const char16_t*, uint32_t) {
    return false;
}

bool DestinationTree::restoreOld(uint32_t, const char16_t*) {
    return false;
}

bool DestinationTree::removeTemporary(uint32_t) {
    return false;
}

bool DestinationTree::removeOld(uint32_t) {
    return false;
}

bool DestinationTree::removeEntry(const char16_t*) {
    return false;
}
