// Watches a progress dialog's job from the inside. A hook on the interface thread sees every
// message sent to the dialog's three controls before the controls do: it records them, and it
// can hold the worker at a chosen report (by not letting that message through yet) while the
// dialog itself goes on running, so a test can look at, move and poke a dialog whose job is
// still in progress. One watch at a time; made on the thread that will run the dialog.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "common/archive/progress_dialog.h"

namespace gui {

struct Report {
    int control;           // the control's id
    UINT message;          // WM_SETTEXT or PBM_SETPOS
    std::wstring text;     // of WM_SETTEXT
    int position;          // of PBM_SETPOS
    bool fromOtherThread;  // sent by a thread other than the dialog's
};

class JobWatch {
  public:
    explicit JobWatch(const ProgressDialogIds& ids);
    ~JobWatch();
    JobWatch(const JobWatch&) = delete;
    JobWatch& operator=(const JobWatch&) = delete;

    // Holds the worker at the first report for which `when` is true (before the control gets
    // it), until release().
    void holdAt(std::function<bool(const Report&)> when);
    // On the driver thread: waits until the worker is held; false after `timeoutMs`.
    bool waitUntilHeld(int timeoutMs = 10000);
    void release();

    std::vector<Report> reports() const;
    // Whether a dialog of this thread was shown while the watch was on.
    bool dialogShown() const { return shown_; }

  private:
    static LRESULT CALLBACK hook(int code, WPARAM wParam, LPARAM lParam);
    void observe(const CWPSTRUCT& message);
    void holdHere(HWND dialog);

    ProgressDialogIds ids_;
    HHOOK hook_ = nullptr;
    mutable std::mutex mutex_;
    std::vector<Report> reports_;
    std::function<bool(const Report&)> holdWhen_;
    bool holdDone_ = false;
    std::atomic<bool> held_{false};
    std::atomic<bool> released_{false};
    std::atomic<bool> shown_{false};
};

}  // namespace gui
