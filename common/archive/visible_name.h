// Stored names as they may safely be shown. A name can hold characters that draw nothing yet
// change how the rest is drawn: "Invoice_2024<RIGHT-TO-LEFT OVERRIDE>fdp.exe" reads as
// "Invoice_2024exe.pdf". Such a name is harmless to the file system, so readers keep opening
// archives that hold one, but every place that shows a stored name shows these characters as
// "<U+202E>", and no writer stores a name holding one. The page's script applies the same rule
// and the same form, character for character.
#pragma once

#include <cstdint>

// True for an invisible formatting character: Unicode general category Cf (U+00AD, U+0600-0605,
// U+061C, U+06DD, U+070F, U+0890-0891, U+08E2, U+180E, U+200B-200F, U+202A-202E, U+2060-2064,
// U+2066-206F, U+FEFF, U+FFF9-FFFB, U+110BD, U+110CD, U+13430-1343F, U+1BCA0-1BCA3,
// U+1D173-1D17A, U+E0001, U+E0020-E007F), the line and paragraph separators U+2028 and U+2029,
// DEL and the C1 controls U+007F-009F, and any surrogate code point (which in a UTF-16 name
// only stands alone: a paired one is part of a supplementary character). The controls below
// U+0020 are left out here: isSafeStoredName refuses them everywhere.
bool isInvisibleFormatting(uint32_t codePoint);

// The first invisible formatting character of `chars` code units of `name`: its index, with its
// code point in `codePoint` (a lone surrogate gives the surrogate itself); `chars` when there is
// none.
uint32_t findInvisible(const char16_t* name, uint32_t chars, uint32_t& codePoint);

inline bool holdsInvisible(const char16_t* name, uint32_t chars) {
    uint32_t codePoint = 0;
    return findInvisible(name, chars, codePoint) < chars;
}

// The most characters one code unit of a name grows to when shown: "<U+XXXX>" (a pair of two
// units grows to at most "<U+10FFFF>", 10).
constexpr uint32_t kVisibleGrowth = 8;

// "U+" and the code point in uppercase hexadecimal, at least four digits: "U+202E", "U+E0041".
// Writes at most 8 characters and a terminator; returns the characters written.
uint32_t codePointLabel(uint32_t codePoint, char16_t* out);

// The name as shown: each invisible formatting character replaced by "<" its label ">", as
// "<U+202E>", everything else as it is. Writes at most `room` - 1 characters and a terminator
// (nothing when `room` is 0), never cutting a replacement or a surrogate pair in two; returns
// the length of the whole shown form, so a caller can tell it was cut.
uint32_t visibleName(const char16_t* name, uint32_t chars, char16_t* out, uint32_t room);
