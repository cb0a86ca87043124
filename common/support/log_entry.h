// One log entry as it goes to the file, before conversion to the ANSI code page: the prefix
// "\r\n[hh:mm:ss:mmm] LABEL [tag] " from the UTC time (hours, minutes and seconds space-padded to
// two places, milliseconds to three), the level label and the caller's source tag, then the
// caller's message. Separate from the file handling so the exact text can be checked for any
// time of day.
#pragma once

#include <cstdarg>
#include <cstdint>

#include "common/support/clock.h"

// Room of an entry: 4351 characters and the terminator. A longer entry is cut at 4351.
constexpr uint32_t kLogEntryRoom = 4352;

// "ERROR  ", "WARNING", "TRACE  " for levels 1 to 3; empty for 4 and above.
const char* logLevelLabel(int level);

// Builds the entry into `entry` (kLogEntryRoom code units) and returns its length. The message
// is formatted as formatWideV does (see wide_format.h).
uint32_t buildLogEntry(char16_t* entry, const UtcTime& time, int level, const char* tag,
                       const char16_t* format, va_list args);
