// The plug-in's creation dialog and its run (see creation_dialog.h).
#include "sfxbuild/creation_dialog.h"

#include "common/archive/job_records.h"
#include "common/archive/name_list.h"
#include "common/archive/progress_dialog.h"
#include "common/archive/wide_buf.h"
#include "common/crypto/password_dialog.h"
#include "common/support/localised_text.h"
#include "common/support/os_version.h"
#include "common/support/string_ids.h"
#include "common/support/system_report.h"
#include "common/support/wide_chars.h"
#include "common/support/window_helpers.h"
#include "sfxbuild/file_pickers.h"
#include "sfxbuild/library_state.h"
#include "sfxbuild/resource_ids.h"

namespace {

// The request a dialog was opened with, kept in the dialog itself rather than library-wide: a host
// may call another export from inside this one's modal loop (on a timer, say), and the dialog
// that call opens and closes again must not leave this one with its request.
const CreateRequest* requestOf(HWND dialog) {
    return reinterpret_cast<const CreateRequest*>(GetWindowLongPtrW(dialog, DWLP_USER));
}

bool selfExtracting(HWND dialog) {
    const CreateRequest* request = requestOf(dialog);
    return request != nullptr && request->stubModule != nullptr;
}

void setText(HWND dialog, int id, uint32_t textId) {
    SetDlgItemTextW(dialog, id, wide(loadText(textId)));
}

// The user asked for an archive and did not cancel, yet none was written: say so, or the
// dialog would close as if it had worked.
void reportNotCreated(HWND dialog) {
    MessageBoxW(dialog, wide(loadText(kStrArchiveNotCreated)), nullptr, MB_OK);
}

// A control's whole text, however long it is typed.
bool readWhole(HWND dialog, int id, WideBuf& out) {
    const int chars = GetWindowTextLengthW(GetDlgItem(dialog, id));
    if (chars < 0 || !out.ensureCapacity(static_cast<uint32_t>(chars) + 1)) return false;
    GetDlgItemTextW(dialog, id, wide(out.data), static_cast<int>(out.capacity));
    return true;
}

INT_PTR onInitDialog(HWND dialog, LPARAM lParam) {
    SetWindowLongPtrW(dialog, DWLP_USER, lParam);
    centreWindow(dialog, 0);
    SetWindowTextW(dialog, wide(loadText(selfExtracting(dialog) ? kStrCreateSelfExtractingTitle
                                                                : kStrEncryptFiles)));
    setText(dialog, BUILD_CREATE_NAME_LABEL, kStrArchiveName);
    setText(dialog, BUILD_CREATE_FILES_LABEL, kStrAddedFiles);
    setText(dialog, BUILD_CREATE_ADD_FILES, kStrAddFilesButton);
    setText(dialog, BUILD_CREATE_CREATE, kStrCreateButton);
    setText(dialog, IDCANCEL, kStrCancel);
    return TRUE;
}

INT_PTR onAddFiles(HWND dialog) {
    const HWND list = GetDlgItem(dialog, BUILD_CREATE_FILE_LIST);
    const HWND name = GetDlgItem(dialog, BUILD_CREATE_ARCHIVE_NAME);
    const int family = osClass();
    if (family >= kOsWindows95 && family <= kOsWindowsMe) {
        pickFilesLegacy(list, name, selectionFolder(), selfExtracting(dialog));
    } else {
        pickFiles(list, name, selectionFolder(), selfExtracting(dialog));
    }
    return FALSE;
}

INT_PTR onCreate(HWND dialog) {
    WideBuf list;
    WideBuf archiveName;
    if (!readWhole(dialog, BUILD_CREATE_FILE_LIST, list) || list.length() == 0) return FALSE;
    GetDlgItemTextW(dialog, BUILD_CREATE_ARCHIVE_NAME, wide(archiveName.data),
                    static_cast<int>(archiveName.capacity));
    const CreateRequest* request = requestOf(dialog);
    runCreation(ownModule(), dialog, request != nullptr ? request->stubModule : nullptr,
                selectionFolder(), archiveName.text(), list.text(),
                request != nullptr ? request->password : nullptr);
    EndDialog(dialog, BUILD_CREATE_CREATE);
    return TRUE;
}

INT_PTR onCommand(HWND dialog, WPARAM wParam) {
    switch (LOWORD(wParam)) {
        case IDCANCEL:
            EndDialog(dialog, IDCANCEL);
            return TRUE;
        case BUILD_CREATE_ADD_FILES:
            return onAddFiles(dialog);
        case BUILD_CREATE_CREATE:
            return onCreate(dialog);
        default:
            return FALSE;
    }
}

}  // namespace

INT_PTR CALLBACK CreationDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            return onInitDialog(dialog, lParam);
        case WM_COMMAND:
            return onCommand(dialog, wParam);
        default:
            return FALSE;
    }
}

void runCreation(HINSTANCE templates, HWND dialog, HMODULE stubModule,
                 const char16_t* selectionFolder, const char16_t* archiveName,
                 const char16_t* listText, const char16_t* password) {
    ArchiveWriter writer;
    WideBuf work;
    ProgressJob job;
    job.writer = &writer;
    if (listText == nullptr || listText[0] == 0) return;

    // The list goes in whole, up to the buffer's end: the names are followed by zeros there, so
    // the writer finds the empty name that ends them.
    const uint32_t count = parseNameList(listText, work);
    writer.configure(stubModule, selectionFolder, archiveName, work.data, work.capacity, count);

    // A password that cannot key the job (no memory for the key) must not leave an archive
    // written in the clear as if it were keyed.
    if (password != nullptr) {
        if (!writer.setPassword(password) && password[0] != 0) {
            reportNotCreated(dialog);
            return;
        }
    } else {
        work.assign(kEncryptMode);
        const int answer = runPasswordDialog(templates, kPluginPasswordDialog, dialog, work);
        if (answer == IDCANCEL) return;
        // No password dialog at all is no consent to an archive without a key.
        if (answer != IDOK) {
            reportNotCreated(dialog);
            return;
        }
        if (work.length() > 0 && !writer.setPassword(work.text())) {
            reportNotCreated(dialog);
            return;
        }
    }

    if (runProgressDialog(templates, kPluginProgressDialog, dialog, job) == -1 ||
        writer.writeResult != kWriteOk) {
        reportNotCreated(dialog);
    }
}
