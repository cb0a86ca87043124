#include <windows.h>

#include "common/support/system_error_text.h"
#include "common/support/wide_chars.h"
#include "common/support/wide_format.h"

uint32_t systemErrorText(uint32_t error, char16_t* out, uint32_t capacity) {
    if (out == nullptr || capacity == 0) return 0;
    DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, error, 0, wide(out), capacity, nullptr);
    // The system's sentences end with a full stop and a line end; a message names the file
    // before them, so both go.
    while (length > 0 && (out[length - 1] == u'\r' || out[length - 1] == u'\n' ||
                          out[length - 1] == u' ' || out[length - 1] == u'.')) {
        --length;
    }
    if (length == 0) {
        return formatWide(out, capacity, u"error %u", static_cast<unsigned>(error));
    }
    out[length] = 0;
    return length;
}
