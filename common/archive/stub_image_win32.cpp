#include <windows.h>

#include "common/archive/stub_image.h"

StubImage stubResourceOf(ModuleHandle module) {
    StubImage image;
    if (module == nullptr) return image;
    HMODULE m = static_cast<HMODULE>(module);
    HRSRC found = FindResourceW(m, L"TRV_SFX", reinterpret_cast<LPCWSTR>(RT_RCDATA));
    if (found == nullptr) return image;
    HGLOBAL loaded = LoadResource(m, found);
    const void* bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (bytes == nullptr) return image;
    image.bytes = static_cast<const uint8_t*>(bytes);
    image.size = SizeofResource(m, found);
    return image;
}
