// The extractor's one window of its own: the modal dialog in which the user picks a destination
// folder and starts extraction, as often as they like, until they close it. Windows only.
#pragma once

#include <windows.h>

// Runs the dialog (template 100 of `instance`, no owner) until the user closes it. Returns the
// dialog's result: 2 when closed, -1 when it could not be shown.
INT_PTR runSelfExtractDialog(HINSTANCE instance);

// The dialog procedure of template 100.
INT_PTR CALLBACK selfExtractDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
