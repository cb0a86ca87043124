#include "common/archive/archive_name.h"

#include "common/support/code_page.h"

void defaultArchiveName(const char16_t* listText, bool selfExtracting, WideBuf& out) {
    out.assign(nullptr);
    if (listText == nullptr) return;
    const char16_t* name = listText;
    uint32_t chars = wideLength(listText);
    for (uint32_t i = 0; i < chars; ++i) {
        if (listText[i] != u'"') continue;
        name = listText + i + 1;
        chars = 0;
        while (name[chars] != 0 && name[chars] != u'"') ++chars;
        break;
    }
    uint32_t stem = chars;
    for (uint32_t i = chars; i > 0; --i) {
        if (name[i - 1] == u'.') {
            stem = i - 1;
            break;
        }
    }
    // The stem, a dot and three letters, and the terminator.
    if (stem > UINT32_MAX - 5 || !out.ensureCapacity(stem + 5)) return;
    for (uint32_t i = 0; i < stem; ++i) out.data[i] = name[i];
    out.append(selfExtracting ? u".exe" : u".tvf");
}
