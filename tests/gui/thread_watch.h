// The threads this process has started so far, by id, in order: noted by the program itself as
// each thread starts. Wine starts threads of its own now and then, so a test looks for the
// threads it expects rather than counting them. Link thread_watch.cpp into the test program
// itself (not into a library, where nothing would pull it in).
#pragma once

#include <windows.h>

#include <vector>

namespace gui {

std::vector<DWORD> threadsStarted();

}  // namespace gui
