// SPDX-License-Identifier: MIT
// The XRandR display-mode service on a real X server (Xvfb under scripts/test.sh). Every check
// reads the server's state back over a connection of the test's own.
#include <gtest/gtest.h>

#include <cstdlib>

#include "display_mode.h"
// clang-format off
// Xlib after gtest: its macros (None, Bool) clash with gtest's names.
#include "xrandr_probe.h"
// clang-format on

namespace {

class DisplayModeXvfb : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no X display";
        service = open_xrandr_display_modes();
        if (!service) GTEST_SKIP() << "the X server lacks RandR 1.2";
        before = read_server();
        ASSERT_GT(before.crtc.width, 320);
        ASSERT_GT(before.crtc.height, 240);
    }
    std::unique_ptr<DisplayModes> service;
    ServerView before;
};

}  // namespace

TEST_F(DisplayModeXvfb, SwitchesToACameraSizedModeAndRestoresTheFormerOne) {
    const ModeSwitch s = service->switchToMode(before.crtc, 320, 240);
    ASSERT_EQ(s.status, 0);
    EXPECT_EQ(s.bounds, (DisplayBounds{before.crtc.x, before.crtc.y, 320, 240}));
    const ServerView during = read_server();
    EXPECT_EQ(during.crtc, s.bounds);
    EXPECT_EQ(during.modeName, "320x240-wobblescope");
    EXPECT_EQ(during.screenWidth, before.crtc.x + 320);
    EXPECT_EQ(during.screenHeight, before.crtc.y + 240);

    service->restore();
    const ServerView after = read_server();
    EXPECT_EQ(after.crtc, before.crtc);
    EXPECT_EQ(after.modeName, before.modeName);
    EXPECT_EQ(after.screenWidth, before.screenWidth);
    EXPECT_EQ(after.screenHeight, before.screenHeight);
    EXPECT_FALSE(has_own_mode(after));  // the made mode is deleted again
    service->restore();                 // a second restore changes nothing
    EXPECT_EQ(read_server().crtc, before.crtc);
}

TEST_F(DisplayModeXvfb, AModeOfTheCameraSizeAlreadyThereIsUsedAsItIs) {
    const ModeSwitch s = service->switchToMode(before.crtc, before.crtc.width, before.crtc.height);
    ASSERT_EQ(s.status, 0);
    EXPECT_EQ(s.bounds, before.crtc);
    EXPECT_FALSE(has_own_mode(read_server()));
    service->restore();
    EXPECT_EQ(read_server().crtc, before.crtc);
}

TEST_F(DisplayModeXvfb, AFailedSwitchLeavesTheDisplayAsItWas) {
    // No display there.
    ModeSwitch s = service->switchToMode({before.screenWidth + 5000, 0, 100, 100}, 320, 240);
    EXPECT_NE(s.status, 0);
    // Larger than the screen may grow.
    int minW, minH, maxW, maxH;
    Display* dpy = XOpenDisplay(nullptr);
    ASSERT_NE(dpy, nullptr);
    XRRGetScreenSizeRange(dpy, DefaultRootWindow(dpy), &minW, &minH, &maxW, &maxH);
    XCloseDisplay(dpy);
    s = service->switchToMode(before.crtc, maxW + 16, maxH + 16);
    EXPECT_NE(s.status, 0);
    EXPECT_EQ(s.bounds, before.crtc);
    const ServerView after = read_server();
    EXPECT_EQ(after.crtc, before.crtc);
    EXPECT_EQ(after.screenWidth, before.screenWidth);
    EXPECT_FALSE(has_own_mode(after));
    service->restore();  // nothing to restore
    EXPECT_EQ(read_server().crtc, before.crtc);
}

TEST_F(DisplayModeXvfb, ClosingTheServiceWhileSwitchedRestoresTheMode) {
    ASSERT_EQ(service->switchToMode(before.crtc, 400, 300).status, 0);
    EXPECT_EQ(read_server().crtc.width, 400);
    service.reset();
    const ServerView after = read_server();
    EXPECT_EQ(after.crtc, before.crtc);
    EXPECT_EQ(after.screenWidth, before.screenWidth);
    EXPECT_FALSE(has_own_mode(after));
}
