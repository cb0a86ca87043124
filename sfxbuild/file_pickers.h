// Add Files of the creation dialog: one run of the system's open-file dialog over the creation
// dialog, after which the list edit holds the picked names (one bare name, or each in double
// quotes), the selection folder holds their folder, and an empty archive-name edit holds a name
// derived from the first of them. The open-file dialog leaves its folder as the current
// directory, so an archive name without a folder lands beside the files. A cancelled or failed
// pick changes nothing. Windows only.
#pragma once

#include <windows.h>

// The explorer-style dialog of the NT family. Its 260-character result cannot hold a long
// multiple selection, so a hook captures the folder and the name box at every selection change.
void pickFiles(HWND listEdit, HWND archiveNameEdit, char16_t* selectionFolder, bool selfExtracting);

// The same for Windows 95, 98 and Me, from the dialog's own zero-separated result in a buffer of
// 260,000 characters; the list is written in the explorer dialog's quoted form.
void pickFilesLegacy(HWND listEdit, HWND archiveNameEdit, char16_t* selectionFolder,
                     bool selfExtracting);

// pickFiles' hook: on every selection change, the open-file dialog's folder, a zero and its
// file-name box go into the capture buffer, the WideBuf that the dialog's lCustData names (kept
// in the hook dialog's DWLP_USER from WM_INITDIALOG on). Answers 0 to every message.
UINT_PTR CALLBACK selectionHook(HWND hook, UINT message, WPARAM wParam, LPARAM lParam);
