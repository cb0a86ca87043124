// What the plug-in keeps between and across its exports: its own module (where its dialog
// templates and the extractor image live), the folder of the last Add Files, and the two records
// an export hands to the dialog it opens. The string module, the other library-wide value, is the
// localised-text lookup's own (setStringModule). One set per process and unguarded: the host calls
// one export at a time, from its interface thread.
#pragma once

#include <windows.h>

#include <cstdint>

// Room of the selection folder, in characters, terminator included.
inline constexpr uint32_t kSelectionFolderChars = MAX_PATH;

// The library's own module, saved when the library is loaded.
HINSTANCE ownModule();
void setOwnModule(HINSTANCE module);

// The folder the listed names of the creation dialog are relative to: kSelectionFolderChars
// characters, empty until the first Add Files, then kept until the library is unloaded.
char16_t* selectionFolder();

// The creation dialog's parameter, built on the export's stack for the dialog's lifetime.
struct CreateRequest {
    const char16_t* password = nullptr;  // null: the user is asked on Create
    HMODULE stubModule = nullptr;        // holds TRV_SFX; null: a plain encrypted archive
};

// The extraction dialog's parameter, built on the export's stack for the dialog's lifetime.
struct ExtractRequest {
    const char16_t* password = nullptr;  // null: the user is asked on Extract
    HMODULE ownerModule = nullptr;       // handed on to the reader, which does not use it
    const char16_t* archivePath = nullptr;
};
