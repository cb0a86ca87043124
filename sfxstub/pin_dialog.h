// The PIN dialog (template 104): shows the reader's name and the token's label and asks for the
// token's PIN. Its creation parameter is the PIN exchange buffer, which carries the reader name
// and the label in (two strings, one after the other) and the typed PIN out. One PIN dialog is
// open at a time in a process. Windows only.
#pragma once

#include <windows.h>

// Size of the PIN exchange buffer, in characters.
inline constexpr int kPinExchangeChars = 134;
// Characters the PIN edit accepts; the PIN handed back keeps one fewer (63).
inline constexpr int kPinEditLimit = 64;
// The label's colour.
inline constexpr COLORREF kPinLabelColour = RGB(0, 0, 223);

// The dialog procedure. Ends with 1 when a PIN was entered (now at the start of the buffer) and
// 0 when cancelled.
INT_PTR CALLBACK PinDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Gives a control of `dialog` a bold "MS Shell Dlg" font of `points` points. The font is kept
// for the rest of the process and reused by later dialogs.
void setBoldFont(HWND dialog, int control, int points);
