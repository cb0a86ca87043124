// Names as the page may show them: the engine's own rule for invisible formatting characters
// (common/archive/visible_name.h), so the page can show a stored name exactly as sfxtool does.
#include <cstdint>
#include <new>

#include "common/archive/visible_name.h"
#include "web/engine/exports.h"

namespace {

char16_t* g_shown = nullptr;
uint32_t g_room = 0;

}  // namespace

// The `chars` code units of `name` with each invisible formatting character written out as
// "<U+202E>": a zero-ended text valid until the next call, or null when there is no memory.
QUILLON_EXPORT(qn_visible_name)
const char16_t* qnVisibleName(const char16_t* name, uint32_t chars) {
    if (chars > (UINT32_MAX - 1) / kVisibleGrowth) return nullptr;
    const uint32_t room = chars * kVisibleGrowth + 1;
    if (room > g_room) {
        char16_t* grown = new (std::nothrow) char16_t[room];
        if (grown == nullptr) return nullptr;
        delete[] g_shown;
        g_shown = grown;
        g_room = room;
    }
    visibleName(name, chars, g_shown, g_room);
    return g_shown;
}
