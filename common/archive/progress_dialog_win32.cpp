// The progress dialog: binds the job to its controls and starts the worker when it opens, lets
// the user move the caption-less window by its body, and ends when the job asks it to. Escape and
// close requests do nothing: a job, once started, runs to its end.
#include "common/archive/progress_dialog.h"

#include <commctrl.h>

#include "common/support/localised_text.h"
#include "common/support/string_ids.h"
#include "common/support/wide_chars.h"
#include "common/support/window_helpers.h"

namespace {

// One progress dialog is open at a time in a process; both slots are written on the interface
// thread only.
ProgressJob* g_job = nullptr;
ProgressDialogIds g_ids{};

// Translucent where the system has layered windows; looked up at run time, because the oldest
// systems the programs run on lack the function and the dialog then simply stays opaque.
void makeTranslucent(HWND dialog) {
    using SetLayered = BOOL(WINAPI*)(HWND, COLORREF, BYTE, DWORD);
    const HMODULE user32 = LoadLibraryW(L"User32.dll");
    if (user32 == nullptr) return;
    const auto setLayered = reinterpret_cast<SetLayered>(
        reinterpret_cast<void*>(GetProcAddress(user32, "SetLayeredWindowAttributes")));
    if (setLayered != nullptr) {
        SetWindowLongW(dialog, GWL_EXSTYLE, GetWindowLongW(dialog, GWL_EXSTYLE) | WS_EX_LAYERED);
        setLayered(dialog, 0, 230, LWA_ALPHA);
    }
    FreeLibrary(user32);
}

// Binds the record to this dialog's controls and starts its worker. A worker that cannot be
// started would leave the dialog open for ever: the dialog then ends at once, with the record
// marked as failed rather than as done.
void startJob(HWND dialog, ArchiveWriter& writer) {
    writer.bindProgress(dialog, g_ids.status, g_ids.percent, g_ids.bar);
    if (g_ids.startWriter != nullptr && g_ids.startWriter(writer) != nullptr) return;
    writer.writeResult = kWriteFailed;
    EndDialog(dialog, 1);
}

void startJob(HWND dialog, ArchiveReader& reader) {
    reader.bindProgress(dialog, g_ids.status, g_ids.percent, g_ids.bar);
    if (reader.startWorker() != nullptr) return;
    reader.result = kOutOfMemory;
    EndDialog(dialog, 0);
}

void onInitDialog(HWND dialog, ProgressJob* job) {
    g_job = job;
    if (job == nullptr) {
        EndDialog(dialog, 0);
        return;
    }
    makeTranslucent(dialog);
    const HWND bar = GetDlgItem(dialog, g_ids.bar);
    SendMessageW(bar, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
    SendMessageW(bar, PBM_SETSTEP, 1, 0);
    if (job->writer != nullptr) {
        startJob(dialog, *job->writer);
    } else if (job->reader != nullptr) {
        startJob(dialog, *job->reader);
    } else {
        EndDialog(dialog, 0);
        return;
    }
    centreWindow(dialog, 0);
}

// Whether the primary mouse button is held down right now. The hit test comes before the press
// is delivered, so the queue's own button state does not show it yet.
bool primaryButtonDown() {
    const int button = GetSystemMetrics(SM_SWAPBUTTON) ? VK_RBUTTON : VK_LBUTTON;
    return (GetAsyncKeyState(button) & 0x8000) != 0;
}

// A press anywhere on the body starts the system's move, as a press on a caption would. Only a
// press: the mouse merely passing over the dialog is hit-tested too, and starting a move then
// would leave the window following the mouse until the next click (and, until then, the dialog
// could not end).
void onHitTest(HWND dialog, LPARAM point) {
    if (DefWindowProcW(dialog, WM_NCHITTEST, 0, point) == HTCLIENT && primaryButtonDown()) {
        SendMessageW(dialog, WM_NCLBUTTONDOWN, HTCAPTION, point);
    }
}

// The job's last act, posted from the worker: ending here, on the dialog's own thread, leaves
// the worker nothing to wait for, so the front end can wait for it safely.
void onJobEnded(HWND dialog, WPARAM result) {
    EndDialog(dialog, static_cast<INT_PTR>(result));
}

// The worker's thread ends soon after it has asked the dialog to end; the record is handed back
// only once it has, and its handle is released here.
void awaitWorker(ThreadHandle& thread) {
    if (thread == nullptr) return;
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    thread = nullptr;
}

// The reader's question about an archive that cannot be checked. Texts a host's string table
// lacks (it predates them) are the built-in English ones; the caption is copied out of the shared
// text buffer before the question is loaded into it.
INT_PTR onAskUnverified(HWND dialog, WPARAM laterVersion) {
    wchar_t caption[128];
    lstrcpynW(caption, wide(loadTextOrEnglish(kStrUnverifiedCaption)), 128);
    const char16_t* question =
        loadTextOrEnglish(laterVersion != 0 ? kStrUnverifiedLater : kStrUnverifiedNoRecord);
    const int answer =
        MessageBoxW(dialog, wide(question), caption, MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2);
    SetWindowLongPtrW(dialog, DWLP_MSGRESULT, answer == IDYES ? IDYES : IDNO);
    return TRUE;
}

}  // namespace

INT_PTR CALLBACK progressDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            onInitDialog(dialog, reinterpret_cast<ProgressJob*>(lParam));
            break;
        case WM_NCHITTEST:
            onHitTest(dialog, lParam);
            break;
        case kEndProgressMessage:
            onJobEnded(dialog, wParam);
            break;
        case kAskUnverifiedMessage:
            return onAskUnverified(dialog, wParam);
        default:
            break;
    }
    return 0;
}

int runProgressDialog(HINSTANCE module, const ProgressDialogIds& ids, HWND owner,
                      ProgressJob& job) {
    g_ids = ids;
    // The bar is a common control: its class must be registered before the template needs it.
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    const INT_PTR result = DialogBoxParamW(module, MAKEINTRESOURCEW(ids.dialog), owner,
                                           progressDialogProc, reinterpret_cast<LPARAM>(&job));
    if (job.writer != nullptr) awaitWorker(job.writer->workerThread);
    if (job.reader != nullptr) awaitWorker(job.reader->workerThread);
    g_job = nullptr;
    return static_cast<int>(result);
}
