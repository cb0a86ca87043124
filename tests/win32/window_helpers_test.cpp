// Dialog placement on real windows (which reference window is used, the real screen size, the
// size kept) and the folder picker driven through its own dialog.
#include <windows.h>

#include <commctrl.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "common/support/window_helpers.h"

namespace {

HWND popup(int x, int y, int w, int h, HWND owner = nullptr) {
    return CreateWindowExW(0, L"STATIC", L"", WS_POPUP, x, y, w, h, owner, nullptr, nullptr,
                           nullptr);
}

RECT rectOf(HWND window) {
    RECT r = {};
    GetWindowRect(window, &r);
    return r;
}

void expectRect(HWND window, LONG left, LONG top, LONG width, LONG height) {
    const RECT r = rectOf(window);
    EXPECT_EQ(r.left, left);
    EXPECT_EQ(r.top, top);
    EXPECT_EQ(r.right - r.left, width) << "resized";
    EXPECT_EQ(r.bottom - r.top, height) << "resized";
}

class CentreWindow : public ::testing::Test {
  protected:
    void TearDown() override {
        if (dialog != nullptr) DestroyWindow(dialog);
        if (owner != nullptr) DestroyWindow(owner);
    }
    const int screenW = GetSystemMetrics(SM_CXSCREEN);
    const int screenH = GetSystemMetrics(SM_CYSCREEN);
    HWND owner = nullptr;
    HWND dialog = nullptr;
};

TEST_F(CentreWindow, OverItsOwnerOrTheDesktop) {
    owner = popup(100, 100, 400, 300);
    dialog = popup(0, 0, 300, 200, owner);
    ASSERT_NE(dialog, nullptr);
    centreWindow(dialog, 0);
    expectRect(dialog, 150, 150, 300, 200);
    centreWindow(dialog, 1);
    expectRect(dialog, (screenW - 300) / 2, (screenH - 200) / 2, 300, 200);

    DestroyWindow(dialog);
    dialog = popup(7, 9, 301, 201);
    centreWindow(dialog, 0);
    expectRect(dialog, (screenW - 301) / 2, (screenH - 201) / 2, 301, 201);
}

TEST_F(CentreWindow, KeptOnTheRealScreen) {
    owner = popup(screenW - 100, screenH - 50, 400, 300);
    dialog = popup(0, 0, 300, 200, owner);
    centreWindow(dialog, 0);
    expectRect(dialog, screenW - 300, screenH - 200, 300, 200);

    SetWindowPos(owner, nullptr, -400, -300, 400, 300, SWP_NOZORDER);
    centreWindow(dialog, 0);
    expectRect(dialog, 0, 0, 300, 200);
}

// Runs browseFolder on this thread while another thread waits for the browser, notes its owner,
// selects the desktop's child item of that name (if any) and closes the browser with the button.
struct BrowseRun {
    HWND browser = nullptr;
    HWND browserOwner = nullptr;
    bool selected = false;
};

BOOL CALLBACK findDialog(HWND window, LPARAM found) {
    wchar_t cls[16] = {};
    GetClassNameW(window, cls, 16);
    if (std::wstring(cls) != L"#32770" || !IsWindowVisible(window)) return TRUE;
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
}

bool selectDesktopChild(HWND browser, const wchar_t* name) {
    HWND tree = FindWindowExW(browser, nullptr, WC_TREEVIEWW, nullptr);
    auto next = [tree](UINT how, HTREEITEM from) {
        return reinterpret_cast<HTREEITEM>(
            SendMessageW(tree, TVM_GETNEXTITEM, how, reinterpret_cast<LPARAM>(from)));
    };
    for (HTREEITEM it = next(TVGN_CHILD, next(TVGN_ROOT, nullptr)); it; it = next(TVGN_NEXT, it)) {
        wchar_t text[64] = {};
        TVITEMW item = {};
        item.mask = TVIF_TEXT;
        item.hItem = it;
        item.pszText = text;
        item.cchTextMax = 64;
        SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
        if (std::wstring(text) != name) continue;
        return SendMessageW(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(it)) != 0;
    }
    return false;
}

BrowseRun browseAndPress(HWND edit, int button, const wchar_t* select = nullptr) {
    BrowseRun run;
    const DWORD uiThread = GetCurrentThreadId();
    std::thread driver([&] {
        for (int i = 0; i < 500 && run.browser == nullptr; ++i) {
            EnumThreadWindows(uiThread, findDialog, reinterpret_cast<LPARAM>(&run.browser));
            if (run.browser == nullptr) Sleep(10);
        }
        if (run.browser == nullptr) return;
        run.browserOwner = GetWindow(run.browser, GW_OWNER);
        if (select != nullptr) run.selected = selectDesktopChild(run.browser, select);
        PostMessageW(run.browser, WM_COMMAND, button, 0);
    });
    browseFolder(edit);
    driver.join();
    return run;
}

std::wstring textOf(HWND window) {
    wchar_t text[MAX_PATH] = {};
    GetWindowTextW(window, text, MAX_PATH);
    return text;
}

TEST(BrowseFolder, OwnedByTheDialogAndWritesOnlyAFolderOnDisk) {
    HWND dialog = popup(0, 0, 300, 200);
    HWND edit = CreateWindowExW(0, L"EDIT", L"unchanged", WS_CHILD, 0, 0, 200, 20, dialog, nullptr,
                                nullptr, nullptr);
    ASSERT_NE(edit, nullptr);

    const BrowseRun cancelled = browseAndPress(edit, IDCANCEL);
    ASSERT_NE(cancelled.browser, nullptr) << "no folder browser appeared";
    EXPECT_EQ(cancelled.browserOwner, dialog);
    EXPECT_EQ(textOf(edit), L"unchanged");

    const BrowseRun virtualItem = browseAndPress(edit, IDOK, L"My Computer");
    ASSERT_TRUE(virtualItem.selected);
    EXPECT_EQ(textOf(edit), L"unchanged") << "a shell item that is not a folder gave a path";

    // OK at once takes the browser's starting item, the desktop folder.
    ASSERT_NE(browseAndPress(edit, IDOK).browser, nullptr);
    const DWORD attributes = GetFileAttributesW(textOf(edit).c_str());
    ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY);

    DestroyWindow(dialog);
}

}  // namespace
