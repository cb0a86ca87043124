#include "common/archive/file_table.h"

#include <cstddef>
#include <new>

#include "common/support/secure_zero.h"

bool FileTable::obtain(uint32_t files) {
    release();
    const uint64_t count = uint64_t{files} + 1;
    // The count comes from archives written by anyone: refuse what the address space cannot
    // hold rather than let the multiplication wrap.
    if (count > SIZE_MAX / sizeof(FileEntry)) return false;
    entries = new (std::nothrow) FileEntry[static_cast<std::size_t>(count)]();
    capacity = entries != nullptr ? static_cast<uint32_t>(count) : 0;
    return entries != nullptr;
}

void FileTable::release() {
    if (entries != nullptr) {
        secureZero(entries, std::size_t{capacity} * sizeof(FileEntry));
        delete[] entries;
    }
    entries = nullptr;
    capacity = 0;
}
