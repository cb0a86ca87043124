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

// Why the destination refused a file its place, when it did (ExtractResult kWriteError with no
// system error): nothing was written, and what stood there is as it was.
enum TargetRefusal : uint8_t {
    kNotRefused = 0,
    kRefusedArchive = 1,     // the archive being read stands there
    kRefusedLink = 2,        // a symbolic link, junction or other reparse point
    kRefusedNotAFile = 3,    // a folder, a device, anything but a plain file
    kRefusedReadOnly = 4,    // a file marked read-only (Windows)
    kRefusedOtherName = 5,   // a file (or folder) whose own name is another: a short name
    kRefusedLinkInPath = 6,  // a folder on the way is a link
    kRefusedFileInPath = 7,  // a folder on the way is a file
};
