#include "common/support/log_entry.h"

#include "common/support/wide_format.h"

const char* logLevelLabel(int level) {
    switch (level) {
        case 1:
            return "ERROR  ";
        case 2:
            return "WARNING";
        case 3:
            return "TRACE  ";
        default:
            return "";
    }
}

uint32_t buildLogEntry(char16_t* entry, const UtcTime& time, int level, const char* tag,
                       const char16_t* format, va_list args) {
    const uint32_t prefix = formatWide(entry, kLogEntryRoom, u"\r\n[%2d:%2d:%2d:%3d] %hs [%hs] ",
                                       int{time.hour}, int{time.minute}, int{time.second},
                                       int{time.millisecond}, logLevelLabel(level), tag);
    return prefix + formatWideV(entry + prefix, kLogEntryRoom - prefix, format, args);
}
