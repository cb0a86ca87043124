// Notes the threads this process starts, through the loader's thread-attach call to the
// program's TLS callback, so a test can tell whether a dialog started a worker at all.
#include "tests/gui/thread_watch.h"

#include <mutex>

namespace {

std::mutex g_mutex;
std::vector<DWORD> g_started;

void NTAPI onThread(PVOID, DWORD reason, PVOID) {
    if (reason != DLL_THREAD_ATTACH) return;
    std::lock_guard<std::mutex> lock(g_mutex);
    g_started.push_back(GetCurrentThreadId());
}

}  // namespace

// The C runtime runs every callback placed between its .CRT$XLA and .CRT$XLZ markers.
extern "C" __attribute__((section(".CRT$XLF"), used)) const PIMAGE_TLS_CALLBACK quillonThreadWatch =
    onThread;

namespace gui {

std::vector<DWORD> threadsStarted() {
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_started;
}

}  // namespace gui
