// What a stored name may be. Names arrive in archives from anybody, and each becomes a path
// under the folder the user extracts into, so before anything is created every name must be a
// plain relative path that stays inside that folder on Windows and elsewhere alike.
#pragma once

#include <cstdint>

// True for a name of one or more components separated by backslashes (a slash counts as one
// too), each non-empty, not "." or "..", without a colon (drives, alternate data streams),
// control characters, any of ? * < > | " (which no Windows file name holds) or a trailing dot or
// space (which Windows silently drops, turning ".. " into ".."), and not a device name such as
// CON, NUL, CONIN$, COM1 or LPT1 (or with a superscript digit).
bool isSafeStoredName(const char16_t* name, uint32_t chars);

// Length of the root of a path: "C:\" 3, "C:" 2, "\\server\share\" up to past the share, a
// leading separator 1, a relative path 0.
uint32_t pathRootLength(const char16_t* path, uint32_t chars);

inline bool isPathSeparator(char16_t c) {
    return c == u'\\' || c == u'/';
}

// The name a listed file is stored under: slashes made backslashes, "." and empty components
// dropped, and everything up to and including the last part that would lead out of the
// destination (a leading root, a drive, a "..") cut off, as tar does with leading slashes.
// Writes at most `room` - 1 characters and a terminator; returns the characters written, 0 when
// nothing is left or the result does not fit. `cut` tells whether a leading part was dropped.
uint32_t storedNameFor(const char16_t* listed, char16_t* out, uint32_t room, bool* cut);
