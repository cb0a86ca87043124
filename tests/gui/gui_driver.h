// Drives a modal dialog from a second thread, the way a user would, and reads back what the user
// would see: the dialog runs on the test's own thread, a driver thread finds it, types, clicks
// and reads control texts, states, sizes in dialog units and painted pixels. Windows only.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace gui {

// Runs `show` on this thread (it opens a modal dialog and returns its result) while `drive` gets
// the dialog, once it is on the screen, on a driver thread. A dialog still open a few seconds
// after `drive` returns is a failure; it is then sent Cancel so the test can go on.
int driveDialog(const std::function<int()>& show, const std::function<void(HWND)>& drive);

// The first visible dialog of a thread, waiting up to `timeoutMs`; null if none appeared.
HWND waitForDialog(DWORD thread, int timeoutMs = 5000);

// The first visible dialog of a thread other than `except` (a dialog it opened, say), waiting
// up to `timeoutMs`; null if none appeared.
HWND waitForOtherDialog(DWORD thread, HWND except, int timeoutMs = 10000);

// Waits until `window` is destroyed; false if it still exists after `timeoutMs`.
bool waitUntilGone(HWND window, int timeoutMs = 5000);

// Control texts, through window messages (as another program would have to read them).
std::wstring textOf(HWND window);
std::wstring controlText(HWND dialog, int id);
// Replaces a control's text at once, as a program would (an edit notifies its parent).
void setControlText(HWND dialog, int id, const std::wstring& text);
// Types into a control one character at a time, as the keyboard would: the edit's own limits
// apply, and its parent is notified after each character.
void typeText(HWND dialog, int id, const std::wstring& text);
// Presses a button (BM_CLICK).
void click(HWND dialog, int id);

// The centre of a window on the screen, to check that a dialog is centred over its owner.
POINT centreOf(HWND window);
// The window that has the keyboard focus in `window`'s thread (works across processes).
HWND focusOf(HWND window);

bool isEnabled(HWND dialog, int id);
bool isVisible(HWND dialog, int id);

// A rectangle in dialog units, as a template gives it: position in the dialog's client area and
// size.
struct DialogUnits {
    int x, y, width, height;
};
DialogUnits unitsOf(HWND dialog, int id);
// The dialog's client area in dialog units (the template's width and height).
DialogUnits clientUnitsOf(HWND dialog);

// What a window shows in its client area, as pixels read from its own device context.
struct Pixels {
    int width = 0;
    int height = 0;
    std::vector<COLORREF> colours;  // row by row, top first
    COLORREF at(int x, int y) const { return colours[static_cast<size_t>(y) * width + x]; }
};
Pixels capture(HWND window);
// The same from the screen, for a rectangle in screen coordinates.
Pixels captureScreen(const RECT& area);

// Moves the mouse and presses its button through the system's input queue.
void moveMouseTo(int x, int y);
void pressLeftButton();
void releaseLeftButton();

}  // namespace gui
