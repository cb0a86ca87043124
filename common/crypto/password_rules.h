// The building blocks of the password check, each usable alone: the simplicity rule, the
// expected number of different characters behind it, the word test and the case-folded copies
// it works on. Texts are zero-terminated ANSI bytes; all character tests are the plain ASCII
// ones, so a byte of 0x80 or above is never a digit, letter or space.
#pragma once

#include <cstdint>

#include "common/crypto/password_policy.h"

// Whether `text` has too few different bytes for its length and character classes to pass
// (an empty text is simple).
bool isSimple(const PasswordPolicy& policy, const uint8_t* text);

// How many different characters `length` random draws from `charset` characters are expected to
// give, in the 15-bit fixed point the rule has always used (unsigned, truncating).
int expectedDifferent(int charset, int length);

// Whether `raw` is little more than `haystack`: `needle` (the case-folded `raw`, same length)
// lies inside it, or taking away a run of at least matchLength bytes that occurs in it leaves a
// simple text. Answers "based" when there is no memory to test with.
bool isBasedOn(const PasswordPolicy& policy, const uint8_t* haystack, const uint8_t* needle,
               const uint8_t* raw);

// isBasedOn against each word of the word list of at least matchLength letters, in list order.
bool isWordBased(const PasswordPolicy& policy, const uint8_t* needle, const uint8_t* raw);

// A new copy of `text` with 'A' to 'Z' lowered and every other byte unchanged; null when out of
// memory. Release it with cleanFree.
uint8_t* unifyCase(const uint8_t* text);

// Zeros `text` up to its terminator and releases it (null is ignored).
void cleanFree(uint8_t* text);

// The same folding into a caller's buffer of at least length + 1 bytes, terminated; this is how
// the meter avoids allocating for passwords of ordinary length.
void unifyCaseInto(const uint8_t* text, uint32_t length, uint8_t* out);
