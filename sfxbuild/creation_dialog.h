// The plug-in's creation dialog: the user names the archive, adds files from one folder and
// presses Create; the archive is then written under the progress dialog, after asking for the
// password when the host gave none. One dialog serves both exports: with a stub module in the
// request it makes self-extracting ".exe" archives, without one plain ".tvf" archives. An archive
// that could not be written is told in a message box over this dialog; the dialog closes after
// every Create with a list. Windows only.
#pragma once

#include <windows.h>

// The dialog procedure of template 101; its creation parameter is a CreateRequest.
INT_PTR CALLBACK CreationDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// One creation run: writes the names of `listText` (one bare name, or names in double quotes),
// relative to `selectionFolder`, into the archive `archiveName` under the progress dialog of
// `templates` (the plug-in's own module), owned by `dialog`. The extractor of `stubModule` goes in
// front, when there is one. Keyed with `password` or, when it is null, with what the user types
// into the password dialog; cancelling that dialog runs nothing.
void runCreation(HINSTANCE templates, HWND dialog, HMODULE stubModule,
                 const char16_t* selectionFolder, const char16_t* archiveName,
                 const char16_t* listText, const char16_t* password);
