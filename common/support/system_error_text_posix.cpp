#include <cstring>
#include <string>

#include "common/support/system_error_text.h"
#include "common/support/utf8.h"
#include "common/support/wide_format.h"

uint32_t systemErrorText(uint32_t error, char16_t* out, uint32_t capacity) {
    if (out == nullptr || capacity == 0) return 0;
    const char* text = std::strerror(static_cast<int>(error));
    if (text == nullptr || *text == 0) {
        return formatWide(out, capacity, u"error %u", static_cast<unsigned>(error));
    }
    const std::u16string wide = wideFromUtf8(text);
    return formatWide(out, capacity, u"%s", wide.c_str());
}
