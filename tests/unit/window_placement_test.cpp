// Centring a dialog over its owner and pulling it back onto the screen, on a 1024 x 768 screen.
#include <gtest/gtest.h>

#include "common/support/window_placement.h"

namespace {

constexpr int32_t kScreenW = 1024, kScreenH = 768;

// A window of w x h somewhere on the screen; only its size matters.
ScreenRect windowOf(int32_t w, int32_t h) {
    return {37, 41, 37 + w, 41 + h};
}

void expectAt(ScreenPoint p, int32_t x, int32_t y) {
    EXPECT_EQ(p.x, x);
    EXPECT_EQ(p.y, y);
}

TEST(WindowPlacement, CentresOverTheReference) {
    expectAt(centredPosition(windowOf(300, 200), {100, 100, 500, 400}, kScreenW, kScreenH), 150,
             150);
    // Odd differences are halved toward zero, also when the window is the larger one.
    expectAt(centredPosition(windowOf(300, 200), {100, 100, 401, 301}, kScreenW, kScreenH), 100,
             100);
    expectAt(centredPosition(windowOf(301, 201), {400, 300, 500, 400}, kScreenW, kScreenH), 300,
             250);
}

TEST(WindowPlacement, KeepsTheWindowOnTheScreen) {
    // Owner partly off the left and top edges.
    expectAt(centredPosition(windowOf(300, 200), {-400, -300, 100, 100}, kScreenW, kScreenH), 0, 0);
    // Owner near the right and bottom edges: those edges end on the screen's edges.
    expectAt(centredPosition(windowOf(300, 200), {900, 700, 1300, 900}, kScreenW, kScreenH), 724,
             568);
    // Exactly touching the edges is left alone.
    expectAt(centredPosition(windowOf(1024, 768), {0, 0, 1024, 768}, kScreenW, kScreenH), 0, 0);
}

TEST(WindowPlacement, WindowLargerThanTheScreenEndsNegative) {
    // Centred at -100 / -50, raised to 0, then moved back so the right and bottom edges meet the
    // screen's: the left and top edges end off the screen.
    expectAt(centredPosition(windowOf(1224, 868), {0, 0, 1024, 768}, kScreenW, kScreenH), -200,
             -100);
}

}  // namespace
