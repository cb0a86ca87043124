// The library's entry point, and the two memory routines the compiler may call on its own. The
// library is built without the C runtime to stay a few KiB: nothing here needs one, and the
// extractor carries the library inside itself.
#include <windows.h>

#include "hwtok/call_trace.h"

extern "C" {

// Loading and unloading go into the call log with the full path of the loaded copy, so a test
// sees which file a program actually ran.
BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH || reason == DLL_PROCESS_DETACH) {
        char path[MAX_PATH] = {};
        GetModuleFileNameA(instance, path, MAX_PATH - 1);
        hwtok::trace(reason == DLL_PROCESS_ATTACH ? "load" : "unload", path);
    }
    if (reason == DLL_PROCESS_ATTACH) DisableThreadLibraryCalls(instance);
    return TRUE;
}

void* memset(void* to, int value, size_t bytes) {
    auto* p = static_cast<volatile unsigned char*>(to);
    for (size_t i = 0; i < bytes; ++i) p[i] = static_cast<unsigned char>(value);
    return to;
}

void* memcpy(void* to, const void* from, size_t bytes) {
    auto* p = static_cast<volatile unsigned char*>(to);
    const auto* q = static_cast<const unsigned char*>(from);
    for (size_t i = 0; i < bytes; ++i) p[i] = q[i];
    return to;
}

}  // extern "C"
