// One extraction run of the extractor: what a press of Extract does once the token has been
// asked for a password. The archive is always the running program's own file. Windows only.
#pragma once

#include <windows.h>

// Extracts the archive at `archivePath` into `destination` (passed on unchanged). With a
// `tokenPassword` that password keys the run; with none the user is asked for one first, and a
// Cancel there ends the run silently. Dialog templates come from `templateModule`; every window
// opened here is owned by `owner`. A failed run is told to the user in a message box before the
// call returns; a successful one shows nothing.
void extractSelf(HINSTANCE templateModule, HWND owner, HINSTANCE stubModule,
                 const char16_t* destination, const char16_t* archivePath,
                 const char16_t* tokenPassword);
