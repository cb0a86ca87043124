// The ANSI code page seam. Passwords are digested, and the log is written, as bytes of the
// system's ANSI code page. On Windows that is whatever CP_ACP is; elsewhere it is Windows-1252,
// byte for byte as Windows converts it, so archives made on either side open on the other.
#pragma once

#include <cstdint>

// Converts `units` UTF-16 code units to ANSI with best-fit mapping off: a character the code page
// cannot represent exactly becomes its default character ('?'). Writes the bytes of the longest
// prefix of whole characters (a surrogate pair is never split) that fits in `limit` bytes and
// returns how many bytes it wrote; nothing is terminated. With `out` null, returns the number of
// bytes the whole text needs.
uint32_t ansiFromWide(const char16_t* text, uint32_t units, uint8_t* out, uint32_t limit);

// Converts `bytes` ANSI bytes to UTF-16. Returns the number of code units written, or with `out`
// null the number the whole text needs; 0 when the text does not fit in `limit` (callers size the
// output with the query first, so nothing is ever silently cut).
uint32_t wideFromAnsi(const uint8_t* text, uint32_t bytes, char16_t* out, uint32_t limit);

// Windows-1252 exactly as Windows maps it, one code unit or byte at a time. The non-Windows build
// converts with these; a Win32 test compares them with the system for every code unit.
uint8_t cp1252FromUnit(char16_t unit);
char16_t cp1252ToUnit(uint8_t byte);

// Number of code units before the terminator.
uint32_t wideLength(const char16_t* text);

inline bool isHighSurrogate(char16_t u) {
    return u >= 0xD800 && u <= 0xDBFF;
}
inline bool isLowSurrogate(char16_t u) {
    return u >= 0xDC00 && u <= 0xDFFF;
}
