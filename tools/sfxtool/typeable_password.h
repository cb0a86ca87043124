// Whether the recipient of an archive can type its password where it is opened. The extractor's
// password and PIN dialogs keep at most 63 characters, and the key is made from the password's
// bytes in the ANSI code page, so a character that code page cannot hold becomes '?' and the
// archive then opens under any password with '?' there (and under none the creator typed, on a
// system whose code page differs). create refuses such passwords for the classic key; a hardened
// key is made from the password's UTF-8, which holds every character. Opening takes them all.
#pragma once

#include <string>

// The characters the password and PIN dialogs hand back (their edits take one more).
constexpr std::size_t kTypeablePasswordChars = 63;

// Why `password` cannot be typed into the extractor, or an empty text when it can: its length,
// or (for the classic key) characters the ANSI code page changes. The password itself is never
// part of the text.
std::u16string untypeableReason(const std::u16string& password, bool classicKey);

// The ANSI code page as people know it: "Windows-1252" off Windows, "code page N" on it.
std::u16string ansiCodePageName();
