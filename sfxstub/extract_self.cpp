// The extraction run: a fresh reader for every press of Extract, keyed from the token or the
// password dialog, run under the progress dialog, with a message box only when it failed.
#include "sfxstub/extract_self.h"

#include "common/archive/job_records.h"
#include "common/archive/progress_dialog.h"
#include "common/archive/wide_buf.h"
#include "common/crypto/password_dialog.h"

namespace {

// runPasswordDialog's answer for Cancel or a closed window.
constexpr int kPasswordCancelled = 2;
// runProgressDialog's answer when the dialog could not be shown.
constexpr int kDialogNotShown = -1;

// Keys the reader from what the user types. False when the user cancelled: then nothing is
// extracted. An empty password keys nothing, and the run goes on (an archive written without a
// password still extracts).
bool askPassword(HINSTANCE templateModule, HWND owner, ArchiveReader& reader) {
    // The buffer carries the mode in and the typed text out; it wipes itself when it goes.
    WideBuf password;
    password.assign(kDecryptMode);
    if (runPasswordDialog(templateModule, kExtractorDecryptDialog, owner, password) ==
        kPasswordCancelled) {
        return false;
    }
    if (password.length() > 0) reader.setPassword(password.text());
    return true;
}

// The reader's failure, told to the user over the main dialog: no caption of its own (the
// system's default), an OK button and no icon.
void reportResult(HWND owner, const ArchiveReader& reader) {
    const char16_t* message = reader.resultMessage();
    if (message != nullptr) {
        MessageBoxW(owner, reinterpret_cast<const wchar_t*>(message), nullptr, MB_OK);
    }
}

}  // namespace

void extractSelf(HINSTANCE templateModule, HWND owner, HINSTANCE stubModule,
                 const char16_t* destination, const char16_t* archivePath,
                 const char16_t* tokenPassword) {
    ArchiveReader reader;
    ProgressJob job;
    job.reader = &reader;
    reader.configure(stubModule, destination, archivePath);
    if (tokenPassword != nullptr) {
        reader.setPassword(tokenPassword);
    } else if (!askPassword(templateModule, owner, reader)) {
        return;
    }
    // The dialog starts the reader's worker and returns once it has ended, so the result can
    // be read at once. A dialog the system could not make has run nothing: that is told as the
    // lack of resources it is, rather than left as silent as a success.
    if (runProgressDialog(templateModule, kExtractorProgressDialog, owner, job) ==
        kDialogNotShown) {
        reader.result = kOutOfMemory;
    }
    reportResult(owner, reader);
}
