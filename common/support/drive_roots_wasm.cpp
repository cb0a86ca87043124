// Drive roots in the browser: there are none, so no log file is ever found and the log stays off.
#include "common/support/drive_roots.h"

bool listDriveRoots(char16_t*, uint32_t) {
    return false;
}

bool isFixedDisk(const char16_t*) {
    return false;
}

void setLogSearchRoots(const char16_t* const*, uint32_t) {}
