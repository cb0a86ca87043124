// The one place where the engine's UTF-16 text (char16_t) meets the Windows API's (wchar_t):
// both are 16-bit code units on Windows, so the pointers are the same text. Windows only.
#pragma once

static_assert(sizeof(wchar_t) == sizeof(char16_t), "wchar_t is UTF-16 on Windows");

inline wchar_t* wide(char16_t* text) {
    return reinterpret_cast<wchar_t*>(text);
}
inline const wchar_t* wide(const char16_t* text) {
    return reinterpret_cast<const wchar_t*>(text);
}
inline char16_t* utf16(wchar_t* text) {
    return reinterpret_cast<char16_t*>(text);
}
inline const char16_t* utf16(const wchar_t* text) {
    return reinterpret_cast<const char16_t*>(text);
}
