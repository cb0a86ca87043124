// Reading the archive password from a hardware token: each reader in turn, with the PIN dialog
// when the token wants a PIN, until one token gives a stored password. Windows only.
#pragma once

#include <windows.h>

// Characters readTokenPassword writes at most, the terminator included.
inline constexpr int kTokenPasswordChars = 65;

// Asks the readers for a stored password through the bound token library (tokenApi()). The PIN
// dialog (template 104 of `templateModule`) opens over `owner` when a token needs a PIN. True with
// the password in `output` (at least kTokenPasswordChars characters); false, with `output`
// untouched, when the library is not bound, no token gave one or the user cancelled. A password
// that does not fit is never cut: that token counts as having none.
bool readTokenPassword(HINSTANCE templateModule, HWND owner, char16_t* output);
