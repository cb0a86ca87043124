// The plug-in's extraction dialog and its run (see extraction_dialog.h).
#include "sfxbuild/extraction_dialog.h"

#include "common/archive/extraction_run.h"
#include "common/support/localised_text.h"
#include "common/support/secure_zero.h"
#include "common/support/string_ids.h"
#include "common/support/wide_chars.h"
#include "common/support/window_helpers.h"
#include "sfxbuild/library_state.h"
#include "sfxbuild/resource_ids.h"

namespace {

// Characters of a folder path the dialog reads, terminator included (259 arrive).
constexpr int kFolderChars = MAX_PATH;

// The request a dialog was opened with, kept in the dialog itself rather than library-wide, so
// that an export the host calls from inside this one's modal loop cannot take it away.
const ExtractRequest* requestOf(HWND dialog) {
    return reinterpret_cast<const ExtractRequest*>(GetWindowLongPtrW(dialog, DWLP_USER));
}

void setText(HWND dialog, int id, uint32_t textId) {
    SetDlgItemTextW(dialog, id, wide(loadText(textId)));
}

INT_PTR onInitDialog(HWND dialog, LPARAM lParam) {
    SetWindowLongPtrW(dialog, DWLP_USER, lParam);
    centreWindow(dialog, 0);

    wchar_t folder[kFolderChars] = {};
    const DWORD length = GetCurrentDirectoryW(kFolderChars, folder);
    // A longer current directory does not fit: the destination then starts empty.
    if (length >= static_cast<DWORD>(kFolderChars)) folder[0] = 0;
    SetDlgItemTextW(dialog, BUILD_EXTRACT_DESTINATION, folder);
    secureZeroObject(folder);

    SetWindowTextW(dialog, wide(loadText(kStrSelfExtractingTitle)));
    setText(dialog, BUILD_EXTRACT_HELP, kStrExtractHelp);
    setText(dialog, BUILD_EXTRACT_DESTINATION_LABEL, kStrDestinationDirectory);
    setText(dialog, BUILD_EXTRACT_EXTRACT, kStrExtractButton);
    setText(dialog, BUILD_EXTRACT_BROWSE, kStrBrowseButton);
    setText(dialog, IDCANCEL, kStrCancel);
    return TRUE;
}

// A destination too long to read whole is refused with a message before the password is asked
// for, and the dialog stays open for a shorter one. Otherwise Extract always closes the dialog.
INT_PTR onExtract(HWND dialog) {
    wchar_t destination[kFolderChars] = {};
    if (!readDestination(dialog, BUILD_EXTRACT_DESTINATION, destination, kFolderChars)) {
        return TRUE;
    }
    const ExtractRequest* request = requestOf(dialog);
    if (request != nullptr) {
        runExtraction(ownModule(), dialog, request->ownerModule, utf16(destination),
                      request->archivePath, request->password);
    }
    secureZeroObject(destination);
    EndDialog(dialog, 0);
    return TRUE;
}

INT_PTR onCommand(HWND dialog, WPARAM wParam) {
    switch (LOWORD(wParam)) {
        case IDCANCEL:
            EndDialog(dialog, IDCANCEL);
            return TRUE;
        case BUILD_EXTRACT_BROWSE:
            browseFolder(GetDlgItem(dialog, BUILD_EXTRACT_DESTINATION));
            return FALSE;
        case BUILD_EXTRACT_EXTRACT:
            return onExtract(dialog);
        default:
            return FALSE;
    }
}

}  // namespace

INT_PTR CALLBACK ExtractionDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            return onInitDialog(dialog, lParam);
        case WM_COMMAND:
            return onCommand(dialog, wParam);
        default:
            return FALSE;
    }
}

void runExtraction(HINSTANCE templates, HWND dialog, HMODULE ownerModule,
                   const char16_t* destination, const char16_t* archivePath,
                   const char16_t* password) {
    static constexpr ExtractionDialogs kDialogs = {kPluginPasswordDialog, kPluginProgressDialog};
    runExtractionWithDialogs(templates, kDialogs, dialog, ownerModule, destination, archivePath,
                             password);
}
