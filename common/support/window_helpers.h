// The two helpers every dialog of both deliverables uses: placing itself over its owner when it
// opens, and letting the user pick a folder for a destination edit box. Windows only.
#pragma once

#include "common/support/platform_types.h"

// Moves a top-level window (a dialog) so it is centred over its parent, or over the desktop when
// it has none or `forceDesktop` is non-zero, and kept on the primary screen (centredPosition).
// Never resizes the window and asks for no Z-order change; the move does activate the window,
// which raises it, as it is for a dialog that is opening.
void centreWindow(WindowHandle window, int forceDesktop);

// Shows the shell's folder browser, owned by the edit control's parent dialog. When the user
// picks a file-system folder the edit's text becomes its path; cancelling, or picking an item
// that is not a folder on disk (such as the control panel), leaves the edit as it was.
void browseFolder(WindowHandle edit);
