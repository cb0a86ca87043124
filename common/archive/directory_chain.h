// Creates a folder and every missing folder above it, as extraction needs before it writes a
// file into sub\deep\. The root of the path (a drive, a share, the top of the tree) is never
// created. Folders that already exist are left as they are.
#pragma once

#include <cstdint>

void createDirectoryChain(const char16_t* path);
