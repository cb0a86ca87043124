#include <windows.h>

#include <commctrl.h>

#include "common/archive/progress_dialog.h"
#include "common/archive/progress_sink.h"

namespace {

HWND hwnd(WindowHandle h) {
    return static_cast<HWND>(h);
}

}  // namespace

void DialogProgress::bind(WindowHandle dialogWindow, int statusId, int percentId, int barId) {
    if (dialogWindow == nullptr) return;
    HWND d = hwnd(dialogWindow);
    dialog = dialogWindow;
    status = statusId != 0 ? GetDlgItem(d, statusId) : nullptr;
    percent = percentId != 0 ? GetDlgItem(d, percentId) : nullptr;
    bar = barId != 0 ? GetDlgItem(d, barId) : nullptr;
}

void DialogProgress::showStatus(const char16_t* text) {
    if (status != nullptr)
        SendMessageW(hwnd(status), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
}

void DialogProgress::showPercent(const char16_t* text) {
    if (percent != nullptr) {
        SendMessageW(hwnd(percent), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
    }
}

void DialogProgress::moveBar(uint32_t percent) {
    if (bar != nullptr) SendMessageW(hwnd(bar), PBM_SETPOS, percent, 0);
}

// Sent, so the worker waits for the answer while the dialog's thread shows the question: a
// message box belongs on the thread of the window that owns it.
bool DialogProgress::allowUnverified(bool laterVersion) {
    if (dialog == nullptr) return false;
    return SendMessageW(hwnd(dialog), kAskUnverifiedMessage, laterVersion ? 1 : 0, 0) == IDYES;
}

// Posted, not ended from here: the dialog ends itself on its own thread (progressDialogProc),
// so the worker's last act is one that never waits for the interface thread. EndDialog from this
// thread would send messages to the dialog's owner after the modal loop may already have
// returned, while the front end waits for this thread to end. Only if the message cannot be
// posted is the dialog ended from here, since it would otherwise never end.
void DialogProgress::endDialog(int result) {
    if (dialog == nullptr) return;
    if (!PostMessageW(hwnd(dialog), kEndProgressMessage, static_cast<WPARAM>(result), 0)) {
        EndDialog(hwnd(dialog), result);
    }
}
