// The diagnostic log. Logging is on only when a file "<name>.log" already exists in the root of
// a fixed disk; the first character of that file sets how much is written (a digit: that level,
// anything else: nothing, an empty file: level 3). Each entry is opened, appended and closed on
// its own, so the log needs no shutdown and keeps everything up to a crash. A file of that name
// that is a link, or has other names too, is never written: it counts as no file.
//
// Levels: 1 errors, 2 the start banner and system report, 3 engine trace, 4 and above detail.
// Process-wide and without a lock: the entries of two threads may interleave, and one written
// while another holds the file open is lost.
#pragma once

#include <cstdint>

#include "common/support/platform_types.h"

// Finds the log file and, when it allows level 2, writes the start banner, the system report and
// the version details of `modules` (count of them). Does nothing once a log path has been set
// by an earlier call.
void initLog(const char16_t* logName, const ModuleHandle* modules, uint32_t count);

// Formats one entry (see wide_format.h for the conversions: %s is a UTF-16 string, %hs a narrow
// one, %I64d a 64-bit integer) and appends it to the log. Returns 1 if the level is logged,
// whether or not the file could be written, 0 if the entry was filtered out. Never changes the
// caller's last-error value.
int logLine(int level, const char* tag, const char16_t* format, ...);

// Whether entries of `level` are written: for callers that would build an entry's text only
// to have it filtered out.
bool logWants(int level);

// For tests only: forgets the log path and level, as a fresh process has them.
void resetLogForTesting();
