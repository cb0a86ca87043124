// Drives the extractor's own windows from outside, as its user would: its main dialog found by
// caption, Extract pressed and the password dialog answered, message boxes waited for, and the
// moment a run has ended and only the main dialog is left. Shared by the tests that start an
// archive made by sfxtool or by the plug-in. Windows only.
#pragma once

#include <windows.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/gui/process_driver.h"

namespace gui {

constexpr wchar_t kExtractorCaption[] = L"Self-extracting Quillon archive";
// Controls of the extractor's main dialog and of its password dialog.
constexpr int kExtractorDestination = 1000, kExtractorBrowse = 1001, kExtractorExtract = 1002,
              kExtractorLabel = 1003, kExtractorHelp = 1004;
constexpr int kExtractorPasswordEdit = 1007;

// Starts the archive `exe` in `directory` (with `environment` entries added) and waits for its
// main dialog; null if it did not start or the dialog did not appear.
HWND startExtractor(Program& program, const std::filesystem::path& exe,
                    const std::filesystem::path& directory,
                    const std::vector<std::wstring>& environment = {});

// The process's visible top-level windows other than the main dialog.
std::vector<HWND> othersOf(DWORD process, HWND main);

// A message box of the process: a window with a message text control. Null on timeout.
HWND waitForMessageBox(DWORD process, HWND main, int timeoutMs = 20000);

// True once the run has ended and the main dialog alone is open and enabled, and stays so for
// a moment (a message box would follow the progress dialog at once).
bool waitUntilIdle(DWORD process, HWND main, int timeoutMs = 30000);

// Presses Extract and answers the password dialog, which must open over the main dialog. With
// `cancel` the dialog is cancelled instead. Reports failures through the test framework.
void extractWith(DWORD process, HWND main, const std::wstring& password, bool cancel = false);

}  // namespace gui
