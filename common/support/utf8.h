// UTF-16 to UTF-8 and back, for the non-Windows side: file names, the command line and the
// terminal. Unpaired surrogates become U+FFFD; malformed UTF-8 bytes become U+FFFD.
#pragma once

#include <string>

std::string utf8FromWide(const char16_t* text);
std::string utf8FromWide(const std::u16string& text);
std::u16string wideFromUtf8(const std::string& text);
