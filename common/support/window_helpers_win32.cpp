// Dialog placement and the folder picker, on the Windows window manager and shell.
#include <windows.h>

#include <objbase.h>
#include <shlobj.h>

#include "common/support/secure_zero.h"
#include "common/support/window_helpers.h"
#include "common/support/window_placement.h"

namespace {

ScreenRect toScreenRect(const RECT& r) {
    return {static_cast<int32_t>(r.left), static_cast<int32_t>(r.top),
            static_cast<int32_t>(r.right), static_cast<int32_t>(r.bottom)};
}

}  // namespace

void centreWindow(WindowHandle window, int forceDesktop) {
    const HWND hwnd = static_cast<HWND>(window);
    RECT own;
    if (!GetWindowRect(hwnd, &own)) return;

    // For a dialog the parent is its owner window.
    HWND reference = GetParent(hwnd);
    if (reference == nullptr || forceDesktop != 0) reference = GetDesktopWindow();
    RECT over;
    if (!GetWindowRect(reference, &over)) return;

    const ScreenPoint at =
        centredPosition(toScreenRect(own), toScreenRect(over), GetSystemMetrics(SM_CXSCREEN),
                        GetSystemMetrics(SM_CYSCREEN));
    SetWindowPos(hwnd, nullptr, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}

void browseFolder(WindowHandle edit) {
    const HWND editWindow = static_cast<HWND>(edit);
    wchar_t path[MAX_PATH] = {};

    // No root (the desktop), no title, no flags: any shell item may be chosen, and only a folder
    // on disk yields a path.
    BROWSEINFOW info = {};
    info.hwndOwner = GetParent(editWindow);
    info.pszDisplayName = path;

    IMalloc* allocator = nullptr;
    if (FAILED(CoGetMalloc(1, &allocator)) || allocator == nullptr) return;

    LPITEMIDLIST item = SHBrowseForFolderW(&info);
    if (item != nullptr) {
        if (SHGetPathFromIDListW(item, path)) SetWindowTextW(editWindow, path);
        allocator->Free(item);
    }
    allocator->Release();
    // The path is no secret, but paths are wiped like every other buffer that held one.
    secureZero(path, sizeof path);
}
