// Drive roots on Windows: GetLogicalDriveStringsW, and GetDriveTypeW for fixed disks.
#include <windows.h>

#include "common/support/drive_roots.h"

bool listDriveRoots(char16_t* list, uint32_t capacity) {
    if (capacity < 2) return false;
    // The size given leaves out the list's final terminator, so one unit is kept for it.
    const DWORD n = GetLogicalDriveStringsW(capacity - 1, reinterpret_cast<LPWSTR>(list));
    // A length past the room is the size the list would need; the buffer then holds nothing
    // usable.
    if (n == 0 || n >= capacity - 1) {
        list[0] = 0;
        return false;
    }
    list[n] = 0;
    return true;
}

bool isFixedDisk(const char16_t* root) {
    return GetDriveTypeW(reinterpret_cast<LPCWSTR>(root)) == DRIVE_FIXED;
}
