#include "tests/gui/gui_driver.h"

#include <gtest/gtest.h>

#include <thread>

namespace gui {

namespace {

struct DialogSearch {
    HWND found = nullptr;
};

struct OtherDialogSearch {
    HWND except;
    HWND found = nullptr;
};

BOOL CALLBACK findOtherDialog(HWND window, LPARAM search) {
    auto* s = reinterpret_cast<OtherDialogSearch*>(search);
    wchar_t cls[16] = {};
    GetClassNameW(window, cls, 16);
    if (window == s->except || !IsWindowVisible(window) || std::wstring(cls) != L"#32770") {
        return TRUE;
    }
    s->found = window;
    return FALSE;
}

BOOL CALLBACK findVisibleDialog(HWND window, LPARAM search) {
    wchar_t cls[16] = {};
    GetClassNameW(window, cls, 16);
    if (std::wstring(cls) != L"#32770" || !IsWindowVisible(window)) return TRUE;
    reinterpret_cast<DialogSearch*>(search)->found = window;
    return FALSE;
}

// The dialog-unit value whose forward mapping (MapDialogRect, as the dialog manager lays out a
// template) gives `pixels`; templates only hold such values. -1 when there is none.
int unitsFor(HWND dialog, int pixels, bool horizontal) {
    RECT base = {0, 0, 4, 8};
    MapDialogRect(dialog, &base);
    const int perUnits = horizontal ? base.right : base.bottom;  // pixels per 4 or 8 units
    const int units = horizontal ? 4 : 8;
    const int guess = MulDiv(pixels, units, perUnits);
    for (int u = guess - 2; u <= guess + 2; ++u) {
        RECT r = {0, 0, u, u};
        MapDialogRect(dialog, &r);
        if ((horizontal ? r.right : r.bottom) == pixels) return u;
    }
    return -1;
}

Pixels copyFrom(HDC source, int x, int y, int width, int height) {
    Pixels p;
    if (width <= 0 || height <= 0) return p;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HDC memory = CreateCompatibleDC(source);
    HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, source, x, y, SRCCOPY);
    GdiFlush();
    p.width = width;
    p.height = height;
    p.colours.resize(static_cast<size_t>(width) * height);
    const auto* row = static_cast<const uint8_t*>(bits);
    for (size_t i = 0; i < p.colours.size(); ++i) {
        p.colours[i] = RGB(row[4 * i + 2], row[4 * i + 1], row[4 * i]);
    }
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    return p;
}

void sendMouse(DWORD flags, int x = 0, int y = 0) {
    INPUT input = {};
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = flags;
    if (flags & MOUSEEVENTF_ABSOLUTE) {
        input.mi.dx = MulDiv(x, 65535, GetSystemMetrics(SM_CXSCREEN) - 1);
        input.mi.dy = MulDiv(y, 65535, GetSystemMetrics(SM_CYSCREEN) - 1);
    }
    SendInput(1, &input, sizeof input);
    Sleep(30);
}

}  // namespace

int driveDialog(const std::function<int()>& show, const std::function<void(HWND)>& drive) {
    const DWORD uiThread = GetCurrentThreadId();
    std::thread driver([&] {
        const HWND dialog = waitForDialog(uiThread);
        if (dialog == nullptr) {
            ADD_FAILURE() << "no dialog appeared";
            return;
        }
        drive(dialog);
        if (!waitUntilGone(dialog)) {
            ADD_FAILURE() << "the dialog stayed open";
            PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
        }
    });
    const int result = show();
    driver.join();
    return result;
}

HWND waitForDialog(DWORD thread, int timeoutMs) {
    DialogSearch search;
    for (int waited = 0; waited <= timeoutMs; waited += 10) {
        EnumThreadWindows(thread, findVisibleDialog, reinterpret_cast<LPARAM>(&search));
        if (search.found != nullptr) return search.found;
        Sleep(10);
    }
    return nullptr;
}

HWND waitForOtherDialog(DWORD thread, HWND except, int timeoutMs) {
    OtherDialogSearch search{except};
    for (int waited = 0; waited <= timeoutMs; waited += 10) {
        EnumThreadWindows(thread, findOtherDialog, reinterpret_cast<LPARAM>(&search));
        if (search.found != nullptr) return search.found;
        Sleep(10);
    }
    return nullptr;
}

bool waitUntilGone(HWND window, int timeoutMs) {
    for (int waited = 0; waited <= timeoutMs; waited += 10) {
        if (!IsWindow(window)) return true;
        Sleep(10);
    }
    return false;
}

std::wstring textOf(HWND window) {
    const LRESULT n = SendMessageW(window, WM_GETTEXTLENGTH, 0, 0);
    std::wstring text(static_cast<size_t>(n) + 1, L'\0');
    SendMessageW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
    text.resize(wcslen(text.c_str()));
    return text;
}

std::wstring controlText(HWND dialog, int id) {
    return textOf(GetDlgItem(dialog, id));
}

void setControlText(HWND dialog, int id, const std::wstring& text) {
    SendMessageW(GetDlgItem(dialog, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void typeText(HWND dialog, int id, const std::wstring& text) {
    const HWND control = GetDlgItem(dialog, id);
    for (wchar_t c : text) SendMessageW(control, WM_CHAR, c, 1);
}

void click(HWND dialog, int id) {
    SendMessageW(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

POINT centreOf(HWND window) {
    RECT r = {};
    GetWindowRect(window, &r);
    return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

HWND focusOf(HWND window) {
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info);
    return info.hwndFocus;
}

bool isEnabled(HWND dialog, int id) {
    return IsWindowEnabled(GetDlgItem(dialog, id)) != 0;
}

bool isVisible(HWND dialog, int id) {
    return IsWindowVisible(GetDlgItem(dialog, id)) != 0;
}

DialogUnits unitsOf(HWND dialog, int id) {
    RECT r = {};
    GetWindowRect(GetDlgItem(dialog, id), &r);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
    return {unitsFor(dialog, r.left, true), unitsFor(dialog, r.top, false),
            unitsFor(dialog, r.right - r.left, true), unitsFor(dialog, r.bottom - r.top, false)};
}

DialogUnits clientUnitsOf(HWND dialog) {
    RECT r = {};
    GetClientRect(dialog, &r);
    return {0, 0, unitsFor(dialog, r.right, true), unitsFor(dialog, r.bottom, false)};
}

Pixels capture(HWND window) {
    RECT client = {};
    GetClientRect(window, &client);
    HDC dc = GetDC(window);
    Pixels p = copyFrom(dc, 0, 0, client.right, client.bottom);
    ReleaseDC(window, dc);
    return p;
}

Pixels captureScreen(const RECT& area) {
    HDC screen = GetDC(nullptr);
    Pixels p =
        copyFrom(screen, area.left, area.top, area.right - area.left, area.bottom - area.top);
    ReleaseDC(nullptr, screen);
    return p;
}

void moveMouseTo(int x, int y) {
    sendMouse(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, x, y);
}

void pressLeftButton() {
    sendMouse(MOUSEEVENTF_LEFTDOWN);
}

void releaseLeftButton() {
    sendMouse(MOUSEEVENTF_LEFTUP);
}

}  // namespace gui
