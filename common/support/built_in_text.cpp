#include "common/support/built_in_text.h"

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

const char16_t* builtInText(uint32_t id) {
    for (const TableText& entry : kTable) {
        if (entry.id == id) return entry.text;
    }
    return nullptr;
}
