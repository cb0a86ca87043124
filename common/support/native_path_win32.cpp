#include "common/support/native_path.h"

#include <windows.h>

#include <cstring>

#include "common/support/wide_chars.h"

namespace {

#ifndef _WIN64
using DisableFn = BOOL(WINAPI*)(PVOID*);
using RevertFn = BOOL(WINAPI*)(PVOID);

// Found at run time: Windows XP before its second service pack, and 32-bit Windows on 32-bit
// machines before Vista, lack them. (Looked up each time: a function-local static would bring
// the thread-safe initialisation runtime into the extractor.)
FARPROC kernel32Function(const char* name) {
    return GetProcAddress(GetModuleHandleW(L"kernel32.dll"), name);
}
#endif

uint32_t lengthOf(const char16_t* s) {
    uint32_t n = 0;
    while (s[n] != 0) ++n;
    return n;
}

bool startsWith(const char16_t* s, const char16_t* prefix) {
    for (; *prefix != 0; ++s, ++prefix) {
        if (*s != *prefix) return false;
    }
    return true;
}

}  // namespace

RedirectionOff::RedirectionOff() {
#ifndef _WIN64
    const auto disable = reinterpret_cast<DisableFn>(
        reinterpret_cast<void*>(kernel32Function("Wow64DisableWow64FsRedirection")));
    off_ = disable != nullptr && disable(&previous_) != 0;
#endif
}

RedirectionOff::~RedirectionOff() {
#ifndef _WIN64
    if (!off_) return;
    const DWORD error = GetLastError();  // what the call it wrapped left, for its caller
    const auto revert = reinterpret_cast<RevertFn>(
        reinterpret_cast<void*>(kernel32Function("Wow64RevertWow64FsRedirection")));
    if (revert != nullptr) revert(previous_);
    SetLastError(error);
#endif
}

bool longPathsWork() {
    return (GetVersion() & 0x80000000u) == 0;
}

uint32_t nativePathOf(const char16_t* path, char16_t* out, uint32_t capacity) {
    if (path == nullptr || capacity < 8) return 0;
    const bool longForm = longPathsWork();
    if (startsWith(path, u"\\\\?\\")) {
        const uint32_t n = lengthOf(path);
        if (n >= capacity) return 0;
        std::memcpy(out, path, (n + 1) * sizeof(char16_t));
        return n;
    }
    // The absolute form after the prefix's room: "\\?\" for a drive path, "\\?\UNC" for a share
    // (whose own leading "\\" becomes the "\" after UNC).
    constexpr uint32_t kRoom = 7;
    const DWORD got = GetFullPathNameW(wide(path), capacity - kRoom, wide(out + kRoom), nullptr);
    if (got == 0 || got >= capacity - kRoom) return 0;
    char16_t* full = out + kRoom;
    uint32_t n = got;
    // A trailing backslash is dropped (the folder is the same), but a drive's root keeps its own.
    if (n > 3 && full[n - 1] == u'\\') full[--n] = 0;
    if (!longForm) {
        std::memmove(out, full, (n + 1) * sizeof(char16_t));
        return n;
    }
    if (startsWith(full, u"\\\\.\\")) return 0;  // a device, never a destination
    if (startsWith(full, u"\\\\")) {
        // \\server\share\x becomes \\?\UNC\server\share\x: the prefix takes one "\"'s place.
        std::memmove(out + 7, full + 1, n * sizeof(char16_t));
        std::memcpy(out, u"\\\\?\\UNC", 7 * sizeof(char16_t));
        return 7 + n - 1;
    }
    std::memmove(out + 4, full, (n + 1) * sizeof(char16_t));
    std::memcpy(out, u"\\\\?\\", 4 * sizeof(char16_t));
    return 4 + n;
}
