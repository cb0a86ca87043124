// Where a dialog goes when it opens: centred over a reference window, then pulled back onto the
// primary screen. Kept apart from the window calls so the arithmetic is the same, and tested, on
// every build.
#pragma once

#include <cstdint>

// A rectangle in screen coordinates, right and bottom exclusive, as the system reports windows.
struct ScreenRect {
    int32_t left;
    int32_t top;
    int32_t right;
    int32_t bottom;
};

struct ScreenPoint {
    int32_t x;
    int32_t y;
};

// The top-left corner for `window` centred over `reference` (halves rounded toward zero). A
// negative left or top becomes 0; a window whose right or bottom edge would pass the screen is
// moved back so that edge lies on the screen's edge, in that order, so a window larger than the
// screen ends with a negative left or top.
ScreenPoint centredPosition(const ScreenRect& window, const ScreenRect& reference,
                            int32_t screenWidth, int32_t screenHeight);
