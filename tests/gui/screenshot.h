// Screenshots of dialogs under test, for people to look at: a BMP of the part of the screen
// around a window, written to the folder named by QUILLON_SCREENSHOTS (the build sets it to a
// folder of the build tree), or to ./screenshots without it.
#pragma once

#include <windows.h>

#include <string>

namespace gui {

// Saves the screen around `window` (its frame and a small margin) as NAME.bmp. Returns whether
// the file was written.
bool saveScreenshot(const std::string& name, HWND window);

}  // namespace gui
