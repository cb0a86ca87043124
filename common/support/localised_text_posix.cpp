// Texts off Windows: the string table compiled in from string_table.def. There are no resource
// modules here, so the string module has nothing to search and this table answers every lookup,
// as the program's own string table does on Windows.
#include "common/support/text_source.h"

namespace {

struct TableText {
    uint32_t id;
    const char16_t* text;
};

#define QUILLON_TEXT(id, name, text) {id, u"" text},
constexpr TableText kTable[] = {
#include "common/support/string_table.def"
};
#undef QUILLON_TEXT

}  // namespace

int32_t findOwnText(uint32_t id, char16_t* buffer, int32_t size) {
    return findText(id, buffer, size);
}

int32_t findText(uint32_t id, char16_t* buffer, int32_t size) {
    buffer[0] = 0;
    for (const TableText& entry : kTable) {
        if (entry.id != id) continue;
        int32_t n = 0;
        while (n < size - 1 && entry.text[n] != 0) {
            buffer[n] = entry.text[n];
            ++n;
        }
        buffer[n] = 0;
        return n;
    }
    return 0;
}
