// The quality bar. It is painted by the static control itself: paintQualityBar sizes it, gives it
// its label as its text and picks the brush its parent hands out for it, then has it repaint.
// Painting on the control from outside, between its own paints, would be wiped out by the next
// one, such as when the dialog is uncovered.
#include "common/crypto/quality_bar.h"

#include "common/support/wide_chars.h"
#include "common/support/wide_format.h"

namespace {

// One bar is shown at a time (one password dialog per process), on the interface thread.
HBRUSH g_brush = nullptr;

void useBrush(HBRUSH brush) {
    if (g_brush != nullptr) DeleteObject(g_brush);
    g_brush = brush;
}

void resizeBar(HWND bar, int width, int height) {
    SetWindowPos(bar, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace

COLORREF qualityColour(int percent) {
    const int red = static_cast<int>(255 - 2.5 * percent);
    const int green = static_cast<int>(2.5 * percent);
    return RGB(red, green, 0);
}

void paintQualityBar(HWND bar, int fullWidth, int percent) {
    if (static_cast<unsigned>(percent) > 100) return;
    RECT client;
    if (!GetClientRect(bar, &client)) return;
    const int height = client.bottom - client.top;
    if (percent == 0) {
        useBrush(nullptr);
        resizeBar(bar, fullWidth, height);
        SetWindowTextW(bar, L"          ");
    } else {
        useBrush(CreateSolidBrush(qualityColour(percent)));
        resizeBar(bar, static_cast<int>(percent * (fullWidth / 100.0)), height);
        char16_t label[101];
        formatWide(label, 101, u"%d%%", percent);
        SetWindowTextW(bar, wide(label));
    }
    RedrawWindow(bar, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

HBRUSH qualityBarBrush() {
    return g_brush;
}

void resetQualityBar() {
    useBrush(nullptr);
}
