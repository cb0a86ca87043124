// Drives another program's windows, the way a user at the screen would: the test starts the
// program (the extractor, or the plug-in's test host), waits for its top-level windows by class
// and caption, reads and sets control texts and presses buttons through window messages, and
// collects its exit status. Works across processes because every call is a window message.
// Windows only.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace gui {

// One started program. Destroying it kills the program if it is still running.
struct Program {
    PROCESS_INFORMATION info{};

    Program() = default;
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    // Starts `commandLine` (the program path first, quoted if needed) in `directory` (empty: the
    // test's own current directory), with `environment` entries ("NAME=value") added to the
    // test's own environment. False if it could not be started.
    bool start(const std::wstring& commandLine, const std::wstring& directory = L"",
               const std::vector<std::wstring>& environment = {});
    DWORD processId() const { return info.dwProcessId; }
    // Waits for the program to end; its exit status, or -1 (and the program killed) on timeout.
    long waitForExit(int timeoutMs = 15000);
    bool running() const;
};

// The visible top-level windows of a process, in the system's Z order (topmost first).
std::vector<HWND> windowsOf(DWORD processId);
// Waits for a visible top-level window of the process whose caption is `caption` (empty: any
// caption) and, when `className` is not empty, whose class is `className` ("#32770" for dialogs
// and message boxes). Null when none appeared within `timeoutMs`.
HWND waitForWindow(DWORD processId, const std::wstring& caption, const std::wstring& className,
                   int timeoutMs = 10000);
// Waits for any visible top-level window of the process other than those in `known`.
HWND waitForNewWindow(DWORD processId, const std::vector<HWND>& known, int timeoutMs = 10000);

// The text a message box shows (its static text control), empty if `window` is none.
std::wstring messageBoxText(HWND window);
// Presses a button of another program's dialog without waiting for what it starts (the press
// may open a modal dialog that keeps the other side busy): posts the command to the dialog.
void press(HWND dialog, int id);

}  // namespace gui
