// A small printf of our own for UTF-16 text, with a hard bound on its output. The log and the
// system report format with it rather than with swprintf, whose conversions differ between the
// Windows and the Linux C libraries (what %s means, %I64d, how a full buffer ends), so that both
// builds write the same characters from the same format.
//
// The conversions follow the Windows conventions for wide formats:
//   %d %i          int (signed), %u %x %X unsigned, %c one UTF-16 code unit (passed as int)
//   %s %ls %ws     a UTF-16 string (const char16_t*)
//   %hs %S         a narrow string (const char*), read as Windows-1252 (the tags are ASCII)
//   %hc %C         one narrow character
//   %p             a pointer, as upper-case hexadecimal digits, two per byte
//   %%             a percent sign
// Size prefixes for the integers: h (short), l (long), ll and I64 (64-bit), I32 (32-bit).
// Flags '-' (left-aligned), '0' (zero padding), ' ' and '+' (sign room), then a width and a
// precision, each as digits or '*' (taken from the arguments). A null string prints as nothing.
// An unknown conversion is copied as it stands.
#pragma once

#include <cstdarg>
#include <cstdint>

// Formats into `out`, writing at most capacity - 1 code units and always a terminator (nothing
// at all when capacity is 0). Output that does not fit is cut at the limit, never split between
// the halves of a surrogate pair. Returns the number of code units written before the
// terminator.
uint32_t formatWideV(char16_t* out, uint32_t capacity, const char16_t* format, va_list args);
uint32_t formatWide(char16_t* out, uint32_t capacity, const char16_t* format, ...);
