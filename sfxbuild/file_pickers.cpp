// The two open-file dialogs behind Add Files (see file_pickers.h).
#include "sfxbuild/file_pickers.h"

#include <commdlg.h>

#include <cstddef>

#include "common/archive/archive_name.h"
#include "common/archive/name_list.h"
#include "common/archive/wide_buf.h"
#include "common/support/code_page.h"
#include "common/support/wide_chars.h"
#include "sfxbuild/library_state.h"

namespace {

// The file-name box of the open-file dialog.
constexpr int kFileNameBox = 1152;
// Characters of a path, terminator included: the explorer dialog's result and its folder.
constexpr uint32_t kPathChars = MAX_PATH;
// The old dialog's result, which has to hold a whole multiple selection.
constexpr uint32_t kLegacyResultChars = 260000;

constexpr DWORD kCommonFlags = OFN_EXPLORER | OFN_ALLOWMULTISELECT | OFN_FILEMUSTEXIST |
                               OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_ENABLESIZING;

// The size of the version-4 layout, which every system's dialog accepts: the structure up to
// and including its template name: 76 bytes in a 32-bit program, 136 with 64-bit pointers.
constexpr DWORD kVersion4Size = offsetof(OPENFILENAMEW, lpTemplateName) + sizeof(LPCWSTR);
static_assert(kVersion4Size == (sizeof(void*) == 4 ? 76 : 136));

// The hook's capture buffer, lent by pickFiles for the length of its dialog, is kept with the
// hook's own dialog (its user value), not library-wide: an Add Files opened while another is open
// (a host calling an export from inside the first one's modal loop) has its own buffer and must
// neither take the outer one's nor leave it unset when it ends.
WideBuf* captureOf(HWND hook) {
    return reinterpret_cast<WideBuf*>(GetWindowLongPtrW(hook, DWLP_USER));
}

bool isDirectory(const char16_t* path) {
    const DWORD attributes = GetFileAttributesW(wide(path));
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool sameText(const char16_t* a, const char16_t* b) {
    while (*a != 0 && *a == *b) ++a, ++b;
    return *a == *b;
}

// Ends the text at its last backslash (a file's path becomes its folder's).
void cutAtLastBackslash(char16_t* path) {
    char16_t* last = nullptr;
    for (char16_t* p = path; *p != 0; ++p) {
        if (*p == u'\\') last = p;
    }
    if (last != nullptr) *last = 0;
}

const char16_t* afterLastBackslash(const char16_t* path) {
    const char16_t* name = path;
    for (const char16_t* p = path; *p != 0; ++p) {
        if (*p == u'\\') name = p + 1;
    }
    return name;
}

void copyFolder(char16_t* selectionFolder, const char16_t* folder) {
    uint32_t i = 0;
    for (; i + 1 < kSelectionFolderChars && folder[i] != 0; ++i) selectionFolder[i] = folder[i];
    selectionFolder[i] = 0;
}

// The list and, when none was typed or derived before, the archive name from its first name.
void showPick(HWND listEdit, HWND archiveNameEdit, const char16_t* names, bool selfExtracting) {
    SetWindowTextW(listEdit, wide(names));
    if (GetWindowTextLengthW(archiveNameEdit) != 0) return;
    WideBuf archiveName;
    defaultArchiveName(names, selfExtracting, archiveName);
    if (archiveName.data != nullptr) SetWindowTextW(archiveNameEdit, wide(archiveName.text()));
}

OPENFILENAMEW dialogFor(HWND listEdit, char16_t* result, uint32_t resultChars) {
    OPENFILENAMEW ofn = {};
    ofn.lStructSize = kVersion4Size;
    ofn.hwndOwner = GetParent(listEdit);
    ofn.lpstrFile = wide(result);
    ofn.nMaxFile = resultChars;
    ofn.Flags = kCommonFlags;
    return ofn;
}

// The folder and the name box as they are now, after a selection change.
void captureSelection(HWND fileDialog, WideBuf& capture) {
    const int boxChars = GetWindowTextLengthW(GetDlgItem(fileDialog, kFileNameBox));
    if (boxChars <= 0) return;
    const uint32_t need = static_cast<uint32_t>(boxChars) + 270;
    if (capture.capacity < need && !capture.ensureCapacity(need)) return;
    const LRESULT folderChars = SendMessageW(fileDialog, CDM_GETFOLDERPATH, kPathChars,
                                             reinterpret_cast<LPARAM>(capture.data));
    // The count includes the terminator; one beyond the room would put the names past the end.
    if (folderChars <= 0 || folderChars > static_cast<LRESULT>(kPathChars)) return;
    GetDlgItemTextW(fileDialog, kFileNameBox, wide(capture.data + folderChars), boxChars + 10);
}

}  // namespace

UINT_PTR CALLBACK selectionHook(HWND hook, UINT message, WPARAM, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            SetWindowLongPtrW(hook, DWLP_USER,
                              reinterpret_cast<const OPENFILENAMEW*>(lParam)->lCustData);
            return 0;
        case WM_NOTIFY: {
            // The hook is a child of the open-file dialog, which owns the controls.
            WideBuf* capture = captureOf(hook);
            if (capture != nullptr && capture->data != nullptr &&
                reinterpret_cast<const NMHDR*>(lParam)->code == CDN_SELCHANGE) {
                captureSelection(GetParent(hook), *capture);
            }
            return 0;
        }
        default:
            return 0;
    }
}

