#include <windows.h>

#include <cstring>

#include "common/support/random_bytes.h"

namespace {

// RtlGenRandom, exported by advapi32 as SystemFunction036 on every Windows the extractor runs
// on, older ones included, where BCryptGenRandom is missing; looked up so nothing new is linked.
using GenRandom = BOOLEAN(WINAPI*)(PVOID, ULONG);

GenRandom genRandom() {
    HMODULE advapi = GetModuleHandleW(L"advapi32.dll");
    if (advapi == nullptr) advapi = LoadLibraryW(L"advapi32.dll");
    if (advapi == nullptr) return nullptr;
    return reinterpret_cast<GenRandom>(
        reinterpret_cast<void*>(GetProcAddress(advapi, "SystemFunction036")));
}

}  // namespace

bool randomBytes(uint8_t* out, std::size_t length) {
    const GenRandom gen = genRandom();
    std::size_t done = 0;
    while (gen != nullptr && done < length) {
        const std::size_t left = length - done;
        const ULONG piece = left > 0x10000 ? 0x10000 : static_cast<ULONG>(left);
        if (!gen(out + done, piece)) break;
        done += piece;
    }
    if (done == length) return true;
    std::memset(out, 0, length);
    return false;
}
