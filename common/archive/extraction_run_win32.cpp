// One extraction under the dialogs (see the header).
#include "common/archive/extraction_run.h"

#include "common/archive/file_table.h"
#include "common/archive/job_records.h"
#include "common/archive/stored_name.h"
#include "common/archive/visible_name.h"
#include "common/archive/wide_buf.h"
#include "common/support/code_page.h"
#include "common/support/localised_text.h"
#include "common/support/string_ids.h"
#include "common/support/wide_chars.h"

namespace {

// runPasswordDialog's answer for Cancel or a closed window.
constexpr int kPasswordCancelled = 2;
// The dialogs' answer when the system could not show them.
constexpr int kDialogNotShown = -1;

enum class Asked { kAnswered, kCancelled, kNotShown, kNoKey };

// Keys the reader from what the user types. An empty password keys nothing, and the run goes
// on (an archive written without a password still extracts). A dialog the system could not show
// is not an empty answer: running on without a key would blame the user's password. Nor is a
// typed password that gives no key (no memory for it).
Asked askPassword(HINSTANCE templates, const PasswordDialogIds& ids, HWND owner,
                  ArchiveReader& reader) {
    // The buffer carries the mode in and the typed text out; it wipes itself when it goes.
    WideBuf typed;
    typed.assign(kDecryptMode);
    const int answer = runPasswordDialog(templates, ids, owner, typed);
    if (answer == kPasswordCancelled) return Asked::kCancelled;
    if (answer == kDialogNotShown) return Asked::kNotShown;
    if (typed.length() > 0 && !reader.setPassword(typed.text())) return Asked::kNoKey;
    return Asked::kAnswered;
}

// The reader's message; for a file that could not be written or was refused its place, with
// the file's path below it (the destination, a backslash unless it ends in one, the stored
// name as shown), so the user knows which file to look at.
void reportResult(HWND owner, const ArchiveReader& reader) {
    const char16_t* message = reader.resultMessage();
    if (message == nullptr) return;
    WideBuf text;
    text.assign(message);
    if (reader.result == kWriteError && reader.failedFile < reader.fileTable.count() &&
        text.data != nullptr) {
        const WideBuf& destination = reader.destinationFolder;
        const uint32_t chars = destination.length();
        text.append(u"\n\n");
        if (chars > 0) {
            text.append(destination.data);
            if (!isPathSeparator(destination.data[chars - 1])) text.append(u"\\");
        }
        // Shown so that the name cannot pass itself off as another (see visible_name.h).
        const char16_t* name = reader.fileTable.nameOf(reader.failedFile);
        char16_t shown[kMaxNameChars * kVisibleGrowth + 1];
        visibleName(name, wideLength(name), shown, kMaxNameChars * kVisibleGrowth + 1);
        text.append(shown);
    }
    MessageBoxW(owner, wide(text.data != nullptr ? text.data : message), nullptr, MB_OK);
}

}  // namespace

bool readDestination(HWND dialog, int editId, wchar_t* buffer, int chars) {
    if (buffer == nullptr || chars <= 0) return false;
    buffer[0] = 0;
    if (GetWindowTextLengthW(GetDlgItem(dialog, editId)) >= chars) {
        MessageBoxW(dialog, wide(loadText(kStrWriteError)), nullptr, MB_OK);
        return false;
    }
    GetDlgItemTextW(dialog, editId, buffer, chars);
    return true;
}

void runExtractionWithDialogs(HINSTANCE templates, const ExtractionDialogs& dialogs, HWND owner,
                              HMODULE ownerModule, const char16_t* destination,
                              const char16_t* archive, const char16_t* password) {
    ArchiveReader reader;
    ProgressJob job;
    job.reader = &reader;
    reader.configure(ownerModule, destination, archive);
    // An archive that cannot be checked for changes is the user's call, asked before anything
    // is written; No ends the run quietly, since the user has just said so.
    reader.unverified = kUnverifiedAsk;
    // A given password that gives no key is told as the want of memory it is, before anything
    // runs; an empty one keys nothing, as a typed empty one does.
    if (password != nullptr) {
        if (!reader.setPassword(password) && password[0] != 0) {
            reader.result = kOutOfMemory;
            reportResult(owner, reader);
            return;
        }
    } else {
        const Asked asked = askPassword(templates, dialogs.password, owner, reader);
        if (asked == Asked::kCancelled) return;
        if (asked == Asked::kNotShown || asked == Asked::kNoKey) {
            reader.result = kOutOfMemory;
            reportResult(owner, reader);
            return;
        }
    }
    // The dialog starts the reader's worker and returns once it has ended, so the result can be
    // read at once. A dialog the system could not make has run nothing: that is told as the lack
    // of resources it is, rather than left as silent as a success.
    if (runProgressDialog(templates, dialogs.progress, owner, job) == kDialogNotShown) {
        reader.result = kOutOfMemory;
    }
    reportResult(owner, reader);
}
