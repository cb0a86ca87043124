// The outcome of reading an archive.
#pragma once

#include <cstdint>

enum ExtractResult : uint32_t {
    kExtractOk = 0,
    kWrongPassword = 1,
    kCorrupt = 2,  // unreadable, damaged, or not an archive
    kOutOfMemory = 3,
    kWriteError = 4,  // a file could not be created or written in the destination
    // The archive cannot be checked for changes (no integrity record, or one of a later version)
    // and the run was not allowed to go on without: nothing was written.
    kUnverified = 6,
};
