// The call log of our stand-in token library: when QUILLON_TOKEN_TRACE names a file, every call
// and the library's loading and unloading append one line to it, "Entry argument", so a test can
// tell which copy of the library a program loaded and what it asked. The file is opened, appended
// and closed per line, so a crash loses nothing and several processes may share one log.
#pragma once

#include <stdint.h>

namespace hwtok {

// One line: the entry's name, then each non-null part separated by single spaces.
void trace(const char* entry, const char* a = nullptr, const char* b = nullptr,
           const char* c = nullptr);

// A number as text, in a small buffer of the caller's.
const char* numberText(int32_t value, char (&buffer)[12]);

}  // namespace hwtok
