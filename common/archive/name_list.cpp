#include "common/archive/name_list.h"

#include <utility>

#include "common/support/code_page.h"

uint32_t parseNameList(const char16_t* text, WideBuf& names) {
    const uint32_t chars = text != nullptr ? wideLength(text) : 0;
    if (chars == 0 || chars == UINT32_MAX || !names.ensureCapacity(chars + 1)) return 0;
    bool quoted = false;
    for (uint32_t i = 0; i < chars && !quoted; ++i) quoted = text[i] == u'"';
    if (!quoted) {
        for (uint32_t i = 0; i < chars; ++i) names.data[i] = text[i];
        return 1;
    }
    // The output never outgrows the input, and the cleared tail terminates the last name.
    uint32_t count = 0, out = 0, nameStart = 0;
    bool inside = false;
    for (uint32_t i = 0; i < chars; ++i) {
        const char16_t c = text[i];
        if (c == u'"' && !inside) {
            inside = true;
            nameStart = out;
            ++count;
        } else if (c == u'"') {
            inside = false;
            if (out == nameStart) {
                --count;  // "" names nothing
            } else {
                names.data[out++] = 0;
            }
        } else if (inside) {
            names.data[out++] = c;
        }
    }
    if (inside && out == nameStart) --count;  // a lone quote at the end
    return count;
}

bool appendQuotedName(WideBuf& list, const char16_t* name) {
    const uint32_t have = list.length();
    const uint32_t add = wideLength(name);
    const uint64_t need = uint64_t{have} + add + 10;
    if (need > UINT32_MAX / sizeof(char16_t)) return false;
    WideBuf grown;
    if (!grown.ensureCapacity(static_cast<uint32_t>(need))) return false;
    grown.assign(list.text());
    grown.append(have == 0 ? u"\"" : u" \"");
    grown.append(name);
    grown.append(u"\"");
    // Take over the new storage rather than copying back, which could fail and lose the list;
    // the old text is wiped when `grown` goes.
    std::swap(list.data, grown.data);
    std::swap(list.capacity, grown.capacity);
    return true;
}
