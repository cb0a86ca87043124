// Texts off Windows: the string table compiled in from string_table.def. There are no resource
// modules here, so the string module has nothing to search and this table answers every lookup,
// as the program's own string table does on Windows.
#include "common/support/built_in_text.h"
#include "common/support/text_source.h"

int32_t findText(uint32_t id, char16_t* buffer, int32_t size) {
    buffer[0] = 0;
    const char16_t* text = builtInText(id);
    if (text == nullptr) return 0;
    int32_t n = 0;
    while (n < size - 1 && text[n] != 0) {
        buffer[n] = text[n];
        ++n;
    }
    buffer[n] = 0;
    return n;
}
