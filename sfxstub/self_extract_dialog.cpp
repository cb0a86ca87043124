// The main dialog. Every text but the destination comes from the string table; the destination
// starts as the process's current directory. Extract asks the token, then runs one extraction
// and leaves the dialog open for another attempt; only Cancel, Escape and the close box end it.
#include "sfxstub/self_extract_dialog.h"

#include "common/archive/extraction_run.h"
#include "common/support/localised_text.h"
#include "common/support/secure_zero.h"
#include "common/support/string_ids.h"
#include "common/support/wide_chars.h"
#include "common/support/window_helpers.h"
#include "sfxstub/extract_self.h"
#include "sfxstub/resource_ids.h"
#include "sfxstub/token_password.h"

namespace {

// The destination and own-path buffers, terminator included.
constexpr DWORD kPathChars = 259;
// The token password buffer; the token writes at most kTokenPasswordChars into it.
constexpr int kTokenBufferChars = 100;
static_assert(kTokenBufferChars >= kTokenPasswordChars);

HINSTANCE instanceOf(HWND dialog) {
    return reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(dialog, GWLP_HINSTANCE));
}

void setText(HWND dialog, int id, uint32_t textId) {
    SetDlgItemTextW(dialog, id, wide(loadText(textId)));
}

// The process's current directory; empty when it does not fit (the call then reports the size
// it would need and writes nothing).
void showCurrentDirectory(HWND dialog) {
    wchar_t destination[kPathChars] = {};
    const DWORD length = GetCurrentDirectoryW(kPathChars, destination);
    if (length == 0 || length >= kPathChars) destination[0] = 0;
    SetDlgItemTextW(dialog, SFX_MAIN_DESTINATION, destination);
    secureZeroObject(destination);
}

void showTexts(HWND dialog) {
    SetWindowTextW(dialog, wide(loadText(kStrSelfExtractingTitle)));
    setText(dialog, SFX_MAIN_HELP, kStrExtractHelp);
    setText(dialog, SFX_MAIN_DESTINATION_LABEL, kStrDestinationDirectory);
    setText(dialog, SFX_MAIN_EXTRACT, kStrExtractButton);
    setText(dialog, SFX_MAIN_BROWSE, kStrBrowseButton);
    setText(dialog, IDCANCEL, kStrCancel);
}

// Icon 103 in the caption and, as the class icon, for the task switcher. The caption gets the
// icon's own small image rather than the large one shrunk.
void showIcon(HWND dialog) {
    const HINSTANCE instance = instanceOf(dialog);
    const HANDLE small =
        LoadImageW(instance, MAKEINTRESOURCEW(SFX_ICON_PROGRAM), IMAGE_ICON,
                   GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), LR_SHARED);
    SendMessageW(dialog, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));
    const HICON large = LoadIconW(instance, MAKEINTRESOURCEW(SFX_ICON_PROGRAM));
    SetClassLongPtrW(dialog, GCLP_HICON, reinterpret_cast<LONG_PTR>(large));
}

INT_PTR onInit(HWND dialog) {
    centreWindow(dialog, 0);
    showCurrentDirectory(dialog);
    showTexts(dialog);
    showIcon(dialog);
    // Focus to the first tab stop, the destination edit.
    return TRUE;
}

// The running program's own file, the archive. A path the buffer cannot hold whole is left
// empty rather than cut: a cut path names some other file, and an empty one fails the run as
// an unreadable archive.
void readOwnPath(wchar_t (&path)[kPathChars]) {
    const DWORD length = GetModuleFileNameW(nullptr, path, kPathChars);
    if (length == 0 || length >= kPathChars) path[0] = 0;
}

// A destination too long for its buffer is refused before the token or the user is asked for
// anything. Both paths are wiped when the press has been handled.
void onExtract(HWND dialog) {
    wchar_t destination[kPathChars] = {};
    if (!readDestination(dialog, SFX_MAIN_DESTINATION, destination, kPathChars)) return;
    wchar_t ownPath[kPathChars] = {};
    readOwnPath(ownPath);
    // The token may ask for its PIN here. Its password lives only for this press.
    char16_t tokenPassword[kTokenBufferChars] = {};
    const HINSTANCE instance = instanceOf(dialog);
    const bool fromToken = readTokenPassword(instance, dialog, tokenPassword);
    extractSelf(instance, dialog, instance, utf16(destination), utf16(ownPath),
                fromToken ? tokenPassword : nullptr);
    secureZeroObject(tokenPassword);
    secureZeroObject(ownPath);
    secureZeroObject(destination);
}

INT_PTR onCommand(HWND dialog, WORD id) {
    switch (id) {
        case IDCANCEL:
            EndDialog(dialog, IDCANCEL);
            return TRUE;
        case SFX_MAIN_BROWSE:
            browseFolder(GetDlgItem(dialog, SFX_MAIN_DESTINATION));
            return FALSE;
        case SFX_MAIN_EXTRACT:
            onExtract(dialog);
            return FALSE;
        default:
            return FALSE;
    }
}

}  // namespace

INT_PTR runSelfExtractDialog(HINSTANCE instance) {
    return DialogBoxParamW(instance, MAKEINTRESOURCEW(SFX_MAIN_DIALOG), nullptr,
                           selfExtractDialogProc, 0);
}

INT_PTR CALLBACK selfExtractDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            return onInit(dialog);
        case WM_COMMAND:
            return onCommand(dialog, LOWORD(wParam));
        default:
            return FALSE;
    }
}
