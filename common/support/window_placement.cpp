// Centring a dialog over its owner and keeping it on the screen.
#include "common/support/window_placement.h"

namespace {

// One axis. The sums are taken in 64 bits so that no pair of rectangles can overflow; every real
// window fits 32 bits on either side.
int32_t centredStart(int64_t start, int64_t end, int64_t span, int64_t screen) {
    int64_t pos = start + ((end - start) - span) / 2;
    if (pos < 0) pos = 0;
    if (pos + span > screen) pos = screen - span;
    return static_cast<int32_t>(pos);
}

}  // namespace

ScreenPoint centredPosition(const ScreenRect& window, const ScreenRect& reference,
                            int32_t screenWidth, int32_t screenHeight) {
    const int64_t width = int64_t{window.right} - window.left;
    const int64_t height = int64_t{window.bottom} - window.top;
    return {centredStart(reference.left, reference.right, width, screenWidth),
            centredStart(reference.top, reference.bottom, height, screenHeight)};
}
