// The password dialog's quality bar: a centred static whose width shows the quality (the full
// width being 100 %), filled with a colour running from red at 1 % to green at 100 %, and labelled
// with the percentage. The static paints itself, through its parent's WM_CTLCOLORSTATIC answer,
// so every repaint the system asks for (a window moved away from it, say) shows the bar again.
// Windows only.
#pragma once

#include <windows.h>

// Shows `percent` (0 to 100; anything else is ignored) on a bar whose full width is `fullWidth`
// pixels: at 0 an empty strip of the full width, otherwise a bar of percent × fullWidth / 100
// pixels (truncated) labelled "N%". The height stays. The bar is repainted before this returns.
void paintQualityBar(HWND bar, int fullWidth, int percent);

// The fill colour of a percentage: red 255 - 2.5 p and green 2.5 p, truncated, and no blue.
COLORREF qualityColour(int percent);

// The brush the bar is filled with, for its parent's WM_CTLCOLORSTATIC answer; null while it
// shows no quality, so it keeps the dialog's own background.
HBRUSH qualityBarBrush();

// Releases the brush; the next bar starts with no quality. Called when the dialog closes.
void resetQualityBar();
