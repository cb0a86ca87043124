// Where the log looks for its file: the root folders of the machine's drives, in the order the
// system lists them, and whether a root is a fixed disk. Off Windows there is one root, "/",
// unless a test points the search elsewhere.
#pragma once

#include <cstdint>

// Room for the list, in UTF-16 code units.
constexpr uint32_t kDriveRootsRoom = 260;

// Fills `list` with the roots, each zero-terminated ("C:\"), the list ending with an empty one.
// False when the system gives none or they do not fit in `capacity` code units.
bool listDriveRoots(char16_t* list, uint32_t capacity);
bool isFixedDisk(const char16_t* root);

#ifndef _WIN32
// For tests only: the log looks in these folders (each ending with a separator), in this order,
// instead of "/". With count 0 the search goes back to "/".
void setLogSearchRoots(const char16_t* const* roots, uint32_t count);
#endif
