#include <windows.h>

#include <commctrl.h>

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

void DialogProgress::stepBar() {
    if (bar != nullptr) SendMessageW(hwnd(bar), PBM_STEPIT, 0, 0);
}

void DialogProgress::endDialog(int result) {
    if (dialog != nullptr) EndDialog(hwnd(dialog), result);
}
