#include "tools/sfxtool/formatted.h"

#include <cstdarg>

#include "common/support/wide_format.h"

std::u16string formatted(const char16_t* format, ...) {
    char16_t line[1024];  // a stored name is at most 259 characters, so every line fits
    va_list args;
    va_start(args, format);
    const uint32_t n = formatWideV(line, sizeof line / sizeof line[0], format, args);
    va_end(args);
    return std::u16string(line, n);
}
