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
// The dialogs' answer when the system could not show them.
constexpr int kDialogNotShown = -1;

enum class Asked { kAnswered, kCancelled, kNotShown };

// Keys the reader from what the user types. When the user cancelled nothing is extracted. An
// empty password keys nothing, and the run goes on (an archive written without a password still
// extracts). A dialog the system could not show is not an empty answer: running on without a key
// would blame the user's password.
Asked askPassword(HINSTANCE templateModule, HWND owner, ArchiveReader& reader) {
    // The buffer carries the mode in and the typed text out; it wipes itself when it goes.
    WideBuf password;
    password.assign(kDecryptMode);
    const int answer = runPasswordDialog(templateModule, kExtractorDecryptDialog, owner, password);
    if (answer == kPasswordCancelled) return Asked::kCancelled;
    if (answer == kDialogNotShown) return Asked::kNotShown;
    if (password.length() > 0) reader.setPassword(password.text());
    return Asked::kAnswered;
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
    } else {
        const Asked asked = askPassword(templateModule, owner, reader);
        if (asked == Asked::kCancelled) return;
        if (asked == Asked::kNotShown) {
            reader.result = kOutOfMemory;
            reportResult(owner, reader);
            return;
        }
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
