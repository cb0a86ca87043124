// One extraction under the dialogs, as both front ends run it for a press of Extract: a fresh
// reader keyed with the given password or with what the user types, run under the progress
// dialog, and a message box when it failed. The extractor and the plug-in differ only in their
// dialog templates and in where a given password comes from (a token, or the host). Windows only.
#pragma once

#include <windows.h>

#include "common/archive/progress_dialog.h"
#include "common/crypto/password_dialog.h"

// The templates of one deliverable's two dialogs, both in the template module.
struct ExtractionDialogs {
    const PasswordDialogIds& password;
    const ProgressDialogIds& progress;
};

// Reads the destination folder typed into control `editId` of `dialog` into `buffer`, which holds
// `chars` characters, terminator included. A longer text is not cut, since a cut path names some
// other folder: the user is told in a message box like a failed run's (text 105, nothing could be
// written to the destination), the buffer is left empty and the answer is false. Call before
// anything is asked for, so a refused destination costs the user nothing but the message.
bool readDestination(HWND dialog, int editId, wchar_t* buffer, int chars);

// Extracts `archive` into `destination` (both passed on unchanged). With a `password` that
// password keys the run; with none the user is asked first, and Cancel there ends the call
// silently. Every window opened here is owned by `owner`. A failed run, and a run whose dialogs
// the system could not show (told as a want of memory), ends with the reader's message in a
// message box with the system's caption, an OK button and no icon; a successful run shows
// nothing. Returns once everything is closed.
void runExtractionWithDialogs(HINSTANCE templates, const ExtractionDialogs& dialogs, HWND owner,
                              HMODULE ownerModule, const char16_t* destination,
                              const char16_t* archive, const char16_t* password);
