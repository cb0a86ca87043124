// Texts from string-table resources: the string module's table first, then the main program's.
// In a plug-in the main program is the host, not the plug-in library, so a host that wants the
// plug-in's own texts names the plug-in as the string module.
#include <windows.h>

#include "common/support/localised_text.h"
#include "common/support/text_source.h"

namespace {

// LoadStringW cuts to size - 1 characters and terminates; it returns 0 for an id that is missing,
// for an empty string and for a module without a string table alike.
int32_t loadFrom(HMODULE module, uint32_t id, char16_t* buffer, int32_t size) {
    // Size 0 would make LoadStringW store a pointer into the buffer instead of text.
    if (size < 1) return 0;
    const int n = LoadStringW(module, id, reinterpret_cast<LPWSTR>(buffer), size);
    if (n <= 0) {
        buffer[0] = 0;
        return 0;
    }
    return n;
}

}  // namespace

// The module this code is in (the plug-in library, or the program): where its own resources are.
// Found from an address inside it, which works on every Windows this runs on.
static HMODULE ownModule() {
    MEMORY_BASIC_INFORMATION region = {};
    if (VirtualQuery(reinterpret_cast<const void*>(&ownModule), &region, sizeof region) == 0) {
        return nullptr;
    }
    return static_cast<HMODULE>(region.AllocationBase);
}

int32_t findOwnText(uint32_t id, char16_t* buffer, int32_t size) {
    const HMODULE own = ownModule();
    if (own == nullptr) {
        if (size > 0) buffer[0] = 0;
        return 0;
    }
    return loadFrom(own, id, buffer, size);
}

int32_t findText(uint32_t id, char16_t* buffer, int32_t size) {
    // A null string module is skipped: the system would search the main program for it anyway,
    // which is the next step.
    const HMODULE first = static_cast<HMODULE>(stringModule());
    if (first != nullptr) {
        const int32_t n = loadFrom(first, id, buffer, size);
        if (n > 0) return n;
    }
    return loadFrom(GetModuleHandleW(nullptr), id, buffer, size);
}
