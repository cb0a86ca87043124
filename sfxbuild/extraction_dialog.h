// The plug-in's extraction dialog: the user picks a destination folder for the archive the host
// named and presses Extract; the archive is then read under the progress dialog, after asking for
// the password when the host gave none. A failed run (wrong password, damaged archive, no memory,
// a file that could not be written) is told in a message box over this dialog, the way the
// extractor tells it, and the dialog closes after every Extract. Windows only.
#pragma once

#include <windows.h>

// The dialog procedure of template 104; its creation parameter is an ExtractRequest.
INT_PTR CALLBACK ExtractionDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// One extraction run: reads `archivePath` into `destination` under the progress dialog of
// `templates` (the plug-in's own module), owned by `dialog`, keyed with `password` or, when it is
// null, with what the user types into the password dialog. Cancelling that dialog runs nothing.
// A failed run ends with the reader's message in a message box owned by `dialog`.
void runExtraction(HINSTANCE templates, HWND dialog, HMODULE ownerModule,
                   const char16_t* destination, const char16_t* archivePath,
                   const char16_t* password);