void pickFiles(HWND listEdit, HWND archiveNameEdit, char16_t* selectionFolder,
               bool selfExtracting) {
    WideBuf capture;
    char16_t result[kPathChars] = {};
    OPENFILENAMEW ofn = dialogFor(listEdit, result, kPathChars);
    ofn.lpstrFileTitle = wide(capture.data);
    ofn.nMaxFileTitle = 0;
    ofn.lCustData = reinterpret_cast<LPARAM>(&capture);
    ofn.lpfnHook = selectionHook;
    ofn.Flags |= OFN_ENABLEHOOK;
    const BOOL picked = GetOpenFileNameW(&ofn);
    if (!picked || capture.data == nullptr || capture.length() == 0) return;

    // The folder is the one the dialog's result names, not the one of the last selection
    // change: the user may have typed a path into the name box since, or picked a shortcut the
    // dialog followed to a file elsewhere. A multiple selection leaves only the folder in the
    // result; one file, its whole path.
    const bool several = isDirectory(result);
    const char16_t* names = several ? nullptr : afterLastBackslash(result);
    if (!several) cutAtLastBackslash(result);
    WideBuf typed;
    if (several) {
        // The captured name box belongs to this result only when it was captured in its folder;
        // otherwise the names come from the result itself, in the same quoted form.
        const char16_t* boxText = capture.data + capture.length() + 1;
        if (sameText(capture.data, result)) {
            names = boxText;
        } else {
            typed.assign(u"");
            for (const char16_t* name = result + wideLength(result) + 1; *name != 0;
                 name += wideLength(name) + 1) {
                appendQuotedName(typed, name);
            }
            names = typed.text();
        }
    }
    copyFolder(selectionFolder, result);
    showPick(listEdit, archiveNameEdit, names, selfExtracting);
}

void pickFilesLegacy(HWND listEdit, HWND archiveNameEdit, char16_t* selectionFolder,
                     bool selfExtracting) {
    WideBuf result;
    if (!result.ensureCapacity(kLegacyResultChars)) return;
    OPENFILENAMEW ofn = dialogFor(listEdit, result.data, kLegacyResultChars);
    if (!GetOpenFileNameW(&ofn) || result.data[0] == 0) return;

    // One file comes as its path: split it into the folder and the name, as a selection of
    // several comes.
    if (!isDirectory(result.data)) {
        char16_t* name = const_cast<char16_t*>(afterLastBackslash(result.data));
        if (name != result.data) name[-1] = 0;
    }
    copyFolder(selectionFolder, result.data);
    const char16_t* first = result.data + result.length() + 1;
    showPick(listEdit, archiveNameEdit, first, selfExtracting);

    const char16_t* next = first + wideLength(first) + 1;
    if (*first == 0 || *next == 0) return;
    WideBuf list;
    list.assign(u"");
    appendQuotedName(list, first);
    for (; *next != 0; next += wideLength(next) + 1) appendQuotedName(list, next);
    SetWindowTextW(listEdit, wide(list.text()));
}
