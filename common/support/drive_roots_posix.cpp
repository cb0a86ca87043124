// Drive roots off Windows: the file system has one root, "/", and it counts as a fixed disk.
// Tests may replace it with folders of their own, so they never touch the real root.
#include "common/support/drive_roots.h"

namespace {

char16_t g_roots[kDriveRootsRoom] = u"/";  // zero-separated, ends with an empty root

}  // namespace

bool listDriveRoots(char16_t* list, uint32_t capacity) {
    uint32_t n = 0;
    while (n + 1 < kDriveRootsRoom && (g_roots[n] != 0 || g_roots[n + 1] != 0)) ++n;
    if (n + 2 > capacity) return false;
    for (uint32_t i = 0; i < n + 2; ++i) list[i] = g_roots[i];
    return true;
}

bool isFixedDisk(const char16_t*) {
    return true;
}

void setLogSearchRoots(const char16_t* const* roots, uint32_t count) {
    uint32_t n = 0;
    for (uint32_t r = 0; r < count; ++r) {
        const char16_t* root = roots[r];
        uint32_t length = 0;
        while (root[length] != 0) ++length;
        if (length == 0) continue;                    // an empty root would end the list
        if (n + length + 2 > kDriveRootsRoom) break;  // what does not fit is left out
        for (uint32_t i = 0; i < length; ++i) g_roots[n++] = root[i];
        g_roots[n++] = 0;
    }
    if (n == 0) {
        g_roots[n++] = u'/';
        g_roots[n++] = 0;
    }
    g_roots[n] = 0;
}
