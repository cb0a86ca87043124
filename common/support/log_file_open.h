// How the log opens its file. The log file lies in the root of a disk, where other users may be
// able to create files: a symbolic link, junction or hard link planted there under the log's name
// would make every program that logs append extracted paths and names to whatever file the link
// leads to. So the log opens its file only when the name is the file's own and only name: a
// regular file, not a link or other reparse point, with exactly one link, and off Windows owned
// by the user or by root. Anything else is treated like no file at all.
#pragma once

#include "common/support/file_io.h"

// Opens `path` as `how` asks when it is such a file; otherwise leaves `file` closed and returns
// false, as when the file does not exist.
bool openLogFile(File& file, const char16_t* path, FileOpen how);
