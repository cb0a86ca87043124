#include "tests/gui/job_watch.h"

#include <commctrl.h>
#include <gtest/gtest.h>

namespace gui {

namespace {

JobWatch* g_watch = nullptr;

bool isDialog(HWND window) {
    wchar_t cls[16] = {};
    GetClassNameW(window, cls, 16);
    return std::wstring(cls) == L"#32770";
}

}  // namespace

JobWatch::JobWatch(const ProgressDialogIds& ids) : ids_(ids) {
    g_watch = this;
    hook_ = SetWindowsHookExW(WH_CALLWNDPROC, hook, nullptr, GetCurrentThreadId());
}

JobWatch::~JobWatch() {
    if (hook_ != nullptr) UnhookWindowsHookEx(hook_);
    g_watch = nullptr;
}

LRESULT CALLBACK JobWatch::hook(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION && g_watch != nullptr) {
        g_watch->observe(*reinterpret_cast<const CWPSTRUCT*>(lParam));
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

void JobWatch::observe(const CWPSTRUCT& m) {
    if (m.message == WM_SHOWWINDOW && m.wParam != 0 && isDialog(m.hwnd)) shown_ = true;
    if (m.message != WM_SETTEXT && m.message != PBM_SETPOS) return;
    const HWND dialog = GetParent(m.hwnd);
    if (dialog == nullptr || !isDialog(dialog)) return;
    const int id = GetDlgCtrlID(m.hwnd);
    if (id != ids_.status && id != ids_.percent && id != ids_.bar) return;
    Report r{id, m.message, L"", static_cast<int>(m.wParam),
             (InSendMessageEx(nullptr) & ISMEX_SEND) != 0};
    if (m.message == WM_SETTEXT && m.lParam != 0)
        r.text = reinterpret_cast<const wchar_t*>(m.lParam);
    bool hold = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        reports_.push_back(r);
        if (!holdDone_ && holdWhen_ && holdWhen_(r)) hold = holdDone_ = true;
    }
    if (hold) holdHere(dialog);
}

// The worker waits in its SendMessage while this thread goes on running the dialog, as its own
// modal loop would: keyboard handling included, and showing the dialog, which the modal loop does
// once no message waits (a job's first report comes before that). A test that never releases
// the job gets it back after half a minute, so a failing test cannot hang the run.
void JobWatch::holdHere(HWND dialog) {
    if (!IsWindowVisible(dialog)) ShowWindow(dialog, SW_SHOWNORMAL);
    held_ = true;
    const DWORD start = GetTickCount();
    while (!released_) {
        if (GetTickCount() - start > 30000) {
            ADD_FAILURE() << "the held job was never released";
            break;
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (!IsDialogMessageW(dialog, &msg)) {
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
        }
    }
}

void JobWatch::holdAt(std::function<bool(const Report&)> when) {
    std::lock_guard<std::mutex> lock(mutex_);
    holdWhen_ = std::move(when);
}

bool JobWatch::waitUntilHeld(int timeoutMs) {
    for (int waited = 0; waited <= timeoutMs; waited += 5) {
        if (held_) return true;
        Sleep(5);
    }
    return false;
}

void JobWatch::release() {
    released_ = true;
}

std::vector<Report> JobWatch::reports() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return reports_;
}

}  // namespace gui
