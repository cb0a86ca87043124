// The extractor driven from outside: see extractor_driver.h.
#include "tests/gui/extractor_driver.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "tests/gui/gui_driver.h"
#include "tests/gui/program_files.h"

namespace gui {

namespace {

bool before(std::chrono::steady_clock::time_point end) {
    return std::chrono::steady_clock::now() < end;
}

std::chrono::steady_clock::time_point after(int timeoutMs) {
    return std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
}

}  // namespace

HWND startExtractor(Program& program, const std::filesystem::path& exe,
                    const std::filesystem::path& directory,
                    const std::vector<std::wstring>& environment) {
    if (!program.start(quoted(exe), directory.wstring(), environment)) return nullptr;
    return waitForWindow(program.processId(), kExtractorCaption, L"#32770");
}

std::vector<HWND> othersOf(DWORD process, HWND main) {
    std::vector<HWND> others;
    for (HWND w : windowsOf(process))
        if (w != main) others.push_back(w);
    return others;
}

HWND waitForMessageBox(DWORD process, HWND main, int timeoutMs) {
    const auto end = after(timeoutMs);
    while (before(end)) {
        for (HWND w : othersOf(process, main))
            if (GetDlgItem(w, 0xFFFF) != nullptr) return w;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return nullptr;
}

bool waitUntilIdle(DWORD process, HWND main, int timeoutMs) {
    const auto end = after(timeoutMs);
    int quiet = 0;
    while (before(end)) {
        const bool idle = IsWindowEnabled(main) && othersOf(process, main).empty();
        quiet = idle ? quiet + 1 : 0;
        if (quiet == 15) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(40));
    }
    return false;
}

void extractWith(DWORD process, HWND main, const std::wstring& password, bool cancel) {
    press(main, kExtractorExtract);
    const HWND dialog = waitForNewWindow(process, {main});
    ASSERT_NE(dialog, nullptr) << "no password dialog";
    ASSERT_NE(GetDlgItem(dialog, kExtractorPasswordEdit), nullptr) << "not the password dialog";
    EXPECT_EQ(GetWindow(dialog, GW_OWNER), main);
    EXPECT_FALSE(IsWindowEnabled(main));
    typeText(dialog, kExtractorPasswordEdit, password);
    press(dialog, cancel ? IDCANCEL : IDOK);
}

}  // namespace gui
